#!/usr/bin/env bash
# The overlay on KDE Plasma's compositor on Wayland: the real `sonavista` as a layer surface
# under a private headless KWin with two outputs, checked from KWin's screenshots.
# Usage: kwin_wayland.sh APP
set -uo pipefail
app=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/sandbox.sh"
source "$here/../support/checks.sh"
sandbox_port_free 43828 || { echo "FAIL - port 43828 (the browser bridge) is held by another process"; exit 1; }

work=$(mktemp -d /tmp/sonavista-kwin.XXXXXX)
mkdir -p "$work"/{home,config/Sonavista,logs} && mkdir -m 700 "$work/run"
trap 'sandbox_stop; rm -rf "$work"' EXIT
finish() { check_finish "$work"/logs/*.log; }
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run XDG_CURRENT_DESKTOP=KDE
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus WAYLAND_DISPLAY=wayland-kwin
unset DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE
dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" 2>/dev/null &
sandbox_pids+=($!)
# A copy: the packaged binary's file capabilities may be refused in a container.
cp /usr/bin/kwin_wayland "$work/kwin_wayland"
KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 "$work/kwin_wayland" --virtual --width 1920 --height 1080 --output-count 2 \
  --no-lockscreen --no-global-shortcuts --socket "$WAYLAND_DISPLAY" >"$work/logs/kwin.log" 2>&1 &
sandbox_pids+=($!)
check "KWin starts" sandbox_wait_for 15 test -S "$work/run/$WAYLAND_DISPLAY" || finish
sleep 2
shot() { timeout 20 /usr/bin/python3 "$here/wayland_desktop.py" kwin-shot "$2" "$work/$1.png"; }
changed() { changed_pixels "$work/$1.png" "$work/$2.png" "${@:3}"; }  # shot, shot, W H X Y
SANDBOX=$work
start() { printf '[General]\nlaunchedBefore=true\n%s\n' "$1" >"$work/config/Sonavista/Sonavista.conf"
  sandbox_start_app "$app" --autostart; sandbox_wait_for 10 curl -s --max-time 1 -o /dev/null http://127.0.0.1:43828/; sleep 1; }
shown() {  # name: both outputs before and after a report
  shot before0 Virtual-0 && shot before1 Virtual-1 &&
    check "a report is accepted" test "$(bridge_report youtube kwin)" = 204 && sleep 1.5 &&
    shot "${1}0" Virtual-0 && shot "${1}1" Virtual-1
}

# Floating bottom band on the output KWin calls current (the first, where its pointer is).
start $'avoidsCoveringWindows=false\noverlayPosition="bottom"'
check "the notice names Plasma's System Tray widget" grep -q "System Tray widget" "$work/logs/app.log"
shown band
band=$(changed before0 band0 1920 150 0 902)
check "the band is drawn on the current output, transparent ($band)" test "${band:-0}" -gt 0 -a "${band:-0}" -lt $((1920 * 75))
check "nothing above it" test "$(changed before0 band0 1920 900 0 0)" = 0
check "nothing on the other output" test "$(changed before1 band1)" = 0

sandbox_stop_app
finish
