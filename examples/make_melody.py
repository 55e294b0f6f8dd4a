#!/usr/bin/python3
"""Writes one of the bundled melodies as a Standard MIDI File.

Usage: /usr/bin/python3 examples/make_melody.py OUT.mid TUNE PROGRAM

TUNE is "example" (the README's example, G4..F5) or "low" (F#3..C4, a band
that only the second recognition pass covers). Both are original tunes, one
note at a time, 120 BPM, every note at least 375 ms long. Their notes are
chosen among those that the block-spectrum recognizer picks reliably at its
default settings (block size 2048, threshold 0.8): a note whose group of
spectral bins averages well below the block's strongest bin is rejected by
that threshold, so for instance D5 and B4 are not found at these settings.
PROGRAM is the General MIDI program (73 flute, 79 ocarina). Needs Debian's
python3-mido.
"""
import sys

import mido

TICKS = 480  # per quarter note
# (MIDI note, length in quarter notes); 0 is a rest.
TUNES = {
    "example": [
        (72, 1), (76, 1), (77, 1.5), (76, 0.75), (72, 0.75),
        (67, 1), (68, 1), (67, 1), (0, 0.5),
        (66, 1), (67, 1), (72, 2),
    ],
    "low": [
        (57, 1), (55, 1), (54, 1.5), (55, 0.75), (57, 0.75),
        (60, 2), (0, 0.5),
        (56, 1), (57, 1), (55, 1), (54, 2),
    ],
}


def main():
    out, tune, program = sys.argv[1], sys.argv[2], int(sys.argv[3])
    mid = mido.MidiFile(ticks_per_beat=TICKS)
    track = mido.MidiTrack()
    mid.tracks.append(track)
    track.append(mido.MetaMessage("set_tempo", tempo=500000, time=0))
    track.append(mido.Message("program_change", program=program, time=0))
    pending = 0
    for note, beats in TUNES[tune]:
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
