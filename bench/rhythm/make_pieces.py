#!/usr/bin/python3
"""Writes the rhythm benchmark's pieces: MIDI files with known beats and
voice-like lines synthesised here, each with its truth in a JSON file.

    bench/rhythm/make_pieces.py OUT_FOLDER [--set tune|held]

Everything comes from fixed seeds, so a set is the same on every run. The
"tune" set is the one the beat tracker was tuned on (rendered with TimGM6mb);
the "held" set has other seeds and is rendered with FluidR3 GM, never tuned on.

Kinds of piece (name prefix):
  band-   drums, bass, chords and a melody
  piano-  a piano alone: bass, chords and a melody
  solo-   one melodic instrument alone (the melody tracker's material)
  change- a band or a piano whose tempo steps or slows down part of the way
  voice-  a sung-like line synthesised here (no soundfont): a harmonic voice
          with formants, slow pitch drift, scoops into the notes and 5-7 Hz
          vibrato, written to a WAV file with its true pitch every 10 ms
Every note of every piece lies on the 1/16 grid of its beat (1/8 triplets'
grid in 6/8 is the same 1/16 of a dotted quarter, which is an eighth's third).

The truth of a piece: the beat times (every counted beat from the first
downbeat to the last note's start), the downbeats, the meter, the counted
beats per minute (one value, or the tempo of each segment for the change-
pieces), the notes (start, end, MIDI number) of the melody line, and for the
voices the pitch every 10 ms.
"""

import json
import math
import os
import random
import sys
import wave

import mido

TICKS = 480
RATE = 44100

METERS = {"4/4": (4, 4), "3/4": (3, 4), "2/4": (2, 4), "6/8": (6, 8)}
MAJOR = [0, 2, 4, 5, 7, 9, 11]
MINOR = [0, 2, 3, 5, 7, 8, 10]
SOLO = [(73, "flute", 62, 88), (40, "violin", 57, 86), (71, "clarinet", 52, 80),
        (65, "alto-sax", 51, 76), (56, "trumpet", 57, 77), (68, "oboe", 60, 84),
        (0, "piano", 55, 84), (24, "guitar", 48, 74), (11, "vibraphone", 55, 84),
        (42, "cello", 40, 64), (66, "tenor-sax", 46, 70), (21, "accordion", 53, 79)]
CHORDS = [(19, "organ"), (4, "e-piano"), (25, "steel-guitar"), (48, "strings"), (0, "piano"), (16, "drawbar")]
BASSES = [33, 34, 32, 35, 38]


def beat_ticks(meter):
    """Ticks per counted beat: a quarter, or a dotted quarter in 6/8."""
    return TICKS * 3 // 2 if meter == "6/8" else TICKS


def beats_per_bar(meter):
    return 2 if meter == "6/8" else METERS[meter][0]


def sub_steps(meter):
    """Grid steps per counted beat: four sixteenths, or three eighths in 6/8."""
    return 3 if meter == "6/8" else 4


def beat_rhythms(rng, meter, tempo):
    """Onset patterns within one beat, in grid steps (a start and a length)."""
    if meter == "6/8":
        options = [[(0, 3)], [(0, 2), (2, 1)], [(0, 1), (1, 1), (2, 1)], [(0, 1), (1, 2)]]
    else:
        options = [[(0, 4)], [(0, 2), (2, 2)], [(0, 3), (3, 1)], [(0, 1), (1, 1), (2, 2)]]
        if tempo < 90:
            options.append([(0, 1), (1, 1), (2, 1), (3, 1)])
        if tempo > 140:
            options = options[:2] + [[(0, 8)]]
    return options


