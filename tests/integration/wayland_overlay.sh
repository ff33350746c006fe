#!/usr/bin/env bash
# The overlay on a Wayland compositor with layer-shell: the real `sonavista` under a private
# headless sway (no X display), checked from screenshots. Usage: wayland_overlay.sh APP
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
report() { bridge_report youtube wayland; }
changed_box() {  # where two shots differ, as WxH+X+Y (nothing when equal or when all four corners differ)
  timeout 20 convert "$work/$1.png" "$work/$2.png" -compose difference -composite -threshold 0 -format '%@' info: 2>/dev/null
}
start_app() {  # settings lines
  start "$1"
  # The settings window opens at launch, floating at its own size (not tiled over the output).
  check "the settings window is shown" sandbox_wait_for 10 bash -c 'swaymsg -t get_tree | grep -q "\"app_id\": \"sonavista\""'
  check "floating, 620 x 470" test "$(swaymsg -t get_tree | jq -c '[recurse(.nodes[], .floating_nodes[]) | select(.app_id == "sonavista")
    | [.type, .window_rect.width, .window_rect.height]]')" = '[["floating_con",620,470]]'
}
stop_app() { sandbox_stop_app; check "the application exits with status 0" test $? -eq 0; }

# Compact band at the bottom, floating over windows: 150 px high, 28 px above the output's
# bottom edge, full width.
start_app $'overlayPosition="bottom"\navoidsCoveringWindows=false'
top=$((height - inset - band))
swaymsg -q '[app_id="sonavista"]' move absolute position 650 $((top - 100))  # under the band's middle
shown shown
box=$(changed_box before shown)
check "the band lies at the computed place ($box)" \
  bash -c "[[ '$box' =~ ^${width}x([0-9]+)\+0\+([0-9]+)$ ]] && (( BASH_REMATCH[2] >= $top && BASH_REMATCH[1] + BASH_REMATCH[2] <= $top + $band ))"
changed=$(changed before shown $width $band 0 $top)
check "the window below shows between the bars" test "${changed:-0}" -gt 0 -a "${changed:-0}" -lt $((width * band / 2))

# A click inside the band reaches the window below: sway focuses the window it lands on (a
# click taken by the band would leave the focus where it is). A fresh report keeps the band
# up meanwhile.
check "the band is still up for the click" test "$(report)" = 204
sleep 0.3
swaymsg -q focus parent
focused() { swaymsg -t get_tree | jq -e '[recurse(.nodes[], .floating_nodes[]) | select(.app_id == "sonavista" and .focused)] != []' >/dev/null; }
check "the settings window is not focused before the click" not focused
swaymsg -q seat seat0 cursor set $((width / 2)) $((top + band / 2))
swaymsg -q seat seat0 cursor press button1
swaymsg -q seat seat0 cursor release button1
check "a click inside the band reaches the window below" sandbox_wait_for 2 focused

# Reports stop: the page expires and the overlay goes.
sleep 4.5
shot hidden
check "the overlay hides once the reports stop" test "$(changed before hidden $width $band 0 $top)" = 0
stop_app

# Fog lies on the desktop, below windows: with the settings window moved away, the whole
# output is tinted.
start_app 'overlayDisplayMode="fullscreenFog"'
swaymsg -q '[app_id="sonavista"]' move container to workspace 2
sleep 0.5
shown fog
check "the fog covers the output" test "$(changed before fog)" = $((width * height))
stop_app
finish
