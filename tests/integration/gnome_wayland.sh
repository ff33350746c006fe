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
  $daemon >"$work/logs/${daemon%% *}.log" 2>&1 & sandbox_pids+=($!)
  sleep 0.5
done
check "mutter starts with XWayland" sandbox_wait_for 15 grep -q "Using public X11 display" "$work/logs/mutter.log" || finish
export DISPLAY=$(grep -o 'public X11 display :[0-9]*' "$work/logs/mutter.log" | cut -d' ' -f4) WAYLAND_DISPLAY=wayland-0
export XAUTHORITY=$(ls "$work"/run/.mutter-Xwaylandauth.*)
drive mutter Meta-0
# Set to float, the band stays on the desktop layer all the same, as one notice line says:
# mutter resets an XWayland window's input region, so a floating band would take the clicks.
desktop_checks below "stays on the desktop layer.*AppIndicator extension.*application grid"
finish
