#!/usr/bin/python3
"""Writes the accuracy benchmark's pieces as Standard MIDI Files into midi/.

Every piece is made here, from a fixed seed, so the files are reproducible:
origin "written for this project", licence that of the project.

Two halves of distinct pieces: "tune" (rendered with TimGM6mb, used for tuning)
and "held" (rendered with FluidR3 GM, never tuned on). Each half has single-line
melodies over many General MIDI instruments and registers, with legato,
staccato, repeated notes, vibrato by pitch bend and rests, and a few pieces of
two and three voices that are scored apart. The single lines come in two
rounds (files 00-27 and 28-55): every instrument is in one half in the first
round and in the other half in the second, on a different melody.
"""

import math
import os
import random
import sys

import mido

TICKS = 480
HERE = os.path.dirname(os.path.abspath(__file__))

# (program, name, lowest, highest, sustained): the playable register of each
# instrument, kept inside C2..C7; sustained instruments get vibrato and legato.
INSTRUMENTS = [
    (0, "piano", 40, 88, False),
    (73, "flute", 60, 93, True),
    (40, "violin", 55, 91, True),
    (42, "cello", 36, 67, True),
    (71, "clarinet", 50, 84, True),
    (68, "oboe", 58, 86, True),
    (56, "trumpet", 55, 79, True),
    (57, "trombone", 40, 67, True),
    (24, "nylon-guitar", 40, 76, False),
    (33, "finger-bass", 36, 58, False),
    (70, "bassoon", 36, 65, True),
    (65, "alto-sax", 49, 79, True),
    (11, "vibraphone", 53, 89, False),
    (60, "french-horn", 41, 72, True),
    (19, "church-organ", 36, 84, True),
    (41, "viola", 48, 79, True),
    (6, "harpsichord", 41, 84, False),
    (66, "tenor-sax", 44, 74, True),
    (72, "piccolo", 74, 96, True),
    (32, "acoustic-bass", 36, 55, False),
    (21, "accordion", 48, 81, True),
    (46, "harp", 40, 86, False),
    (52, "choir-aahs", 48, 76, True),
    (80, "square-lead", 48, 84, True),
    (58, "tuba", 36, 53, True),
    (13, "xylophone", 65, 96, False),
    (25, "steel-guitar", 40, 76, False),
    (64, "soprano-sax", 56, 84, True),
]

MAJOR = [0, 2, 4, 5, 7, 9, 11]
MINOR = [0, 2, 3, 5, 7, 8, 10]


def scale_notes(tonic, mode, lowest, highest):
    return [n for n in range(lowest, highest + 1) if (n - tonic) % 12 in mode]


def melody_events(rng, lowest, highest, sustained, seconds, tempo):
    """One line as (start_beat, length_beats, note, velocity, vibrato)."""
    tonic = rng.randrange(12)
    mode = MAJOR if rng.random() < 0.6 else MINOR
    pitches = scale_notes(tonic, mode, lowest, highest)
    index = len(pitches) // 2
    beat = 0.0
    total_beats = seconds * tempo / 60.0
    events = []
    base_velocity = rng.randrange(60, 110)
    while beat < total_beats:
        r = rng.random()
        if r < 0.08 and events:
            beat += rng.choice([0.5, 1.0, 1.5])  # rest
            continue
        ioi = rng.choice([0.25, 0.5, 0.5, 0.5, 1.0, 1.0, 1.5, 2.0]) if tempo < 110 else rng.choice(
            [0.5, 0.5, 1.0, 1.0, 1.5, 2.0])
        if events and rng.random() < 0.15:
            pass  # repeated note
        else:
            step = rng.choice([-2, -1, -1, -1, 1, 1, 1, 2, -3, 3, -4, 4, 5, -5, 7, -7])
            index = min(max(index + step, 0), len(pitches) - 1)
        note = pitches[index]
        style = rng.random()
        if sustained and style < 0.45:
            length = ioi  # legato
        elif style < 0.8:
            length = ioi * 0.85
        else:
            length = ioi * 0.5  # staccato
        velocity = max(30, min(127, base_velocity + rng.randrange(-20, 21)))
        vibrato = sustained and ioi * 60.0 / tempo >= 0.6 and rng.random() < 0.6
        events.append((beat, length, note, velocity, vibrato))
        beat += ioi
    return events


