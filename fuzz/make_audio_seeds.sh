#!/usr/bin/env bash
# Writes the seed corpus of selvik_audio_fuzz into the folder given: a twentieth
# of a second of a two-note tone in each format the loader reads, small
# enough for the fuzzer to change. Formats whose encoder is missing are left
# out.
set -euo pipefail
out=${1:?usage: make_audio_seeds.sh FOLDER}
mkdir -p "$out"
tone="$out/tone.wav"
sox -D -n -r 44100 -c 1 -b 16 "$tone" synth 0.05 sine 440 sine 660 remix 1,2 2>/dev/null
sox -D "$tone" -c 2 "$out/stereo_opposite.wav" remix 1 1v-0.9
sox -D "$tone" -b 8 "$out/tone8.wav"
sox -D "$tone" -b 24 "$out/tone24_extensible.wav"
sox -D "$tone" -t wavpcm -e floating-point -b 32 "$out/tone_float.wav"
sox -D "$tone" -r 48000 -c 2 "$out/tone48_stereo.wav"
sox -D "$tone" -r 8000 "$out/tone8000.aiff"
sox -D "$tone" -r 48000 -c 2 -b 24 "$out/tone48.flac"
sox -n -r 44100 -c 1 -b 16 "$out/empty.flac" trim 0 0
if command -v oggenc >/dev/null; then oggenc -Q -q 0 -o "$out/tone.ogg" "$tone"; fi
if command -v opusenc >/dev/null; then opusenc --quiet --bitrate 16 "$tone" "$out/tone.opus"; fi
if command -v lame >/dev/null; then lame --quiet -b 32 "$tone" "$out/tone.mp3"; fi
