#!/usr/bin/python3
"""Writes the example melody as a Standard MIDI File.

Usage: /usr/bin/python3 examples/make_melody.py OUT.mid [PROGRAM]

A short original tune, one note at a time, 120 BPM, every note at least a
dotted eighth (375 ms) long and within G4..E5 of the General MIDI range, so
the block-spectrum recognizer at its default settings can follow it. The
default program is 73 (flute). Needs Debian's python3-mido.
"""
import sys

import mido

TICKS = 480  # per quarter note
# (MIDI note, length in quarter notes); 0 is a rest.
TUNE = [
    (72, 1), (74, 1), (76, 1), (72, 1),
    (79, 1.5), (77, 0.75), (76, 0.75), (74, 1),
    (72, 1), (0, 0.5), (67, 1), (69, 1), (71, 1),
    (72, 2),
]


def main():
    out = sys.argv[1]
    program = int(sys.argv[2]) if len(sys.argv) > 2 else 73
    mid = mido.MidiFile(ticks_per_beat=TICKS)
    track = mido.MidiTrack()
    mid.tracks.append(track)
    track.append(mido.MetaMessage("set_tempo", tempo=500000, time=0))
    track.append(mido.Message("program_change", program=program, time=0))
    pending = 0
    for note, beats in TUNE:
        ticks = int(round(beats * TICKS))
        if note == 0:
            pending += ticks
            continue
        track.append(mido.Message("note_on", note=note, velocity=100, time=pending))
        track.append(mido.Message("note_off", note=note, velocity=0, time=ticks))
        pending = 0
    track.append(mido.MetaMessage("end_of_track", time=TICKS))
    mid.save(out)


if __name__ == "__main__":
    main()
