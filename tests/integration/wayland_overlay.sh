#!/usr/bin/env bash
# The overlay on a Wayland compositor with layer-shell: the real `sonavista` under a private headless sway
# (no X display), checked from screenshots (fog and clicks through the band on layer-shell: kwin_wayland.sh).
# Usage: wayland_overlay.sh APP
set -uo pipefail
app=$1
here=$(cd "$(dirname "$0")" && pwd)
width=1920 height=1080 band=150 inset=28  # the output, and the compact band at the bottom

source "$here/wayland_session.sh"
chmod 755 "$work" && mkdir -m 700 "$work/swayrun"
unset XDG_CURRENT_DESKTOP  # on bare sway, no tray host on the bus

# The compositor: one 1920x1080 output on a grey background, no XWayland.
printf 'output HEADLESS-1 mode %dx%d bg #707070 solid_color\nxwayland disable\ndefault_border none\nfocus_follows_mouse no\n' \
  $width $height >"$work/sway.conf"
# sway refuses to run as root: as root it runs as nobody, in a runtime folder that root reads anyway.
as_compositor=()
[ "$(id -u)" = 0 ] && chown 65534:65534 "$work/swayrun" && as_compositor=(setpriv --reuid=65534 --regid=65534 --clear-groups)
"${as_compositor[@]}" env -i PATH="$PATH" XDG_RUNTIME_DIR="$work/swayrun" WLR_BACKENDS=headless \
  WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 WLR_LIBINPUT_NO_DEVICES=1 \
  sway -c "$work/sway.conf" >"$work/logs/sway.log" 2>&1 &
sandbox_pids+=($!)
check "sway starts" sandbox_wait_for 10 test -S "$work/swayrun/wayland-1" || finish
export WAYLAND_DISPLAY=$work/swayrun/wayland-1 SWAYSOCK
SWAYSOCK=$(ls "$work"/swayrun/sway-ipc.*.sock)
shot() { timeout 10 grim "$work/$1.png"; }
floating_settings() {  # the settings window opens at launch floating at its own size, not tiled
  [ "$(swaymsg -t get_tree | jq -c '[recurse(.nodes[], .floating_nodes[]) | select(.app_id == "sonavista")
    | [.type, .window_rect.width, .window_rect.height]]')" = '[["floating_con",620,470]]' ]
}

# Compact band at the bottom, floating over windows: 150 px high, 28 px above the output's
# bottom edge, full width.
start $'overlayPosition="bottom"\navoidsCoveringWindows=false'
check "the settings window is floating, 620 x 470" sandbox_wait_for 10 floating_settings
top=$((height - inset - band))
swaymsg -q '[app_id="sonavista"]' move absolute position 650 $((top - 100))  # under the band's middle
shown shown
box=$(changed_box before shown)
check "the band lies at the computed place ($box)" \
  bash -c "[[ '$box' =~ ^${width}x([0-9]+)\+0\+([0-9]+)$ ]] && (( BASH_REMATCH[2] >= $top && BASH_REMATCH[1] + BASH_REMATCH[2] <= $top + $band ))"
changed=$(changed before shown $width $band 0 $top)
check "the window below shows between the bars" test "${changed:-0}" -gt 0 -a "${changed:-0}" -lt $((width * band / 2))

# Reports stop: the page expires and the overlay goes.
sleep 4.5
shot hidden
check "the overlay hides once the reports stop" test "$(changed before hidden $width $band 0 $top)" = 0
sandbox_stop_app
check "the application exits with status 0" test $? -eq 0
finish
