#!/usr/bin/env bash
# Where the application's time goes while the overlay shows live audio: runs the app on the
# private display and sound server of the CPU benchmark in one display mode, then samples it
# with `perf record -g` and prints the hottest symbols (self time, all threads).
# With PROFILE_EVENTS=ev1,ev2 it counts those events over the interval instead; with
# PROFILE_MUSIC=loud it plays the loud music of the CPU benchmark instead of the plucked chords;
# PROFILE_CALLGRAPH="--call-graph dwarf" finds callers in libraries built without frame pointers.
# The band lies in the centre, where a new user's does, unless BAND_POSITION=top|bottom.
# Usage: profile.sh APP compact|fullscreenFog [SECONDS] [PERF_DATA]
set -euo pipefail
app=$1
mode=$2
seconds=${3:-10}
data=${4:-}
position=${BAND_POSITION:-center}
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib/sandbox.sh"
work=$(mktemp -d /tmp/sonavista-profile.XXXXXX)
trap 'sandbox_stop; rm -rf "$work"' EXIT
[ -n "$data" ] || data=$work/perf.data
sandbox_start "$work" >/dev/null
mkdir -p "$XDG_CONFIG_HOME/Sonavista"
printf '[General]\noverlayDisplayMode="%s"\noverlayPosition="%s"\n' "$mode" "$position" >"$XDG_CONFIG_HOME/Sonavista/Sonavista.conf"
[ "${PROFILE_MUSIC:-}" = loud ] && "$root/bench/app/loud-music.sh" "$SANDBOX/music.wav"
sandbox_start_player
sandbox_start_app "$app"
sandbox_wait_for 10 sandbox_overlay_visible
w=$(sandbox_settings_window || true); [ -n "$w" ] && xdotool windowunmap --sync "$w" || true
sleep 3
if [ -n "${PROFILE_EVENTS:-}" ]; then  # count events (e.g. uprobes) instead of sampling
  perf stat -e "$PROFILE_EVENTS" -p "$sandbox_app_pid" -- sleep "$seconds" 2>&1 | grep -E '^ +[0-9]'
  exit 0
fi
perf record -q ${PROFILE_CALLGRAPH:--g} -F 999 -o "$data" -p "$sandbox_app_pid" -- sleep "$seconds" >/dev/null 2>&1
perf report -i "$data" --no-children --sort dso,symbol --percent-limit 1 --stdio -g none 2>/dev/null |
  grep -v '^#' | grep -v '^$' | head -40