def write_track(track, channel, program, events, tempo, bend_vibrato=True):
    """Appends the events to a track as note-ons, note-offs and pitch bends."""
    track.append(mido.Message("program_change", channel=channel, program=program, time=0))
    timed = []
    for start, length, note, velocity, vibrato in events:
        on = int(round(start * TICKS))
        off = int(round((start + length) * TICKS)) - 1  # a tick before a following note
        timed.append((on, 1, mido.Message("note_on", channel=channel, note=note, velocity=velocity)))
        timed.append((off, 0, mido.Message("note_off", channel=channel, note=note, velocity=0)))
        if vibrato and bend_vibrato:
            # Vibrato of 5.5 Hz, +-30 cents, after a delay of 150 ms; the bend
            # range is the General MIDI default of two semitones.
            seconds_per_tick = 60.0 / tempo / TICKS
            depth = 30.0 * 8192.0 / 200.0
            t = on + int(0.15 / seconds_per_tick)
            while t < off - 10:
                phase = 2 * math.pi * 5.5 * (t - on) * seconds_per_tick
                value = int(round(depth * math.sin(phase)))
                timed.append((t, 2, mido.Message("pitchwheel", channel=channel, pitch=value)))
                t += 10
            timed.append((off, 0, mido.Message("pitchwheel", channel=channel, pitch=0)))
    timed.sort(key=lambda e: (e[0], e[1]))
    now = 0
    for tick, _, message in timed:
        track.append(message.copy(time=tick - now))
        now = tick
    track.append(mido.MetaMessage("end_of_track", time=0))


def write_piece(path, tempo, voices):
    """voices: list of (program, events)."""
    midi = mido.MidiFile(type=1, ticks_per_beat=TICKS)
    meta = mido.MidiTrack()
    meta.append(mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(tempo), time=0))
    meta.append(mido.MetaMessage("text", text="written for this project", time=0))
    meta.append(mido.MetaMessage("end_of_track", time=0))
    midi.tracks.append(meta)
    for channel, (program, events) in enumerate(voices):
        track = mido.MidiTrack()
        write_track(track, channel, program, events, tempo, bend_vibrato=len(voices) == 1)
        midi.tracks.append(track)
    midi.save(path)


def single_lines(rng, out, first_number, half_of):
    """One 20-second line per instrument, numbered from first_number; half_of(i) names its half."""
    names = []
    for i, (program, name, lowest, highest, sustained) in enumerate(INSTRUMENTS):
        tempo = rng.choice([72, 84, 96, 108, 120, 132])
        span = highest - lowest
        if span > 30 and rng.random() < 0.5:
            low_part = rng.random() < 0.5
            lo, hi = (lowest, lowest + 24) if low_part else (highest - 24, highest)
        else:
            lo, hi = lowest, highest
        events = melody_events(rng, lo, hi, sustained, 20.0, tempo)
        file = f"{half_of(i)}-mono-{first_number + i:02d}-{name}.mid"
        write_piece(os.path.join(out, file), tempo, [(program, events)])
        names.append(file)
    return names


def main():
    out = os.path.join(HERE, "midi")
    os.makedirs(out, exist_ok=True)
    rng = random.Random(20240608)
    names = []
    # Single lines: every instrument once, alternating between the halves, in
    # two registers where the instrument has room, so that each half spans
    # low to high.
    names += single_lines(rng, out, 0, lambda i: "tune" if i % 2 == 0 else "held")
    # A second round from a seed of its own (so that the first round's files
    # stay as they were), with every instrument in the half it was not in:
    # each instrument is then tuned on with one SoundFont and held out with
    # the other, on different melodies.
    names += single_lines(random.Random(20261210), out, len(INSTRUMENTS),
                          lambda i: "held" if i % 2 == 0 else "tune")
    # Two and three voices: a line over a bass, or a small chorale.
    poly = [
        ("tune", [(73, 60, 84, True), (42, 36, 55, True)]),
        ("held", [(40, 60, 86, True), (70, 36, 55, True)]),
        ("tune", [(0, 60, 84, False), (0, 48, 64, False), (0, 36, 50, False)]),
        ("held", [(68, 62, 84, True), (71, 50, 65, True), (70, 36, 50, True)]),
        ("tune", [(24, 55, 76, False), (33, 36, 50, False)]),
        ("held", [(56, 58, 79, True), (57, 40, 57, True)]),
    ]
    for j, (half, parts) in enumerate(poly):
        tempo = rng.choice([84, 96, 108])
        voices = [(program, melody_events(rng, lo, hi, sustained, 20.0, tempo))
                  for program, lo, hi, sustained in parts]
        file = f"{half}-poly{len(parts)}-{j:02d}.mid"
        write_piece(os.path.join(out, file), tempo, voices)
        names.append(file)
    print("\n".join(names))


if __name__ == "__main__":
    sys.exit(main())
