#!/usr/bin/env bash
# Regenerates examples/melody_flute.mid and examples/melody_flute.wav:
# the tune of make_melody.py rendered by FluidSynth with Debian's
# timgm6mb-soundfont, then mixed to mono 16-bit 44100 Hz by sox (no dither).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 "$here/make_melody.py" "$here/melody_flute.mid" example 73
fluidsynth -ni -q -F "$tmp/stereo.wav" -r 44100 -T wav -O s16 \
  /usr/share/sounds/sf2/TimGM6mb.sf2 "$here/melody_flute.mid"
sox -D "$tmp/stereo.wav" -c 1 "$here/melody_flute.wav"
