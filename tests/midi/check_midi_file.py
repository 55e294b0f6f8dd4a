#!/usr/bin/python3
"""Reads a Standard MIDI File with mido, an independent reader, and checks its notes.

Usage:
    check_midi_file.py FILE.mid --expect-notes EXPECT.tsv [--division N] [--tempo US]
    check_midi_file.py FILE.mid --dump
    check_midi_file.py FILE.mid --dump-seconds

The notes of every track are paired by channel and note number: a note-on with
a velocity above 0 starts a note; the next note-off, or note-on with velocity 0,
of the same channel and note ends it (first started, first ended). Each note is
the triple (note, start tick, end tick) in absolute ticks.

--dump             prints the notes, one per line: note<TAB>start_tick<TAB>end_tick,
                   in the order they start in the file (ties in file order).
--dump-seconds     prints the notes as mido plays them, through the file's
                   tempo changes: note<TAB>start<TAB>end<TAB>channel, times in
                   seconds with six decimals, in the order they start; then
                   one line per time signature: meter<TAB>NUMERATOR/DENOMINATOR.
--expect-notes F   compares the notes with F ("-" for standard input), whose lines
                   are note<TAB>start_tick<TAB>end_tick; blank lines and lines
                   starting with # are ignored. The comparison ignores the order
                   of the lines. An empty F expects a file without notes.
--division N       also requires N ticks per quarter note in the header.
--tempo US         also requires a set_tempo of US microseconds per quarter note.

The file must parse, be format 1, end every track with an end-of-track event
and leave no note unfinished.

Run it with /usr/bin/python3, where Debian's python3-mido is installed.

Exit status: 0 the file parses and matches; 1 it parses but does not match
(the differences go to standard error); 2 usage error, unreadable or malformed
file.
"""

import argparse
import collections
import sys

try:
    import mido
except ImportError:  # pragma: no cover - depends on the machine
    sys.stderr.write("check_midi_file.py: mido is not installed (apt install python3-mido; "
                     "run with /usr/bin/python3)\n")
    sys.exit(2)


class MalformedFile(Exception):
    pass


def read_notes(path):
    """Returns (midi_file, notes, tempos) where notes are (note, start, end)."""
    try:
        midi = mido.MidiFile(path)
    except (OSError, EOFError, ValueError, KeyError, IndexError) as error:
        raise MalformedFile("cannot parse %s: %s" % (path, error))
    if midi.type != 1:
        raise MalformedFile("format %d, expected format 1" % midi.type)

    notes = []  # (start, order, note, end)
    tempos = []
    order = 0
    for index, track in enumerate(midi.tracks):
        if not track or track[-1].type != "end_of_track":
            raise MalformedFile("track %d does not end with end_of_track" % index)
        sounding = collections.defaultdict(collections.deque)
        tick = 0
        for message in track:
            tick += message.time
            if message.type == "set_tempo":
                tempos.append(message.tempo)
            elif message.type == "note_on" and message.velocity > 0:
                sounding[(message.channel, message.note)].append((tick, order))
                order += 1
            elif message.type == "note_off" or message.type == "note_on":
                started = sounding[(message.channel, message.note)]
                if not started:
                    raise MalformedFile("track %d: note %d ends at tick %d without a start"
                                        % (index, message.note, tick))
                start, start_order = started.popleft()
                notes.append((start, start_order, message.note, tick))
        for (channel, note), started in sounding.items():
            if started:
                raise MalformedFile("track %d: note %d (channel %d) started at tick %d never ends"
                                    % (index, note, channel, started[0][0]))
    notes.sort()
    return midi, [(note, start, end) for start, _, note, end in notes], tempos


def dump_seconds(midi):
    """The notes in seconds, as mido plays the merged tracks through their tempo map."""
    now = 0.0
    sounding = collections.defaultdict(collections.deque)
    notes = []
    meters = []
    for message in midi:
        now += message.time
        if message.type == "time_signature":
            meters.append("%d/%d" % (message.numerator, message.denominator))
        elif message.type == "note_on" and message.velocity > 0:
            sounding[(message.channel, message.note)].append(now)
        elif message.type in ("note_on", "note_off"):
            started = sounding[(message.channel, message.note)]
            if started:
                notes.append((started.popleft(), now, message.note, message.channel))
    for start, end, note, channel in sorted(notes):
        sys.stdout.write("%d\t%.6f\t%.6f\t%d\n" % (note, start, end, channel))
    for meter in meters:
        sys.stdout.write("meter\t%s\n" % meter)


def read_expected(path):
    stream = sys.stdin if path == "-" else open(path, encoding="utf-8")
    expected = []
    with stream:
        for number, line in enumerate(stream, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 3:
                raise ValueError("%s:%d: expected note<TAB>start_tick<TAB>end_tick" % (path, number))
            expected.append(tuple(int(field) for field in fields))
    return expected


def main(argv):
    parser = argparse.ArgumentParser(description="Check the notes of a MIDI file with mido.")
    parser.add_argument("file")
    parser.add_argument("--expect-notes", metavar="EXPECT.tsv")
    parser.add_argument("--dump", action="store_true")
    parser.add_argument("--dump-seconds", action="store_true")
    parser.add_argument("--division", type=int)
    parser.add_argument("--tempo", type=int)
    arguments = parser.parse_args(argv)
    if arguments.expect_notes is None and not arguments.dump and not arguments.dump_seconds:
        parser.error("give --expect-notes, --dump or --dump-seconds")

    try:
        midi, notes, tempos = read_notes(arguments.file)
    except MalformedFile as error:
        sys.stderr.write("%s: %s\n" % (arguments.file, error))
        return 2

    if arguments.dump:
        for note in notes:
            sys.stdout.write("%d\t%d\t%d\n" % note)
    if arguments.dump_seconds:
        dump_seconds(midi)

    failures = []
    if arguments.division is not None and midi.ticks_per_beat != arguments.division:
        failures.append("division %d, expected %d" % (midi.ticks_per_beat, arguments.division))
    if arguments.tempo is not None and tempos != [arguments.tempo]:
        failures.append("tempo events %s, expected [%d]" % (tempos, arguments.tempo))
    if arguments.expect_notes is not None:
        try:
            expected = read_expected(arguments.expect_notes)
        except (OSError, ValueError) as error:
            sys.stderr.write("%s\n" % error)
            return 2
        found = collections.Counter(notes)
        wanted = collections.Counter(expected)
        for note in sorted((wanted - found).elements(), key=lambda n: (n[1], n[0])):
            failures.append("missing note %d from tick %d to %d" % note)
        for note in sorted((found - wanted).elements(), key=lambda n: (n[1], n[0])):
            failures.append("unexpected note %d from tick %d to %d" % note)

    for failure in failures:
        sys.stderr.write("%s: %s\n" % (arguments.file, failure))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
