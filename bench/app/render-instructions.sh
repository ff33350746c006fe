#!/usr/bin/env bash
# Instructions the rasterizer spends on each frame the application really draws: runs the app
# under callgrind on the private display and sound server of the CPU benchmark, playing the loud
# music, counts instructions only inside WaveformRasterizer::render, and prints the count per
# frame with the largest functions. Unlike /proc CPU figures this does not move with the
# machine's load, so two builds can be compared while others use the machine (the frames differ
# a little from run to run: the music is not in step with the frame timer).
# The band lies in the centre, where a new user's does, unless BAND_POSITION=top|bottom.
# Usage: render-instructions.sh APP compact|fullscreenFog [SECONDS]
set -euo pipefail
app=$(realpath "$1")
mode=$2
seconds=${3:-20}
position=${BAND_POSITION:-center}
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib/sandbox.sh"
work=$(mktemp -d /tmp/sonavista-render-instructions.XXXXXX)
trap 'sandbox_stop; rm -rf "$work"' EXIT
sandbox_start "$work" >/dev/null
mkdir -p "$XDG_CONFIG_HOME/Sonavista"
printf '[General]\noverlayDisplayMode="%s"\noverlayPosition="%s"\n' "$mode" "$position" >"$XDG_CONFIG_HOME/Sonavista/Sonavista.conf"
"$root/bench/app/loud-music.sh" "$SANDBOX/music.wav"
sandbox_start_player
out=$work/callgrind.out
sandbox_start_app valgrind --tool=callgrind --callgrind-out-file="$out" --collect-atstart=no \
  --toggle-collect='sonavista::WaveformRasterizer::render*' --compress-strings=no --compress-pos=no "$app"
sandbox_wait_for 60 sandbox_overlay_visible
w=$(sandbox_settings_window || true); [ -n "$w" ] && xdotool windowunmap --sync "$w" || true
sleep "$seconds"
callgrind_control -d "$sandbox_app_pid" >/dev/null 2>&1
sleep 1
dump=$(ls -t "$out".* | head -1)
frames=$(grep -A1 '^cfn=.*WaveformRasterizer::render' "$dump" | awk '/^calls=/ {s += substr($1, 7)} END {print s + 0}')
total=$(callgrind_annotate "$dump" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}')
[ "$frames" -gt 0 ] || { echo "no frames drawn" >&2; exit 1; }
echo "$mode: $frames frames, $((total / frames)) instructions a frame inside render"
callgrind_annotate "$dump" 2>/dev/null | awk -v f="$frames" '/^ *[0-9,]+ +\(/ && !/PROGRAM TOTALS/ && n < 8 {
  c = $1; gsub(",", "", c); name = $0; sub(/^.*%\) +/, "", name); sub(/^[^:]*:/, "", name)
  printf "%10d a frame  %s\n", c / f, substr(name, 1, 90); n++ }'
