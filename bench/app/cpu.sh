#!/usr/bin/env bash
# CPU of the whole application from /proc, on a private 1920x1080 display with picom and a
# private sound server playing generated music: idle, compact overlay with live audio, fog
# mode; cava on the same audio in the same run for comparison. Usage: cpu.sh APP [SECONDS]
set -euo pipefail
app=$1
seconds=${2:-20}
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/install-deps" demo test bench  # the comparison programs and the private services
source "$root/scripts/lib/sandbox.sh"
work=$(mktemp -d /tmp/sonavista-cpu.XXXXXX)
trap 'sandbox_stop; rm -rf "$work"' EXIT
sandbox_start "$work" >/dev/null
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
measure() {  # pid... -> percent of one core for each, over $seconds
  local before=() after=() pid
  for pid in "$@"; do before+=("$(cpu_ticks "$pid")"); done
  sleep "$seconds"
  local i=0
  for pid in "$@"; do
    after=$(cpu_ticks "$pid")
    awk -v a="${before[i]}" -v b="$after" -v t="$ticks" -v s="$seconds" 'BEGIN{printf "%.2f ", (b - a) * 100 / t / s}'
    i=$((i + 1))
  done
  echo
}
settings() { mkdir -p "$XDG_CONFIG_HOME/Sonavista"; printf '[General]\noverlayDisplayMode="%s"\noverlayPosition="bottom"\n' "$1" >"$XDG_CONFIG_HOME/Sonavista/Sonavista.conf"; }
hide_settings() { local w; w=$(sandbox_settings_window || true); [ -n "$w" ] && xdotool windowunmap --sync "$w" || true; }

settings compact
sandbox_start_app "$app"; sleep 3; hide_settings; sleep 2
echo "idle (nothing playing): $(measure "$sandbox_app_pid")% of one core"
sandbox_start_player
sandbox_wait_for 10 sandbox_overlay_visible
printf '[general]\nframerate = 30\nbars = 96\n[input]\nmethod = pulse\nsource = out.monitor\n[output]\nmethod = raw\nraw_target = /dev/null\ndata_format = binary\n' >"$work/cava.conf"
cava -p "$work/cava.conf" >/dev/null 2>&1 &
cava_pid=$!; sandbox_pids+=($cava_pid)
sleep 3
read -r a c < <(measure "$sandbox_app_pid" "$cava_pid")
echo "compact, live audio: sonavista $a% / cava $c% of one core"
sandbox_stop_app || true
settings fullscreenFog
sandbox_start_app "$app"; sleep 3; hide_settings
sandbox_wait_for 10 sandbox_overlay_visible; sleep 2
read -r a c < <(measure "$sandbox_app_pid" "$cava_pid")
echo "fog, live audio: sonavista $a% / cava $c% of one core"
sandbox_stop_app || true
