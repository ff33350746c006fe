#!/usr/bin/env bash
# Audio -> screen time of the whole application: on a private display (Xvfb + picom) and a
# private sound server (PulseAudio, or PipeWire with WirePlumber and pipewire-pulse), the
# sandbox's MPRIS player (mpv, named "spotify") plays BURSTS bursts of loud pink noise (0.3 s,
# then 0.9 s of digital silence) into the null sink "out"; the application shows its compact
# band at the bottom of the screen. Three clients run over the same seconds:
#   - the reference: `parec --latency-msec=5` on out.monitor, whose reader stamps each burst's
#     first loud sample (the arrival of the read that held it, less the samples after it in
#     that read). The monitor carries what the sink plays as it plays it, so this is when the
#     burst leaves the sink; a sound card would start playing it then, plus its own latency.
#     The stamp can be late by at most the transport of one read, so the figures below are, if
#     anything, a few milliseconds short.
#   - band-rows: ROWS rows of the band read back from the root window (the composited screen)
#     with XGetImage as fast as the X server answers (about 1 ms per poll), their brightness summed;
#   - cava (default 60 fps, 32 bars, raw ASCII output) on out.monitor, its lines stamped on arrival.
# For each burst, the time from its onset to the first moment the signal reaches half its
# rise (from the mean over 150 ms before the onset to the highest value within 500 ms after)
# is printed as median and range, and the same on the average of all bursts locked to their onsets.
#
# KEY=VALUE arguments go into the application's settings file (for example
# visualizesPlayingPlayerOnly=false, audioDelayOffsetMilliseconds="200": the file keeps that
# value as a quoted string, and an unquoted number is not read); keys an older build
# does not know are ignored by it. The application binds the bridge port: run this under
# `flock /tmp/sonavista-43828.lock` where other programs may bind it too.
#
# With pipewire and SINK_LATENCY_MS=N, the output is instead a stand-in Bluetooth headset
# (tests/integration/LatencySink.cpp): a sink "headset" whose ports report N ms of latency,
# as PipeWire's Bluetooth sinks report their codec and transport delay. The reference still
# stamps the monitor, so the application's figure should rise by N ms and cava's stay.
#
# Usage: bench/audio/screen-latency.sh APP [pulseaudio|pipewire] [BURSTS] [KEY=VALUE...]
set -euo pipefail
app=$(realpath "$1")
server=${2:-pulseaudio}
bursts=${3:-20}
shift $(($# < 3 ? $# : 3))
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ -x "$app" ] || { echo "no application at $app" >&2; exit 2; }
command -v cava >/dev/null || echo "cava is not installed: no comparison column" >&2
source "$root/scripts/lib/sandbox.sh"
work=$(mktemp -d /tmp/sonavista-screen-latency.XXXXXX)
trap '[ -n "${latency_sink:-}" ] && kill "$latency_sink"; sandbox_stop; rm -rf "$work"' EXIT
c++ -O2 -o "$work/band-rows" "$here/band-rows.cpp" -lX11

case $server in
  pulseaudio) export SANDBOX_SOUND=required ;;
  pipewire) export SANDBOX_SOUND=pipewire ;;
  *) echo "unknown server $server (pulseaudio or pipewire)" >&2; exit 2 ;;
esac
sandbox_start "$work/sandbox" >/dev/null
sink=out
if [ -n "${SINK_LATENCY_MS:-}" ]; then
  [ "$server" = pipewire ] || { echo "SINK_LATENCY_MS needs pipewire" >&2; exit 2; }
  c++ -O2 -o "$work/latency-sink" "$root/tests/integration/LatencySink.cpp" $(pkg-config --cflags --libs libpipewire-0.3)
  "$work/latency-sink" headset "$SINK_LATENCY_MS" &
  latency_sink=$!
  sink=headset
  sandbox_wait_for 10 sh -c 'pactl list sinks short | grep -qw headset'
  pactl set-default-sink headset
  export SANDBOX_PLAYER_SINK=headset
fi
echo "$(timeout 5 pactl info | grep 'Server Name'); app $app; $*"

# One second of silence, then the bursts; the player loops the file.
sox -n -r 48000 -c 2 "$work/burst.wav" synth 0.3 pinknoise vol 0.5
sox -n -r 48000 -c 2 "$work/gap.wav" trim 0 0.9
sox "$work/burst.wav" "$work/gap.wav" "$work/periods.wav" repeat "$((bursts - 1))"
sox -n -r 48000 -c 2 "$work/lead.wav" trim 0 1
sox "$work/lead.wav" "$work/periods.wav" "$SANDBOX/music.wav"

mkdir -p "$XDG_CONFIG_HOME/Sonavista"
{ printf '[General]\noverlayDisplayMode="compact"\noverlayPosition="bottom"\n'; printf '%s\n' "$@"; } \
  >"$XDG_CONFIG_HOME/Sonavista/Sonavista.conf"
sandbox_start_player
sandbox_start_app "$app"
sandbox_wait_for 15 sandbox_overlay_visible || { echo "the band did not show" >&2; cat "$SANDBOX/logs/app.log" >&2; exit 1; }
sleep 2
settings_window=$(sandbox_settings_window || true)
[ -n "$settings_window" ] && xdotool windowunmap --sync "$settings_window"
read -r bx by bw bh < <(sandbox_window_geometry "$(sandbox_overlay_window)")
echo "band at ${bx},${by} ${bw}x${bh}"

seconds=$(awk -v n="$bursts" 'BEGIN { print n * 1.2 + 2 }')
timeout "$seconds" parec --device="$sink.monitor" --latency-msec=5 --format=float32le --channels=1 --rate=48000 --raw |
  python3 "$here/screen-latency.py" onsets >"$work/onsets" &
reader=$!
series=("app=$work/app")
if command -v cava >/dev/null; then
  printf '[general]\nbars = 32\n[input]\nmethod = pulse\nsource = %s.monitor\n[output]\nmethod = raw\nraw_target = /dev/stdout\ndata_format = ascii\nascii_max_range = 1000\n' "$sink" >"$work/cava.conf"
  timeout "$seconds" cava -p "$work/cava.conf" 2>/dev/null | python3 "$here/screen-latency.py" stamp >"$work/cava" &
  cava_reader=$!
  series+=("cava=$work/cava")
fi
"$work/band-rows" "$bx" "$by" "$bw" "$bh" "${ROWS:-6}" "$seconds" >"$work/app"
wait "$reader" ${cava_reader:-} || true
python3 "$here/screen-latency.py" analyse "$work/onsets" "${series[@]}"
[ -n "${KEEP:-}" ] && cp "$work"/{onsets,app,cava} "$KEEP"/ 2>/dev/null || true
