#!/usr/bin/env bash
# CPU of the whole application from /proc, on a private 1920x1080 display with picom and a
# private sound server playing generated music: idle, compact overlay on loud music (about
# -12 dB RMS, bench/app/loud-music.sh) and on the quieter plucked chords of the sandbox, fog
# mode on the loud music; cava on the same audio over the same seconds for comparison.
# Each live phase lasts SECONDS (default 150: one clock tick is then under 1 % of cava's
# about 0.8 %); idle lasts at most 30 s. The band lies where a new user's does, in the centre
# (1920x270 here); BAND_POSITION=top|bottom measures the 150-pixel band instead.
# Usage: cpu.sh APP [SECONDS]
set -euo pipefail
app=$1
seconds=${2:-150}
position=${BAND_POSITION:-center}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
"$root/scripts/install-deps" demo test bench  # the comparison programs and the private services
source "$root/scripts/lib/sandbox.sh"
work=$(mktemp -d /tmp/sonavista-cpu.XXXXXX)
trap 'sandbox_stop; rm -rf "$work"' EXIT
sandbox_start "$work" >/dev/null
cp "$SANDBOX/music.wav" "$work/plucked.wav"
"$here/loud-music.sh" "$work/loud.wav"
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
measure() {  # seconds pid... -> percent of one core for each, over the same interval
  local span=$1 before=() after=() pid
  shift
  for pid in "$@"; do before+=("$(cpu_ticks "$pid")"); done
  sleep "$span"
  local i=0
  for pid in "$@"; do
    after=$(cpu_ticks "$pid")
    awk -v a="${before[i]}" -v b="$after" -v t="$ticks" -v s="$span" 'BEGIN{printf "%.3f ", (b - a) * 100 / t / s}'
    i=$((i + 1))
  done
  echo
}
live() {  # label: app and cava side by side, with the ratio
  local a c
  read -r a c < <(measure "$seconds" "$sandbox_app_pid" "$cava_pid")
  echo "$1: sonavista $a% / cava $c% of one core, ratio $(awk -v a="$a" -v c="$c" 'BEGIN{printf "%.2f", (c > 0 ? a / c : 0)}')× (load $(cut -d' ' -f1-3 /proc/loadavg))"
}
play() {  # file: the player (re)started on it
  if [ -n "${sandbox_player_pid:-}" ]; then kill "$sandbox_player_pid"; wait "$sandbox_player_pid" 2>/dev/null || true; fi
  cp "$1" "$SANDBOX/music.wav"
  sandbox_start_player
}
settings() { mkdir -p "$XDG_CONFIG_HOME/Sonavista"; printf '[General]\noverlayDisplayMode="%s"\noverlayPosition="%s"\n' "$1" "$position" >"$XDG_CONFIG_HOME/Sonavista/Sonavista.conf"; }
hide_settings() { local w; w=$(sandbox_settings_window || true); [ -n "$w" ] && xdotool windowunmap --sync "$w" || true; }

settings compact
sandbox_start_app "$app"; sleep 3; hide_settings; sleep 2
echo "idle (nothing playing): $(measure $((seconds < 30 ? seconds : 30)) "$sandbox_app_pid")% of one core (load $(cut -d' ' -f1-3 /proc/loadavg))"
printf '[general]\nframerate = 30\nbars = 96\n[input]\nmethod = pulse\nsource = out.monitor\n[output]\nmethod = raw\nraw_target = /dev/null\ndata_format = binary\n' >"$work/cava.conf"
cava -p "$work/cava.conf" >/dev/null 2>&1 &
cava_pid=$!; sandbox_pids+=($cava_pid)
play "$work/loud.wav"; sandbox_wait_for 10 sandbox_overlay_visible; sleep 3
live "compact, loud music"
play "$work/plucked.wav"; sandbox_wait_for 10 sandbox_overlay_visible; sleep 3
live "compact, plucked chords"
sandbox_stop_app || true
settings fullscreenFog
play "$work/loud.wav"
sandbox_start_app "$app"; sleep 3; hide_settings
sandbox_wait_for 10 sandbox_overlay_visible; sleep 2
live "fog, loud music"
sandbox_stop_app || true
