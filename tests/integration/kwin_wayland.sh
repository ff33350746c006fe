#!/usr/bin/env bash
# The real `sonavista` as a layer surface under a private headless KWin (KDE Plasma on Wayland) with two outputs
# side by side, then in the tray of Plasma's shell: KWin's screenshots, its fake-input pointer. Usage: kwin_wayland.sh APP
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

# With the pointer on the second output, the band goes there (KWin's current output) and only there.
remote move 2880 540
WAYLAND_DEBUG=client start 'overlayPosition="bottom"' --autostart  # its buffers' sizes in its log
shown band1 Virtual-1 && shot band0
check "with the pointer on the second output, the band shows there" test "$(rows before band1)" -gt 0
check "and not on the first" test "$(changed empty band0)" = 0

# While shown there, a scale of 2 redraws it into buffers of twice its size (960 x 150 there),
# and that output switched off closes its surface, created again on the first output.
kscreen() { QT_QPA_PLATFORM=wayland timeout 20 kscreen-doctor "$@" >>"$work/logs/kscreen.log" 2>&1; }
# KWin applies the scale after kscreen-doctor returns, and the band redraws on its next frame.
kscreen output.Virtual-1.scale.2 && bridge_report youtube wayland >/dev/null
check "at scale 2 the band is drawn at 1920 x 300" \
  sandbox_wait_for 5 grep -q "create_buffer(.*, 1920, 300, 7680," "$work/logs/app.log"
moved() { shot moved && [ "$(rows empty moved)" -gt 0 ]; }
kscreen output.Virtual-1.disable && bridge_report youtube wayland >/dev/null
check "its output switched off, the band comes back on the other" sandbox_wait_for 5 moved
sandbox_stop_app

# Plasma's own tray on the remaining output: kded's StatusNotifierWatcher and plasmashell's default panel (44 px high,
# at the bottom), whose System Tray shows the item first; its menu's last entry, just above the panel, quits. A
# stand-in splash screen takes the shell's call, whose D-Bus activation would outlive the test.
plasma() { QT_QPA_PLATFORM=wayland "$@" >>"$work/logs/plasma.log" 2>&1 & sandbox_pids+=($!); }
bus() { timeout 5 gdbus call -e -d "$1" -o "$2" -m "$3" "${@:4}"; }
owned() { for name; do bus org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "$name" | grep -q true || return; done; }
sni() { bus org.kde.StatusNotifierWatcher /StatusNotifierWatcher org.freedesktop.DBus.Properties.Get "" "$1" | grep -q "$2"; }
settled() {  # wallpaper and panel drawn, unchanged for a second, early enough in the minute for the clock to keep it
  [ "$(date +%-S)" -lt 52 ] && shot last && sleep 1 && shot panel && [ "$(changed last panel)/$(changed empty panel)" = 0/2073600 ]; }
icon() { shot tray && box=$(changed_box panel tray) && x=$(($(cut -d+ -f2 <<<"$box") + 10)) && [ "${box%%x*}" -gt 0 ]; }
plasma /usr/bin/python3 -c 'import dbus, time; dbus.SessionBus().request_name("org.kde.KSplash"); time.sleep(999)'
plasma /usr/lib/*/libexec/kactivitymanagerd && plasma kded5 && sandbox_wait_for 20 owned org.kde.{ActivityManager,kded5,KSplash} &&
  bus org.kde.kded5 /kded org.kde.kded5.loadModule statusnotifierwatcher >/dev/null && plasma plasmashell --no-respawn
check "Plasma's panel is the tray host of kded's watcher" sandbox_wait_for 30 sni IsStatusNotifierHostRegistered true
sandbox_wait_for 40 settled && mv "$work"/logs/app{,-no-tray}.log && start '' --autostart
check "the item registers with the watcher" sandbox_wait_for 10 sni RegisteredStatusNotifierItems /StatusNotifierItem
check "no notice says there is no tray" not grep -q "No system tray" "$work/logs/app.log"
check "its icon shows in the panel" sandbox_wait_for 10 icon
remote move $x 1058 && remote click right && sleep 1 && remote move $x 1022 && sleep 0.3 && remote click
check "its menu quits Sonavista" eval 'sandbox_wait_for 5 sandbox_exited "$sandbox_app_pid" && sandbox_stop_app'
finish
