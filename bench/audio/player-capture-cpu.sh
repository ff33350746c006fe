#!/usr/bin/env bash
# What recording the playing player alone costs against recording the whole output: on a
# private display and sound server (bench/app/cpu.sh's sandbox), the MPRIS player plays the
# sandbox's music and the application shows its compact band, ROUNDS times with
# visualizesPlayingPlayerOnly=true and =false in turn (a fresh start each time, 4 s to
# settle), SECONDS each. CPU is the run time in nanoseconds from /proc/PID/task/*/schedstat,
# summed over the threads alive at both readings, of the application and of the sound
# server's processes (pulseaudio; or pipewire + pipewire-pulse + wireplumber), in percent of
# one core. The last lines give the median of each over the rounds.
#
# The application binds the bridge port: run this under `flock /tmp/sonavista-43828.lock`.
# Usage: bench/audio/player-capture-cpu.sh APP [pulseaudio|pipewire] [SECONDS] [ROUNDS]
set -euo pipefail
app=$(realpath "$1")
server=${2:-pulseaudio}
seconds=${3:-30}
rounds=${4:-3}
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib/sandbox.sh"
work=$(mktemp -d /tmp/sonavista-player-cpu.XXXXXX)
trap 'sandbox_stop; rm -rf "$work"' EXIT
case $server in
  pulseaudio) export SANDBOX_SOUND=required; daemons=(pulseaudio) ;;
  pipewire) export SANDBOX_SOUND=pipewire; daemons=(pipewire pipewire-pulse wireplumber) ;;
  *) echo "unknown server $server (pulseaudio or pipewire)" >&2; exit 2 ;;
esac
sandbox_start "$work/sandbox" >/dev/null
sandbox_start_player
server_pids=()
for daemon in "${daemons[@]}"; do
  for pid in "${sandbox_pids[@]}"; do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$daemon" ] && server_pids+=("$pid")
  done
done
echo "$(timeout 5 pactl info | grep 'Server Name'); server processes ${server_pids[*]}"

thread_ns() { for pid in "$@"; do for f in /proc/"$pid"/task/*/schedstat; do echo "$pid ${f//[!0-9]/ } $(cut -d' ' -f1 "$f")"; done; done 2>/dev/null; }
# Percent of one core between two thread_ns snapshots, threads present in both.
percent() { awk -v s="$seconds" 'NR == FNR { a[$1 " " $3] = $4; next } (($1 " " $3) in a) { t += $4 - a[$1 " " $3] } END { printf "%.3f", t / 1e7 / s }' "$1" "$2"; }

: >"$work/results"
for round in $(seq "$rounds"); do
  for setting in true false; do
    mkdir -p "$XDG_CONFIG_HOME/Sonavista"
    printf '[General]\noverlayDisplayMode="compact"\noverlayPosition="bottom"\nvisualizesPlayingPlayerOnly=%s\n' "$setting" \
      >"$XDG_CONFIG_HOME/Sonavista/Sonavista.conf"
    sandbox_start_app "$app"
    sandbox_wait_for 15 sandbox_overlay_visible || { echo "the band did not show" >&2; exit 1; }
    settings_window=$(sandbox_settings_window || true)
    [ -n "$settings_window" ] && xdotool windowunmap --sync "$settings_window"
    sleep 4
    thread_ns "$sandbox_app_pid" >"$work/app.0"; thread_ns "${server_pids[@]}" >"$work/server.0"
    sleep "$seconds"
    thread_ns "$sandbox_app_pid" >"$work/app.1"; thread_ns "${server_pids[@]}" >"$work/server.1"
    streams=$(timeout 5 pactl list short source-outputs | wc -l)
    sandbox_stop_app || true
    a=$(percent "$work/app.0" "$work/app.1"); s=$(percent "$work/server.0" "$work/server.1")
    echo "round $round player-only=$setting: app $a %, server $s %, record streams $streams (load $(cut -d' ' -f1 /proc/loadavg))"
    echo "$setting $a $s" >>"$work/results"
  done
done
median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f (%.3f-%.3f)", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2, v[1], v[NR] }'; }
for setting in true false; do
  echo "player-only=$setting: median app $(awk -v k="$setting" '$1 == k { print $2 }' "$work/results" | median) %," \
       "server $(awk -v k="$setting" '$1 == k { print $3 }' "$work/results" | median) % of one core, $rounds rounds"
done
