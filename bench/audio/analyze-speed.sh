#!/usr/bin/env bash
# Times sonavista-analyze (Release build) on 10 minutes of generated 48 kHz stereo audio and
# prints the speed as a multiple of real time.
# Usage: bench/audio/analyze-speed.sh [BUILD_DIR] [RUNS]   (defaults: build/release, 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build/release}
runs=${2:-5}
cd "$root"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target sonavista-analyze >/dev/null
tool="$build/tools/analyze/sonavista-analyze"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
seconds=600
# Pink noise with a 2 Hz pulse over two tones: never silent, with onsets and a full spectrum.
sox -n -r 48000 -c 2 -b 16 "$tmp/song.wav" synth $seconds pinknoise synth $seconds sine mix 220 \
    tremolo 2 70 vol 0.5
cat "$tmp/song.wav" >/dev/null  # warm the page cache

# Wall time depends on what else the shared machine runs; CPU time (user + sys) does not.
TIMEFORMAT='%R %U %S'
bestWall=""
bestCpu=""
for run in $(seq "$runs"); do
  read -r wall user sys < <({ time "$tool" "$tmp/song.wav" >"$tmp/out.jsonl"; } 2>&1)
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
  printf 'run %d: %.3f s wall, %.3f s cpu (user %s + sys %s)\n' "$run" "$wall" "$cpu" "$user" "$sys"
  if [ -z "$bestWall" ] || awk -v e="$wall" -v b="$bestWall" 'BEGIN { exit !(e < b) }'; then bestWall=$wall; fi
  if [ -z "$bestCpu" ] || awk -v e="$cpu" -v b="$bestCpu" 'BEGIN { exit !(e < b) }'; then bestCpu=$cpu; fi
done
printf 'frames published: %d\n' "$(wc -l <"$tmp/out.jsonl")"
printf 'load average: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
awk -v s="$seconds" -v w="$bestWall" -v c="$bestCpu" 'BEGIN {
  printf "best wall: %.3f s for %d s of audio = %.0fx real time\n", w, s, s / w
  printf "best cpu:  %.3f s for %d s of audio = %.0fx real time\n", c, s, s / c }'
