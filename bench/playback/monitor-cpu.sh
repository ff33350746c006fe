#!/usr/bin/env bash
# CPU use of sonavista-detect over a period, idle and with a real MPRIS player, each on a
# private session bus. Usage: monitor-cpu.sh BUILD_DIR [SECONDS]
# Prints the CPU seconds used (utime + stime from /proc/PID/stat) and the share of one core.
set -euo pipefail
build=$(cd "$1" && pwd); seconds=${2:-60}
detect=$build/tools/detect/sonavista-detect
T=$(mktemp -d); pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$T"; }
trap cleanup EXIT
mkdir -p "$T/run" "$T/home" "$T/bin"; chmod 700 "$T/run"
export HOME=$T/home XDG_RUNTIME_DIR=$T/run PULSE_SERVER=unix:$T/no-pulse
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

measure() {  # label
  "$detect" --bridge-port 48$((RANDOM % 900 + 100)) >"$T/out-$1" 2>/dev/null & local pid=$!; pids+=("$pid")
  sleep 2; local before; before=$(cpu_ticks "$pid")
  sleep "$seconds"; local after; after=$(cpu_ticks "$pid")
  kill -TERM "$pid"; wait "$pid"
  awk -v l="$1" -v t=$((after - before)) -v hz="$ticks" -v s="$seconds" \
    'BEGIN { printf "%s: %.2f s CPU in %d s = %.3f %% of one core\n", l, t / hz, s, 100 * t / hz / s }'
  echo "  last snapshot: $(tail -n1 "$T/out-$1")"
}

dbus-daemon --session --nofork --nopidfile --print-address=1 >"$T/bus" 2>/dev/null & pids+=($!)
for _ in $(seq 50); do [ -s "$T/bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$T/bus")

measure idle
sox -n -r 22050 -c 2 "$T/tone.wav" synth 2 sine 440
cp /usr/bin/mpv "$T/bin/spotify"
"$T/bin/spotify" --no-config --no-terminal --ao=null --vo=null --loop=inf \
  --script=/usr/lib/mpv-mpris/mpris.so "$T/tone.wav" & pids+=($!)
sleep 1
measure player-playing
playerctl --player=mpv pause
measure player-paused
