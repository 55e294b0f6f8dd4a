#!/usr/bin/python3
"""Prints the notes of a MIDI file as 'note start_s end_s' lines, in seconds.

Usage: /usr/bin/python3 tests/cli/played_notes.py FILE.mid

Used by the end-to-end tests to know which notes a rendered melody plays.
A note ends at its note-off or at a note-on of velocity 0. Needs python3-mido.
"""
import sys

import mido


def main():
    open_notes = {}
    now = 0.0
    for message in mido.MidiFile(sys.argv[1]):
        now += message.time
        if message.type == "note_on" and message.velocity > 0:
            open_notes.setdefault(message.note, []).append(now)
        elif message.type in ("note_off", "note_on"):
            starts = open_notes.get(message.note)
            if starts:
                print(f"{message.note} {starts.pop(0):.6f} {now:.6f}")


if __name__ == "__main__":
    main()
