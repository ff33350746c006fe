#!/usr/bin/env bash
# Side-by-side CPU cost of live capture + analysis: plays the same music into a private
# PulseAudio null sink and runs `sonavista-analyze --capture` and cava (30 fps, 96 bars,
# raw output to /dev/null, same monitor source) in the same run, one after the other, for
# SECONDS each. CPU time is utime + stime from /proc/PID/stat over the same interval.
# Usage: bench/audio/capture-vs-cava.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/capture}
seconds=${2:-20}
analyze=$build/tools/analyze/sonavista-analyze
[ -x "$analyze" ] || { echo "build sonavista-analyze first ($analyze)" >&2; exit 2; }

tmp=$(mktemp -d)
server_pid=
player_pid=
cleanup() {
  [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -m 700 "$tmp/run"
env HOME="$tmp" XDG_RUNTIME_DIR="$tmp/run" XDG_CONFIG_HOME="$tmp/config" \
  pulseaudio --daemonize=no --system=no --exit-idle-time=-1 -n --use-pid-file=no \
  --load="module-null-sink sink_name=out" \
  --load="module-native-protocol-unix socket=$tmp/native auth-anonymous=1" >/dev/null 2>&1 &
server_pid=$!
export PULSE_SERVER=unix:$tmp/native HOME=$tmp XDG_CONFIG_HOME=$tmp/config
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done

# "Music": a chord with a beat and a sweeping tone, long enough for both runs, looped.
sox -n -r 48000 -c 2 "$tmp/music.wav" synth 10 sine 110 sine 220 sine 330-3300 tremolo 2 90 vol 0.4
(while true; do paplay --device=out "$tmp/music.wav"; done) >/dev/null 2>&1 &
player_pid=$!
sleep 1

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
measure() {  # name, command...: runs the command, measures CPU over $seconds after a 3 s warm-up
  local name=$1; shift
  "$@" >/dev/null 2>"$tmp/$name.err" &
  local pid=$!
  sleep 3
  local before; before=$(cpu_ticks "$pid")
  sleep "$seconds"
  local after; after=$(cpu_ticks "$pid")
  kill -TERM "$pid"; wait "$pid" 2>/dev/null || true
  local hz; hz=$(getconf CLK_TCK)
  awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v n="$name" \
    'BEGIN { printf "%-10s cpu %.2f s over %d s = %.2f %% of one core\n", n, t / hz, s, 100 * t / hz / s }'
  echo $((after - before)) > "$tmp/$name.ticks"
}

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

measure sonavista "$analyze" --capture
measure cava cava -p "$tmp/cava.conf"
ours=$(cat "$tmp/sonavista.ticks"); theirs=$(cat "$tmp/cava.ticks")
awk -v a="$ours" -v b="$theirs" 'BEGIN { if (b > 0) printf "ratio sonavista/cava = %.2f (target <= 0.5)\n", a / b; else print "cava used no measurable CPU" }'