class Piece:
    """Collects the notes of the tracks of a piece on a grid of TICKS per quarter."""

    def __init__(self, meter, tempos, lead_ticks):
        self.meter = meter
        self.tempos = tempos  # [(tick, counted beats per minute)]
        self.lead = lead_ticks
        self.tracks = {}  # channel -> (program, [(start, end, note, velocity)])

    def add(self, channel, program, start, end, note, velocity):
        self.tracks.setdefault(channel, (program, []))[1].append((start, end, note, velocity))

    def quarter_tempo(self, bpm):
        return bpm * (1.5 if self.meter == "6/8" else 1.0)

    def seconds(self, tick):
        """Seconds at a tick through the tempo map."""
        now = 0.0
        last_tick, last_bpm = 0, self.tempos[0][1]
        for t, bpm in self.tempos[1:]:
            if t >= tick:
                break
            now += (t - last_tick) / TICKS * 60.0 / self.quarter_tempo(last_bpm)
            last_tick, last_bpm = t, bpm
        return now + (tick - last_tick) / TICKS * 60.0 / self.quarter_tempo(last_bpm)

    def write(self, path):
        midi = mido.MidiFile(ticks_per_beat=TICKS)
        conductor = mido.MidiTrack()
        num, den = METERS[self.meter]
        conductor.append(mido.MetaMessage("time_signature", numerator=num, denominator=den,
                                          clocks_per_click=36 if self.meter == "6/8" else 24, time=0))
        now = 0
        for tick, bpm in self.tempos:
            conductor.append(mido.MetaMessage("set_tempo", tempo=int(round(60e6 / self.quarter_tempo(bpm))),
                                              time=tick - now))
            now = tick
        midi.tracks.append(conductor)
        for channel, (program, notes) in sorted(self.tracks.items()):
            track = mido.MidiTrack()
            if channel != 9:
                track.append(mido.Message("program_change", channel=channel, program=program, time=0))
            events = []
            for start, end, note, velocity in notes:
                events.append((start + self.lead, 1, note, velocity))
                events.append((end + self.lead, 0, note, 0))
            events.sort()
            now = 0
            for tick, on, note, velocity in events:
                track.append(mido.Message("note_on" if on else "note_off", channel=channel, note=note,
                                          velocity=velocity, time=tick - now))
                now = tick
            midi.tracks.append(track)
        midi.save(path)


