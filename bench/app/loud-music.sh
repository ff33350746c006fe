#!/usr/bin/env bash
# Writes 16 s of generated music as loud as released music (about -12 dB RMS) to OUT.wav,
# 48 kHz stereo: kick, snare and hi-hat at 120 beats a minute, a sawtooth bass in eighths and
# sustained sawtooth chords (C, Am, F, G), mixed, compressed and limited. Loops without a gap.
# Usage: loud-music.sh OUT.wav
set -euo pipefail
out=$1
tmp=$(mktemp -d /tmp/sonavista-music.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mono=(-r 48000 -c 1 -b 16)
gen() { sox -V1 -n "${mono[@]}" "$tmp/$1.wav" synth "${@:2}"; }
gen kick 0.16 sine 150-45 gain -3 fade 0 0.16 0.12 pad 0 0.34 repeat 31
gen snare 0.14 whitenoise gain -6 band 1800 1400 fade 0 0.14 0.12 pad 0.5 0.36 repeat 15
gen hats 0.05 whitenoise gain -12 highpass 6000 fade 0 0.05 0.04 pad 0 0.2 repeat 63
bars=() chords=()
for chord in "C2 C3 E3 G3 C4" "A1 A2 C3 E3 A3" "F1 F2 A2 C3 F3" "G1 G2 B2 D3 G3"; do
  set -- $chord
  n=${#bars[@]}
  gen "bass$n" 0.25 sawtooth "$1" gain -6 lowpass 600 fade 0 0.25 0.05 repeat 7
  notes=()
  for note in "${@:2}"; do gen "note$n$note" 2 sawtooth "$note" gain -14 lowpass 2500; notes+=("$tmp/note$n$note.wav"); done
  sox -V1 -m "${notes[@]}" "$tmp/chord$n.wav"
  bars+=("$tmp/bass$n.wav"); chords+=("$tmp/chord$n.wav")
done
sox -V1 "${bars[@]}" "$tmp/bass.wav" repeat 1
sox -V1 "${chords[@]}" "$tmp/chords.wav" repeat 1
sox -V1 -m -v 1 "$tmp/kick.wav" -v 0.7 "$tmp/snare.wav" -v 0.5 "$tmp/hats.wav" -v 1 "$tmp/bass.wav" \
  -v 0.8 "$tmp/chords.wav" "$tmp/mix.wav"
# Compression towards a mastered level, then a limiter at -1 dB.
sox -V1 "$tmp/mix.wav" -c 2 "$out" compand 0.003,0.08 -60,-60,-36,-18,-12,-9,0,-6 -3 -90 0.003 \
  gain -n -3 gain -l 3
