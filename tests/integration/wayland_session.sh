# Shared by the Wayland tests (sourced; needs $here and $app): a private session folder and bus, the compositor's
# driver from wayland_desktop.py (pointer and screenshots), the application started and shown, and shared checks.
source "$here/../../scripts/lib/sandbox.sh"
source "$here/../support/checks.sh"
sandbox_port_free 43828 || { echo "FAIL - port 43828 (the browser bridge) is held by another process"; exit 1; }

work=$(mktemp -d /tmp/sonavista-wayland.XXXXXX)
mkdir -p "$work"/{home,config/Sonavista,logs} && mkdir -m 700 "$work/run"
trap 'sandbox_stop; rm -rf "$work"' EXIT
finish() { check_finish "$work"/logs/*.log; }
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE
dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" 2>/dev/null & sandbox_pids+=($!)
SANDBOX=$work  # the application's log: logs/app.log

# The driver answers "ok" to "move X Y", "click [right]", "shot FILE [OUTPUT]".
drive() {  # the compositor: wayland_desktop.py's mode and its arguments
  coproc remote { /usr/bin/python3 "$here/wayland_desktop.py" "$@" 2>>"$work/logs/remote.log"; }
  sandbox_pids+=($!)
  read -r -t 20 ready <&"${remote[0]}"
  check "the compositor's screenshots and pointer are driven" test "${ready:-}" = ready || finish
}
remote() { local answer; echo "$*" >&"${remote[1]}" && read -r -t 30 answer <&"${remote[0]}" && [ "$answer" = ok ]; }
shot() { remote shot "$work/$1.png" "${@:2}"; }  # name [output]
changed() { changed_pixels "$work/$1.png" "$work/$2.png" "${@:3}"; }  # shot, shot, W H X Y
changed_box() {  # where two shots differ, as WxH+X+Y (nothing when equal or when all four corners differ)
  timeout 20 convert "$work/$1.png" "$work/$2.png" -compose difference -composite -threshold 0 -format '%@' info: 2>/dev/null
}

more_presses() { [ "$(grep -c press "$work/logs/native.log")" -gt "$1" ]; }
clicked() {  # x, y: a click there reaches the native window
  local before; before=$(grep -c press "$work/logs/native.log")
  bridge_report youtube wayland >/dev/null  # keeps the band up
  remote move "$1" "$2" && sleep 0.2 && remote click && sandbox_wait_for 3 more_presses "$before"
}
start() {  # settings lines, then the application's arguments
  printf '[General]\nlaunchedBefore=true\n%s\n' "$1" >"$work/config/Sonavista/Sonavista.conf"
  sandbox_start_app "$app" "${@:2}"; sandbox_wait_for 10 curl -s --max-time 1 -o /dev/null http://127.0.0.1:43828/; sleep 1
}
shown() {  # name [output]: shots "before" and NAME around a report
  shot before "${@:2}" && check "a report is accepted" test "$(bridge_report youtube wayland)" = 204 && sleep 1.5 &&
    shot "$1" "${@:2}"
}

# What every desktop passes: fog over the empty desktop; set to float, a band $1 (over|below) a
# maximised Wayland-native window, clicks on it reaching the window; on the desktop layer the
# window's pixels covering it, and it shown, transparent, once the window goes. $2: a pattern
# the notices match.
rows() { changed "$1" "$2" 1920 150 0 902; }  # the compact band at the bottom: rows 902-1051
desktop_checks() {
  sandbox_wait_for 20 shot empty  # KWin's screenshot effect loads after its socket
  start 'overlayDisplayMode="fullscreenFog"' --autostart
  check "the notices say: $2" grep -q "$2" <(tr -d '\n' <"$work/logs/app.log")
  shown fog
  check "the fog covers the output" test "$(changed empty fog)" = $((1920 * 1080))
  sandbox_stop_app
  # A maximised white GTK window, logging "press X Y" per click.
  NO_AT_BRIDGE=1 GDK_BACKEND=wayland /usr/bin/python3 "$here/wayland_desktop.py" native >"$work/logs/native.log" 2>&1 &
  native=$!; sandbox_pids+=($native)
  check "the native window is up" sandbox_wait_for 10 grep -q ready "$work/logs/native.log" || finish
  start $'avoidsCoveringWindows=false\noverlayPosition="bottom"' --autostart
  shown floating
  check "set to float, the band is drawn $1 the window" test "$(rows before floating)" "$([ "$1" = over ] && echo -gt || echo -eq)" 0
  check "a click on the band reaches the window" clicked 960 977
  sandbox_stop_app
  start $'avoidsCoveringWindows=true\noverlayPosition="bottom"' --autostart
  shown below
  check "on the desktop layer the window covers the band" test "$(rows before below)" = 0
  kill "$native"; bridge_report youtube wayland >/dev/null; sleep 1; shot uncovered
  band=$(rows empty uncovered)
  check "the band shows once the window is gone, transparent ($band)" test "${band:-0}" -gt 0 -a "${band:-0}" -lt $((1920 * 75))
  check "nothing is drawn above it" test "$(changed empty uncovered 1920 900 0 0)" = 0
  sandbox_stop_app
}
