#!/usr/bin/env bash
# Side-by-side CPU cost of live capture + analysis: plays the same music into a null sink
# of a private sound server (PulseAudio, or PipeWire with WirePlumber and pipewire-pulse)
# and runs `sonavista-analyze --capture` and cava (30 fps, 96 bars,
# raw output to /dev/null, same monitor source) at the same time, so both see the same
# machine load, for SECONDS after a 3 s warm-up; this is repeated REPEATS times, with the
# start order alternating (odd runs start ours first, even runs cava first).
#
# CPU is read two ways over the same interval:
#   - utime + stime from /proc/PID/stat (whole process, in clock ticks of 10 ms), and
#   - the run time in nanoseconds from /proc/PID/task/*/schedstat, summed over the threads
#     alive at both readings (both programs keep their threads for the whole run).
# Each run prints both programs' CPU and the ratio; the last lines give the median, minimum
# and maximum ratio over the runs.
#
# Usage: bench/audio/capture-vs-cava.sh [BUILD_DIR] [SECONDS] [REPEATS] [pulseaudio|pipewire]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/install-deps" demo test bench  # the comparison programs and the private services
build=${1:-$root/build/capture}
seconds=${2:-30}
repeats=${3:-5}
server=${4:-pulseaudio}
analyze=$build/tools/analyze/sonavista-analyze
[ -x "$analyze" ] || { echo "build sonavista-analyze first ($analyze)" >&2; exit 2; }
command -v cava >/dev/null || { echo "cava is not installed" >&2; exit 2; }

tmp=$(mktemp -d)
player_pid=
ours_pid=
cava_pid=
source "$root/bench/audio/private-sound-server.sh"
cleanup() {
  for pid in "$ours_pid" "$cava_pid" "$player_pid" "${private_sound_server_pids[@]}"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
private_sound_server_start "$tmp" "$server"

# "Music": a chord with a beat and a sweeping tone, looped for as long as the runs last.
sox -n -r 48000 -c 2 "$tmp/music.wav" synth 10 sine 110 sine 220 sine 330-3300 tremolo 2 90 vol 0.4
(while true; do paplay --device=out "$tmp/music.wav"; done) >/dev/null 2>&1 &
player_pid=$!
sleep 1

cat > "$tmp/cava.conf" <<CONF
[general]
framerate = 30
bars = 96
[input]
method = pulse
source = out.monitor
[output]
method = raw
raw_target = /dev/null
data_format = binary
CONF

hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# "tid nanoseconds" for every thread of the process.
thread_ns() { for f in /proc/"$1"/task/*/schedstat; do echo "${f//[!0-9]/ } $(cut -d' ' -f1 "$f")"; done 2>/dev/null; }
# Nanoseconds run between two thread_ns snapshots by the threads present in both.
ns_between() { awk 'NR == FNR { a[$2] = $3; next } ($2 in a) { t += $3 - a[$2] } END { printf "%d", t }' "$1" "$2"; }

printf '%-6s %14s %14s %8s   %12s %12s %8s\n' run "ours ms" "cava ms" ratio "ours ticks" "cava ticks" ratio
: > "$tmp/ratios_ns"
: > "$tmp/ratios_ticks"
for run in $(seq "$repeats"); do
  # Whichever client connects first is woken first for each fragment and measures
  # noticeably dearer on a loaded machine, so the start order alternates between runs.
  if [ $((run % 2)) -eq 1 ]; then
    "$analyze" --capture >/dev/null 2>"$tmp/ours.err" &
    ours_pid=$!
    cava -p "$tmp/cava.conf" >/dev/null 2>"$tmp/cava.err" &
    cava_pid=$!
  else
    cava -p "$tmp/cava.conf" >/dev/null 2>"$tmp/cava.err" &
    cava_pid=$!
    "$analyze" --capture >/dev/null 2>"$tmp/ours.err" &
    ours_pid=$!
  fi
  sleep 3
  for p in ours cava; do
    pid_var=${p}_pid
    kill -0 "${!pid_var}" 2>/dev/null || { echo "$p exited early:" >&2; cat "$tmp/$p.err" >&2; exit 1; }
  done
  ours_t0=$(ticks "$ours_pid"); cava_t0=$(ticks "$cava_pid")
  thread_ns "$ours_pid" > "$tmp/ours.0"; thread_ns "$cava_pid" > "$tmp/cava.0"
  sleep "$seconds"
  ours_t1=$(ticks "$ours_pid"); cava_t1=$(ticks "$cava_pid")
  thread_ns "$ours_pid" > "$tmp/ours.1"; thread_ns "$cava_pid" > "$tmp/cava.1"
  kill -TERM "$ours_pid" "$cava_pid"; wait "$ours_pid" "$cava_pid" 2>/dev/null || true
  ours_pid= cava_pid=
  [ "$run" -eq 1 ] && grep -m1 recording "$tmp/ours.err" >&2

  ours_ns=$(ns_between "$tmp/ours.0" "$tmp/ours.1"); cava_ns=$(ns_between "$tmp/cava.0" "$tmp/cava.1")
  ours_ticks=$((ours_t1 - ours_t0)); cava_ticks=$((cava_t1 - cava_t0))
  awk -v r="$run$([ $((run % 2)) -eq 1 ] && echo o || echo c)" -v a="$ours_ns" -v b="$cava_ns" -v ta="$ours_ticks" -v tb="$cava_ticks" -v hz="$hz" \
    -v fn="$tmp/ratios_ns" -v ft="$tmp/ratios_ticks" 'BEGIN {
      rn = b > 0 ? a / b : -1; rt = tb > 0 ? ta / tb : -1
      printf "%-6s %14.1f %14.1f %8.3f   %12d %12d %8.3f\n", r, a / 1e6, b / 1e6, rn, ta, tb, rt
      if (rn >= 0) print rn >> fn
      if (rt >= 0) print rt >> ft
    }'
done

summary() {  # label, file of ratios
  sort -g "$2" | awk -v l="$1" '{ v[NR] = $1 } END {
    if (NR == 0) { printf "%s: no measurable cava CPU\n", l; exit }
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%s: median ratio sonavista/cava %.3f (min %.3f, max %.3f, %d runs of %s s; target <= 0.5)\n", l, m, v[1], v[NR], NR, s
  }' s="$seconds"
}
summary "schedstat ns" "$tmp/ratios_ns"
summary "/proc stat ticks" "$tmp/ratios_ticks"
