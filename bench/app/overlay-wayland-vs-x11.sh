#!/usr/bin/env bash
# CPU of the whole application with the same compact band (1920x150, bottom, above windows)
# and the same live audio, drawn once through the X11 window (private Xvfb + picom) and once as
# a layer surface (private headless sway, no X display). The display servers' CPU is given
# beside it. Usage: overlay-wayland-vs-x11.sh APP [SECONDS]. Binds the bridge port: run under
# `flock /tmp/sonavista-43828.lock`.
set -euo pipefail
app=$1
seconds=${2:-20}
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib/sandbox.sh"
work=$(mktemp -d /tmp/sonavista-overlaycpu.XXXXXX)
chmod 755 "$work"
trap 'sandbox_stop; rm -rf "$work"' EXIT
sandbox_start "$work" >/dev/null
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
measure() {  # pid... -> percent of one core for each, over $seconds
  local before=() pid i=0
  for pid in "$@"; do before+=("$(cpu_ticks "$pid")"); done
  sleep "$seconds"
  for pid in "$@"; do
    awk -v a="${before[i]}" -v b="$(cpu_ticks "$pid")" -v t="$ticks" -v s="$seconds" \
      'BEGIN{printf "%.2f ", (b - a) * 100 / t / s}'
    i=$((i + 1))
  done
  echo
}
mkdir -p "$XDG_CONFIG_HOME/Sonavista"
printf '[General]\noverlayPosition="bottom"\navoidsCoveringWindows=false\n' >"$XDG_CONFIG_HOME/Sonavista/Sonavista.conf"
sandbox_start_player

# X11: the settings window unmapped, the overlay above the empty root.
xvfb=${sandbox_pids[0]} picom=${sandbox_pids[1]}
sandbox_start_app "$app"; sleep 3
w=$(sandbox_settings_window || true); [ -n "$w" ] && xdotool windowunmap --sync "$w"
sandbox_wait_for 10 sandbox_overlay_visible; sleep 2
read -r a x p < <(measure "$sandbox_app_pid" "$xvfb" "$picom")
echo "X11 window:    sonavista $a% / Xvfb $x% + picom $p% of one core"
sandbox_stop_app || true

# Wayland: headless sway (as nobody when root), the settings window on another workspace.
mkdir -p "$work/swayrun"
as_compositor=()
if [ "$(id -u)" = 0 ]; then chown 65534:65534 "$work/swayrun"; as_compositor=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
chmod 700 "$work/swayrun"  # root, the client here, reads it anyway
printf 'output HEADLESS-1 mode 1920x1080 bg #707070 solid_color\nxwayland disable\n' >"$work/sway.conf"
"${as_compositor[@]}" env -i PATH="$PATH" XDG_RUNTIME_DIR="$work/swayrun" WLR_BACKENDS=headless \
  WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 WLR_LIBINPUT_NO_DEVICES=1 sway -c "$work/sway.conf" \
  >"$work/logs/sway.log" 2>&1 &
sway=$!; sandbox_pids+=($sway)
sandbox_wait_for 10 test -S "$work/swayrun/wayland-1"
export SWAYSOCK; SWAYSOCK=$(ls "$work"/swayrun/sway-ipc.*.sock)
(unset DISPLAY; WAYLAND_DISPLAY=$work/swayrun/wayland-1 sandbox_start_app "$app"; echo "$sandbox_app_pid" >"$work/app.pid")
sandbox_app_pid=$(cat "$work/app.pid"); sandbox_pids+=($sandbox_app_pid)
sleep 3
swaymsg -q '[app_id="sonavista"]' move container to workspace 2 || true
sleep 2
read -r a s < <(measure "$sandbox_app_pid" "$sway")
echo "layer surface: sonavista $a% / sway $s% of one core"
kill "$sandbox_app_pid"