def melody_line(rng, piece, bars, low, high, channel, program, start_bar=0, rest_share=0.12, loud=84):
    """A stepwise melody with the beat's rhythm patterns and accents on downbeats."""
    scale = rng.choice([MAJOR, MINOR])
    root = rng.randrange(low, low + 12)
    pitches = [root + 12 * o + s for o in range(-1, 4) for s in scale if low <= root + 12 * o + s <= high]
    at = rng.randrange(len(pitches) // 4, 3 * len(pitches) // 4)
    bt, per_bar, steps = beat_ticks(piece.meter), beats_per_bar(piece.meter), sub_steps(piece.meter)
    step = bt // steps
    rhythms = beat_rhythms(rng, piece.meter, piece.tempos[0][1])
    line = []
    beat = 0
    while beat < bars * per_bar:
        pattern = rng.choice(rhythms)
        span = max(1, max(s + n for s, n in pattern) // steps)
        for s, n in pattern:
            if rng.random() < rest_share and beat % per_bar != 0:
                continue
            at = min(len(pitches) - 1, max(0, at + rng.choice([-2, -1, -1, 0, 1, 1, 2])))
            start = (start_bar * per_bar + beat) * bt + s * step
            end = start + n * step - (step // 4 if rng.random() < 0.3 else 0)
            accent = 14 if (beat % per_bar == 0 and s == 0) else (6 if s == 0 else 0)
            velocity = max(30, min(120, loud + accent + rng.randint(-6, 6)))
            piece.add(channel, program, start, end, pitches[at], velocity)
            line.append((start, end, pitches[at]))
        beat += span
    return line


def accompaniment(rng, piece, bars, drums, chord_program, bass_program, same_program=None):
    per_bar, bt = beats_per_bar(piece.meter), beat_ticks(piece.meter)
    key = rng.randrange(0, 12)
    progression = rng.choice([[0, 5, 7, 0], [0, 9, 5, 7], [0, 7, 9, 5], [0, 3, 5, 7]])
    chord_channel, bass_channel = (1, 2) if same_program is None else (1, 1)
    cp = chord_program if same_program is None else same_program
    bp = bass_program if same_program is None else same_program
    for bar in range(bars):
        root = 36 + key + progression[bar % len(progression)]
        if root > 47:
            root -= 12
        start = bar * per_bar * bt
        third = 3 if progression[bar % len(progression)] in (9,) else 4
        chord = [root + 24, root + 24 + third, root + 31]
        # The bass: the root on the downbeat, the fifth on the middle of the bar.
        piece.add(bass_channel, bp, start, start + bt - 20, root, 100)
        if per_bar >= 3:
            piece.add(bass_channel, bp, start + (per_bar // 2) * bt if per_bar == 4 else start + 2 * bt,
                      start + (per_bar // 2) * bt + bt - 20 if per_bar == 4 else start + 3 * bt - 20, root + 7, 80)
        # The chords: off the downbeat (oom-pah) or held over the bar.
        if piece.meter in ("3/4", "2/4") or rng.random() < 0.5:
            for b in range(1, per_bar):
                for n in chord:
                    piece.add(chord_channel, cp, start + b * bt, start + b * bt + bt // 2, n, 58)
            if piece.meter == "6/8":
                for b in range(per_bar):
                    for k in (1, 2):
                        for n in chord:
                            piece.add(chord_channel, cp, start + b * bt + k * bt // 3,
                                      start + b * bt + k * bt // 3 + bt // 4, n, 50)
        else:
            for n in chord:
                piece.add(chord_channel, cp, start, start + per_bar * bt - 10, n, 55)
        if drums:
            for b in range(per_bar):
                t = start + b * bt
                if b == 0:
                    piece.add(9, 0, t, t + 60, 36, 112)
                elif piece.meter == "4/4" and b == 2:
                    piece.add(9, 0, t, t + 60, 36, 96)
                if (piece.meter == "4/4" and b in (1, 3)) or (piece.meter in ("2/4", "6/8") and b == 1):
                    piece.add(9, 0, t, t + 60, 38, 100)
                if piece.meter == "3/4" and b > 0:
                    piece.add(9, 0, t, t + 60, 42, 80)
                subdivisions = 3 if piece.meter == "6/8" else 2
                for k in range(subdivisions):
                    piece.add(9, 0, t + k * bt // subdivisions, t + k * bt // subdivisions + 40, 42,
                              78 if k == 0 else 56)


def truth_of(piece, bars, melody, pickup_beats=0):
    bt, per_bar = beat_ticks(piece.meter), beats_per_bar(piece.meter)
    last_start = max(start for _, notes in piece.tracks.values() for start, _, _, _ in notes)
    beats, downbeats = [], []
    beat = 0
    while beat * bt <= last_start:
        t = piece.seconds(beat * bt + piece.lead)
        if beat >= pickup_beats:
            beats.append(t)
            if (beat - pickup_beats) % per_bar == 0:
                downbeats.append(t)
        beat += 1
    tempos = sorted(set(bpm for _, bpm in piece.tempos))
    return {"meter": piece.meter, "beats": beats, "downbeats": downbeats,
            "bpm": piece.tempos[0][1] if len(piece.tempos) == 1 else None,
            "segments": [bpm for _, bpm in piece.tempos],
            "notes": [[piece.seconds(s + piece.lead), piece.seconds(e + piece.lead), n] for s, e, n in melody],
            "on_grid": True}


def random_tempo(rng, meter):
    if meter == "6/8":
        return round(math.exp(rng.uniform(math.log(44), math.log(100))), 1)
    return round(math.exp(rng.uniform(math.log(50), math.log(200))), 1)


def pick_meter(rng):
    return rng.choice(["4/4", "4/4", "4/4", "4/4", "3/4", "3/4", "3/4", "2/4", "2/4", "6/8", "6/8", "6/8"])


def make_midi_piece(rng, kind, index, out):
    meter = pick_meter(rng) if kind != "change" else rng.choice(["4/4", "4/4", "3/4"])
    tempo = random_tempo(rng, meter)
    bt, per_bar = beat_ticks(meter), beats_per_bar(meter)
    bars = max(8, int(round(24.0 / (per_bar * 60.0 / tempo))))  # about 24 s
    bars = min(bars, 24)
    tempos = [(0, tempo)]
    if kind == "change":
        tempo = round(math.exp(rng.uniform(math.log(70), math.log(140))), 1)
        tempos = [(0, tempo)]
        style = rng.choice(["step", "step", "slowing"])
        at_bar = bars // 2
        if style == "step":
            factor = rng.choice([0.75, 0.8, 1.2, 1.3])
            tempos.append((at_bar * per_bar * bt, round(tempo * factor, 1)))
        else:
            # Slows by a fifth over two bars, a new tempo every beat, then stays.
            for k in range(1, 2 * per_bar + 1):
                tempos.append(((at_bar * per_bar + k) * bt, round(tempo * (1.0 - 0.2 * k / (2 * per_bar)), 1)))
    lead = rng.choice([0, 0, bt // 2, bt, 2 * bt])
    pickup = rng.choice([0, 0, 0, 1]) if kind in ("solo", "piano") else 0
    piece = Piece(meter, [(t + lead if t else 0, b) for t, b in tempos], lead)
    if kind in ("band", "change") and (kind == "band" or rng.random() < 0.5):
        program, name, low, high = rng.choice(SOLO[:6])
        accompaniment(rng, piece, bars, True, rng.choice(CHORDS)[0], rng.choice(BASSES))
        melody = melody_line(rng, piece, bars, low, high, 0, program, loud=78)
        name = "band"
    elif kind in ("piano", "change"):
        accompaniment(rng, piece, bars, False, 0, 0, same_program=0)
        melody = melody_line(rng, piece, bars, 64, 86, 0, 0, loud=80)
        name = "piano"
    else:
        program, name, low, high = SOLO[index % len(SOLO)]
        melody = melody_line(rng, piece, bars, low, high, 0, program, rest_share=0.08)
    if pickup:
        # One beat of upbeat notes before the first bar: everything moves a beat later.
        for channel, (program, notes) in piece.tracks.items():
            piece.tracks[channel] = (program, [(s + bt, e + bt, n, v) for s, e, n, v in notes])
        melody = [(s + bt, e + bt, n) for s, e, n in melody]
        piece.add(0, piece.tracks[0][0], bt // 2, bt - 10, melody[0][2] - 2, 70)
        melody.insert(0, (bt // 2, bt - 10, melody[0][2] - 2))
    stem = f"{kind}-{index:02d}-{name}-{meter.replace('/', '')}-{tempos[0][1]:g}"
    piece.write(os.path.join(out, stem + ".mid"))
    truth = truth_of(piece, bars, melody, pickup_beats=pickup)
    truth["kind"] = kind
    with open(os.path.join(out, stem + ".json"), "w") as f:
        json.dump(truth, f)


# --- voice-like lines -------------------------------------------------------

FORMANTS = {"a": [(730, 90), (1090, 110), (2440, 170)], "o": [(570, 80), (840, 100), (2410, 170)],
            "e": [(530, 80), (1840, 130), (2480, 170)], "u": [(440, 80), (1020, 100), (2240, 170)]}


def voice_line(rng, index, out):
    import numpy as np

    meter = rng.choice(["4/4", "4/4", "3/4"])
    tempo = round(math.exp(rng.uniform(math.log(60), math.log(140))), 1)
    bt, per_bar = beat_ticks(meter), beats_per_bar(meter)
    bars = max(6, int(round(20.0 / (per_bar * 60.0 / tempo))))
    piece = Piece(meter, [(0, tempo)], 0)
    low = rng.choice([48, 55, 60])
    melody = melody_line(rng, piece, bars, low, low + 17, 0, 52, rest_share=0.15)
    # Sung lines are legato: a note closer than 0.12 s to the next one runs
    # into it, and such notes make a phrase sung without a break; phrases end
    # at the rests.
    notes = []
    for start, end, note in melody:
        s, e = piece.seconds(start), piece.seconds(end)
        if notes and s - notes[-1][1] < 0.12:
            notes[-1][1] = s
        notes.append([s, e, note])
    lead = rng.uniform(0.2, 0.8)
    for n in notes:
        n[0] += lead
        n[1] += lead
    duration = notes[-1][1] + 0.6
    frames = int(duration * RATE)
    t = np.arange(frames) / RATE
    f0 = np.zeros(frames)
    amp = np.zeros(frames)
    # Slow drift shared by the whole line: a random walk of a few cents, smoothed.
    walk = np.cumsum(np.array([rng.gauss(0.0, 1.0) for _ in range(int(duration * 20) + 2)]))
    walk = (walk - walk.mean()) * 3.0
    drift = np.interp(t, np.arange(len(walk)) / 20.0, walk)
    depth = rng.uniform(25.0, 55.0)
    rate = rng.uniform(5.0, 7.0)
    level = rng.uniform(0.6, 1.0)
    for i, (start, end, note) in enumerate(notes):
        a, b = int(start * RATE), int(end * RATE)
        local = t[a:b] - start
        joined = i > 0 and abs(notes[i - 1][1] - start) < 1e-9
        followed = i + 1 < len(notes) and abs(notes[i + 1][0] - end) < 1e-9
        if joined:
            # From the note before: a glide, sometimes overshooting from below.
            glide = 100.0 * (notes[i - 1][2] - note) - (rng.uniform(20.0, 80.0) if notes[i - 1][2] < note and rng.random() < 0.5 else 0.0)
            cents = glide * np.exp(-local / (rng.uniform(0.04, 0.09) / 3.0))
        else:
            level = rng.uniform(0.6, 1.0)
            scoop = rng.uniform(60.0, 180.0) if rng.random() < 0.7 else 0.0
            cents = -scoop * np.exp(-local / (rng.uniform(0.05, 0.12) / 3.0))
        onset = rng.uniform(0.15, 0.3)
        vibrato = depth * np.clip((local - onset) / 0.2, 0.0, 1.0) * np.sin(2 * math.pi * rate * local + rng.uniform(0, 6.28))
        f0[a:b] = 440.0 * 2.0 ** ((note - 69 + (cents + vibrato + drift[a:b]) / 100.0) / 12.0)
        # A phrase starts in 40 ms and ends in 80 ms; within it each new
        # syllable dips the voice for a moment, deeper on a repeated pitch.
        rise = np.clip(local / 0.04, 0.0, 1.0)
        if joined:
            floor = 0.15 if notes[i - 1][2] == note else 0.45
            rise = floor + (1.0 - floor) * np.clip(local / 0.025, 0.0, 1.0)
        if followed:
            floor = 0.15 if notes[i + 1][2] == note else 0.45
            fall = floor + (1.0 - floor) * np.clip((end - start - local) / 0.025, 0.0, 1.0)
        else:
            fall = np.clip((end - start - local) / 0.08, 0.0, 1.0)
        amp[a:b] = np.minimum(rise, fall) * level
    phase = np.cumsum(2 * math.pi * np.where(f0 > 0, f0, 0.0) / RATE)
    vowel = FORMANTS[rng.choice(list(FORMANTS))]
    signal = np.zeros(frames)
    for h in range(1, 30):
        fh = h * np.where(f0 > 0, f0, 1.0)
        gain = np.zeros(frames)
        for centre, width in vowel:
            gain += 1.0 / (1.0 + ((fh - centre) / width) ** 2)
        gain = (gain + 0.02) / h ** 0.7
        gain[fh > RATE / 2 - 500] = 0.0
        signal += gain * np.sin(h * phase)
    signal *= amp
    # A little breath.
    signal += 0.01 * np.random.default_rng(index).normal(0.0, 1.0, frames) * amp
    signal /= max(1e-9, np.abs(signal).max()) / 0.7
    stem = f"voice-{index:02d}-{meter.replace('/', '')}-{tempo:g}"
    with wave.open(os.path.join(out, stem + ".wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes((signal * 32767).astype("<i2").tobytes())
    # The true pitch every 10 ms, as a MIDI number (0: unvoiced).
    pitch = []
    for k in range(int(duration * 100)):
        i = int(k * RATE / 100)
        pitch.append(69 + 12 * math.log2(f0[i] / 440.0) if f0[i] > 0 and amp[i] > 0.2 else 0.0)
    last_start = notes[-1][0]
    beats, downbeats = [], []
    k = 0
    while lead + piece.seconds(k * bt) <= last_start + 1e-6:
        beats.append(lead + piece.seconds(k * bt))
        if k % per_bar == 0:
            downbeats.append(beats[-1])
        k += 1
    truth = {"kind": "voice", "meter": meter, "beats": beats, "downbeats": downbeats, "bpm": tempo,
             "segments": [tempo], "notes": notes, "pitch": pitch, "on_grid": True}
    with open(os.path.join(out, stem + ".json"), "w") as f:
        json.dump(truth, f)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    which = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == "--set" else "tune"
    os.makedirs(out, exist_ok=True)
    seed = {"tune": 1400, "held": 2900}[which]
    counts = {"band": 16, "piano": 12, "solo": 14, "change": 10, "voice": 12}
    for kind, count in counts.items():
        for index in range(count):
            rng = random.Random(f"{seed}-{kind}-{index}")
            if kind == "voice":
                voice_line(rng, index + (0 if which == "tune" else 50), out)
            else:
                make_midi_piece(rng, kind, index, out)


if __name__ == "__main__":
    main()
