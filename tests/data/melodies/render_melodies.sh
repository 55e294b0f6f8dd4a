#!/usr/bin/env bash
# Regenerates melody_ocarina_low.mid and melody_ocarina_low.wav: the "low"
# tune of examples/make_melody.py (F#3..C4, reached only by the second
# recognition pass) on General MIDI program 79 (ocarina, a flute-family
# timbre whose fundamental dominates in this register), rendered by FluidSynth with Debian's
# timgm6mb-soundfont and mixed to mono 16-bit 44100 Hz by sox (no dither).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 "$root/examples/make_melody.py" "$here/melody_ocarina_low.mid" low 79
fluidsynth -ni -q -F "$tmp/stereo.wav" -r 44100 -T wav -O s16 \
  /usr/share/sounds/sf2/TimGM6mb.sf2 "$here/melody_ocarina_low.mid"
sox -D "$tmp/stereo.wav" -c 1 "$here/melody_ocarina_low.wav"
