#!/usr/bin/env bash
# How long live capture takes to hear a sink again that went away and came back under the
# same name (a Bluetooth profile switch, a USB DAC replugged): plays looped music into the
# null sink "out" of a private sound server (PulseAudio, or PipeWire with WirePlumber and
# pipewire-pulse), runs `sonavista-analyze --capture`, and ROUNDS times unloads the sink and
# loads it again under the same name. Each round prints the gap from the moment
# `pactl load-module` returned (the sink is back) to the first frame the tool wrote after
# it said it records the sink's monitor again, read from the arrival time of the tool's
# lines, and the tool's failure if it reported one. The last line gives the median and the largest gap.
#
# GAP is how long the sink stays away, in seconds.
#
# Usage: bench/audio/sink-return-gap.sh [BUILD_DIR] [ROUNDS] [pulseaudio|pipewire] [GAP]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/capture}
rounds=${2:-5}
server=${3:-pulseaudio}
away=${4:-0.2}
analyze=$build/tools/analyze/sonavista-analyze
[ -x "$analyze" ] || { echo "build sonavista-analyze first ($analyze)" >&2; exit 2; }

tmp=$(mktemp -d)
source "$root/bench/audio/private-sound-server.sh"
pids=()
cleanup() {
  for pid in "${pids[@]}" "${private_sound_server_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KEEP:-}" ] && cp -r "$tmp" "$KEEP"; rm -rf "$tmp"
}
trap cleanup EXIT
private_sound_server_start "$tmp" "$server"

# Music that a player starts again on the sink whenever its stream was cut.
sox -n -r 48000 -c 2 "$tmp/music.wav" synth 10 sine 110 sine 220 sine 330-3300 tremolo 2 90 vol 0.4
(while true; do paplay --device=out "$tmp/music.wav" 2>/dev/null || sleep 0.05; done) &
pids+=($!)

now() { echo "$EPOCHREALTIME"; }
# Every line of the tool's output, prefixed with the time it arrived.
stamp() { while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done; }
"$analyze" --capture 2> >(stamp >"$tmp/tool.err") > >(stamp >"$tmp/frames") &
pids+=($!)
sleep 2

: >"$tmp/gaps"
for round in $(seq "$rounds"); do
  module=$(pactl list short modules | awk '$2 == "module-null-sink" && $3 ~ /sink_name=out/ { print $1 }')
  gone=$(now)
  pactl unload-module "$module"
  sleep "$away"
  pactl load-module module-null-sink sink_name=out >/dev/null
  back=$(now)
  # A plain client for comparison: how soon does any new record stream on the returned
  # sink's monitor get data?
  rm -f "$tmp/parec"
  (timeout 3 parec --device=out.monitor --latency-msec=43 --raw 2>/dev/null |
     { head -c 1 >/dev/null && echo "$EPOCHREALTIME" >"$tmp/parec"; cat >/dev/null; }) &
  sleep 3
  # The first frame after the tool said it records the sink again (PipeWire may have
  # recorded its stand-in sink meanwhile, whose frames do not count).
  since=$(awk -v gone="$gone" '$1 > gone && /recording out.monitor/ { print $1; exit }' "$tmp/tool.err")
  parec_gap=$(awk -v back="$back" '{ printf "%.3f", $1 - back }' "$tmp/parec" 2>/dev/null || echo "none")
  awk -v back="$back" -v since="${since:-}" -v round="$round" -v gaps="$tmp/gaps" -v parec="$parec_gap" '
    since != "" && $1 > since && /"level"/ && first == "" { first = $1 }
    /"failure"/ { failure = $0 }
    END {
      if (since == "") printf "round %d: capture did not record the sink again within 3 s\n", round
      else if (first == "") printf "round %d: no frame within 3 s of the sink coming back\n", round
      else {
        printf "round %d: recording again %+.3f s, first frame %.3f s after the sink came back (parec: first data %s s)\n",
               round, since - back, first - back, parec
        print first - back >> gaps
      }
      if (failure != "") printf "round %d: the tool reported %s\n", round, failure
    }' "$tmp/frames"
  grep -q '"failure"' "$tmp/frames" && break
done
sort -g "$tmp/gaps" | awk '{ v[NR] = $1 } END {
  if (NR == 0) { print "no round resumed"; exit }
  m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
  printf "gap sink back -> first frame: median %.3f s, largest %.3f s (%d rounds)\n", m, v[NR], NR }'
