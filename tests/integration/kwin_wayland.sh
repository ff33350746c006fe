#!/usr/bin/env bash
# The real `sonavista` as a layer surface under a private headless KWin (KDE Plasma on Wayland)
# with two outputs side by side: KWin's screenshots, its fake-input pointer. Usage: kwin_wayland.sh APP
set -uo pipefail
app=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wayland_session.sh"
export XDG_CURRENT_DESKTOP=KDE WAYLAND_DISPLAY=wayland-kwin
# A copy: the packaged binary's file capabilities may be refused in a container.
cp /usr/bin/kwin_wayland "$work/kwin_wayland"
KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 "$work/kwin_wayland" --virtual --width 1920 \
  --height 1080 --output-count 2 --no-lockscreen --no-global-shortcuts --socket "$WAYLAND_DISPLAY" >"$work/logs/kwin.log" 2>&1 &
sandbox_pids+=($!)
check "KWin starts" sandbox_wait_for 15 test -S "$work/run/$WAYLAND_DISPLAY" || finish
drive kwin
desktop_checks over "System Tray widget"

# With the pointer on the second output, the band goes there (KWin's current output) and only
# there; its tray item registers with the session's StatusNotifierWatcher.
/usr/bin/python3 "$here/wayland_desktop.py" watcher >"$work/logs/watcher.log" 2>&1 & sandbox_pids+=($!)
sandbox_wait_for 10 grep -q ready "$work/logs/watcher.log"
remote move 2880 540
WAYLAND_DEBUG=client start 'overlayPosition="bottom"' --autostart  # its buffers' sizes in its log
check "the tray item registers with the watcher" sandbox_wait_for 10 grep -q registered "$work/logs/watcher.log"
shown band1 Virtual-1 && shot band0
check "with the pointer on the second output, the band shows there" test "$(rows before band1)" -gt 0
check "and not on the first" test "$(changed empty band0)" = 0

# While shown there, a scale of 2 redraws it into buffers of twice its size (960 x 150 there),
# and that output switched off closes its surface, created again on the first output.
kscreen() { QT_QPA_PLATFORM=wayland timeout 20 kscreen-doctor "$@" >>"$work/logs/kscreen.log" 2>&1; }
kscreen output.Virtual-1.scale.2 && bridge_report youtube wayland >/dev/null && sleep 0.5
check "at scale 2 the band is drawn at 1920 x 300" grep -q "create_buffer(.*, 1920, 300, 7680," "$work/logs/app.log"
kscreen output.Virtual-1.disable && bridge_report youtube wayland >/dev/null && sleep 1 && shot moved
check "its output switched off, the band comes back on the other" test "$(rows empty moved)" -gt 0
sandbox_stop_app
finish
