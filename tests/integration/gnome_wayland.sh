#!/usr/bin/env bash
# The real `sonavista` on GNOME on Wayland (XWayland under a private headless mutter), checked
# from mutter's screen cast and a Wayland-native window's clicks. Usage: gnome_wayland.sh APP
set -uo pipefail
app=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wayland_session.sh"
export XDG_CURRENT_DESKTOP=GNOME
# XWayland refuses a socket folder that is not world-writable (as X servers leave it).
[ -d /tmp/.X11-unix ] && [ "$(stat -c %a /tmp/.X11-unix)" != 1777 ] && chmod 1777 /tmp/.X11-unix
# PipeWire carries the screen cast; mutter starts XWayland and names its display in its log.
for daemon in pipewire wireplumber "mutter --wayland --headless --virtual-monitor 1920x1080"; do
  $daemon >"$work/logs/${daemon%% *}.log" 2>&1 &
  sandbox_pids+=($!)
  sleep 0.5
done
check "mutter starts with XWayland" sandbox_wait_for 15 grep -q "Using public X11 display" "$work/logs/mutter.log" || finish
export DISPLAY=$(grep -o 'public X11 display :[0-9]*' "$work/logs/mutter.log" | cut -d' ' -f4) WAYLAND_DISPLAY=wayland-0
export XAUTHORITY=$(ls "$work"/run/.mutter-Xwaylandauth.*)
drive mutter Meta-0
native_window

# Set to float over windows, the band stays below them (said in one notice line), so clicks
# on its rows (405-674 for the centre band) reach the window. Left of the settings window
# (x < 550) nothing else moves between the shots.
start $'avoidsCoveringWindows=false\noverlayPosition="center"'
check "the notices name GNOME's AppIndicator extension and the desktop layer" \
  grep -q "stays on the desktop layer.*AppIndicator extension.*application grid" <(tr -d '\n' <"$work/logs/app.log")
shown floating
check "the band is shown" sandbox_overlay_visible
check "below the Wayland-native window" test "$(changed before floating 550 270 0 405)" = 0
check "a click beside the band reaches the native window" clicked 100 200
check "a click on the band reaches the Wayland-native window" clicked 100 540
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
