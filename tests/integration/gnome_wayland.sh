#!/usr/bin/env bash
# The real `sonavista` on GNOME on Wayland (XWayland under a private headless mutter), checked
# from mutter's screen cast and a Wayland-native window's clicks. Usage: gnome_wayland.sh APP
set -uo pipefail
app=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/sandbox.sh"
source "$here/../support/checks.sh"
sandbox_port_free 43828 || { echo "FAIL - port 43828 (the browser bridge) is held by another process"; exit 1; }

work=$(mktemp -d /tmp/sonavista-gnome.XXXXXX)
mkdir -p "$work"/{home,config/Sonavista,logs} && mkdir -m 700 "$work/run"
trap 'sandbox_stop; rm -rf "$work"' EXIT
finish() { check_finish "$work"/logs/*.log; }
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run XDG_CURRENT_DESKTOP=GNOME
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE
# XWayland refuses a socket folder that is not world-writable (as X servers leave it).
[ -d /tmp/.X11-unix ] && [ "$(stat -c %a /tmp/.X11-unix)" != 1777 ] && chmod 1777 /tmp/.X11-unix
dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" 2>/dev/null &
sandbox_pids+=($!)
# PipeWire carries the screen cast; mutter starts XWayland and names its display in its log.
for daemon in pipewire wireplumber "mutter --wayland --headless --virtual-monitor 1920x1080"; do
  $daemon >"$work/logs/${daemon%% *}.log" 2>&1 &
  sandbox_pids+=($!)
  sleep 0.5
done
check "mutter starts with XWayland" sandbox_wait_for 15 grep -q "Using public X11 display" "$work/logs/mutter.log" || finish
export DISPLAY=$(grep -o 'public X11 display :[0-9]*' "$work/logs/mutter.log" | cut -d' ' -f4) WAYLAND_DISPLAY=wayland-0
export XAUTHORITY=$(ls "$work"/run/.mutter-Xwaylandauth.*)
coproc remote { /usr/bin/python3 "$here/wayland_desktop.py" mutter Meta-0 2>>"$work/logs/remote.log"; }
sandbox_pids+=($!)
read -r -t 20 ready <&"${remote[0]}"
check "the screen cast and remote pointer start" test "${ready:-}" = ready || finish
remote() { local answer; echo "$*" >&"${remote[1]}" && read -r -t 30 answer <&"${remote[0]}" && [ "$answer" = ok ]; }
shot() { remote shot "$work/$1.png"; }
changed() { changed_pixels "$work/$1.png" "$work/$2.png" "${@:3}"; }  # shot, shot, W H X Y

NO_AT_BRIDGE=1 GDK_BACKEND=wayland /usr/bin/python3 "$here/wayland_desktop.py" native >"$work/logs/native.log" 2>&1 &
native=$!; sandbox_pids+=($native)
check "the native window is up" sandbox_wait_for 10 grep -q ready "$work/logs/native.log" || finish
more_presses() { [ "$(grep -c press "$1")" -gt "$2" ]; }
clicked() {  # window log, x, y: a click there reaches that window
  local before; before=$(grep -c press "$1")
  bridge_report youtube gnome >/dev/null  # keeps the band up
  remote move "$2" "$3" && sleep 0.2 && remote click && sandbox_wait_for 3 more_presses "$1" "$before"
}
SANDBOX=$work  # the application's log: logs/app.log
start() { printf '[General]\nlaunchedBefore=true\n%s\n' "$1" >"$work/config/Sonavista/Sonavista.conf"
  sandbox_start_app "$app" "${@:2}"; sandbox_wait_for 10 curl -s --max-time 1 -o /dev/null http://127.0.0.1:43828/; sleep 1; }
shown() { shot before && check "a report is accepted" test "$(bridge_report youtube gnome)" = 204 && sleep 1.5 && shot "$1"; }

# Set to float over windows, the band stays below them (said in one notice line), so clicks
# on its rows (405-674 for the centre band) reach the window. Left of the settings window
# (x < 550) nothing else moves between the shots.
start $'avoidsCoveringWindows=false\noverlayPosition="center"'
check "the notices name GNOME's AppIndicator extension and the desktop layer" \
  grep -q "stays on the desktop layer.*AppIndicator extension.*application grid" <(tr -d '\n' <"$work/logs/app.log")
shown floating
check "the band is shown" sandbox_overlay_visible
check "below the Wayland-native window" test "$(changed before floating 550 270 0 405)" = 0
check "a click beside the band reaches the native window" clicked "$work/logs/native.log" 100 200
check "a click on the band reaches the Wayland-native window" clicked "$work/logs/native.log" 100 540
sandbox_stop_app

# Started quietly (no settings window) on the empty desktop: the band, then the fog.
kill "$native"; sleep 1
start 'overlayPosition="center"' --autostart
shown band
band=$(changed before band 1920 270 0 405)
check "the band is drawn, transparent between the bars ($band)" test "${band:-0}" -gt 0 -a "${band:-0}" -lt $((1920 * 135))
check "nothing is drawn above or below the band" test "$(changed before band 1920 400 0 0)$(changed before band 1920 400 0 680)" = 00
sandbox_stop_app
start 'overlayDisplayMode="fullscreenFog"' --autostart
shown fog
check "the fog covers the output" test "$(changed before fog)" = $((1920 * 1080))
sandbox_stop_app
finish
