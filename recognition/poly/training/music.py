"""Music made from rules and random draws, for training the polyphonic recognizer.

A piece is a list of parts. Each part is one instrument on one MIDI channel
with its notes (seconds, MIDI note, velocity) and a pitch-bend curve in cents.
Every time is a whole number of MIDI ticks (the file runs at 120 BPM with 480
ticks per beat, so a tick is 1/960 s and the musical tempo lives in the note
times): the labels, the MIDI file and our own synthesizers see the same times.

Labels are the notes of the labelled parts: onset = note-on, offset =
note-off. Drum parts (channel 10) are never labelled. No sustain pedal is
used, so a note sounds exactly as long as it is held (plus its release).
Pitch bends keep the label's note: vibrato and slow bends stay within
+-50 cents; larger movements are only short glides at the start of a note
(a scoop from up to 2 semitones below, or a slide from the previous note of a
legato line, at most 60 ms), which end on the labelled pitch.

Everything is drawn from one random.Random, so a seed gives the same piece.
"""

import math
from dataclasses import dataclass, field

import mido

TICKS_PER_BEAT = 480
FILE_TEMPO = 500000  # microseconds per beat in the file: 960 ticks per second
TICKS_PER_SECOND = TICKS_PER_BEAT * 1000000 // FILE_TEMPO
DRUM_CHANNEL = 9
BEND_RANGE_SEMITONES = 2

LOWEST_NOTE = 21
HIGHEST_NOTE = 108


def quantise(seconds):
    """The time on the MIDI tick grid."""
    return round(seconds * TICKS_PER_SECOND) / TICKS_PER_SECOND


@dataclass
class Note:
    onset: float   # seconds, note-on
    offset: float  # seconds, note-off
    pitch: int     # MIDI note
    velocity: int  # 1..127


@dataclass
class Part:
    program: int              # General MIDI program 0..127 (for drums: the kit, 0)
    role: str                 # melody, chords, arpeggio, strum, bass, voice, pad, random, drums
    notes: list = field(default_factory=list)
    bends: list = field(default_factory=list)  # (seconds, cents), a step curve, starts at 0
    channel: int = 0
    volume: int = 100         # CC 7
    pan: int = 64             # CC 10
    drum: bool = False
    instrument: str = ""      # name of the instrument (GM name or a synthesizer voice)


@dataclass
class Piece:
    parts: list
    seconds: float            # the end of the music (last note-off)
    params: dict              # what was drawn, for the manifest

    def labels(self):
        """(onset, offset, note, velocity) of every labelled note, sorted."""
        rows = [(n.onset, n.offset, n.pitch, n.velocity)
                for p in self.parts if not p.drum for n in p.notes]
        rows.sort()
        return rows


# ---------------------------------------------------------------------------
# Instruments

@dataclass(frozen=True)
class Instrument:
    program: int
    name: str
    low: int
    high: int
    sustained: bool       # holds its level (winds, bowed, organ) rather than decaying
    chords: bool          # plays several notes at once (keyboards, guitars, ensembles)
    bass: bool = False


def _gm(program, name, low, high, sustained, chords, bass=False):
    return Instrument(program, name, low, high, sustained, chords, bass)


# The General MIDI programs we use, with a plausible register each. Left out:
# guitar harmonics (sounds an octave and more above its key), orchestra hit
# and fifths lead (a chord per key), goblins (a sound effect that is silent or
# an octave off at the ends of its range), tubular bells (their strongest partials
# lie an octave or two above the key, so the heard pitch is ambiguous),
# bagpipe (drones), the unpitched percussive and sound-effect programs 113 and
# 115-127. Sources may leave out more (see sources/fluidsynth.py). The ranges
# of the organs and accordions stop where some SoundFont turns to the octave
# above or below (labelcheck.py programs).
GM_INSTRUMENTS = [
    _gm(0, "acoustic grand piano", 21, 108, False, True),
    _gm(1, "bright acoustic piano", 21, 108, False, True),
    _gm(2, "electric grand piano", 28, 103, False, True),
    _gm(3, "honky-tonk piano", 28, 103, False, True),
    _gm(4, "electric piano 1", 28, 103, False, True),
    _gm(5, "electric piano 2", 28, 103, False, True),
    _gm(6, "harpsichord", 29, 89, False, True),
    _gm(7, "clavinet", 29, 89, False, True),
    _gm(8, "celesta", 60, 108, False, True),
    _gm(9, "glockenspiel", 77, 108, False, True),
    _gm(10, "music box", 60, 100, False, True),
    _gm(11, "vibraphone", 53, 89, False, True),
    _gm(12, "marimba", 45, 96, False, True),
    _gm(13, "xylophone", 65, 108, False, False),
    _gm(15, "dulcimer", 48, 84, False, True),
    _gm(16, "drawbar organ", 36, 96, True, True),
    _gm(17, "percussive organ", 36, 96, True, True),
    _gm(18, "rock organ", 36, 84, True, True),
    _gm(19, "church organ", 28, 91, True, True),
    _gm(20, "reed organ", 36, 96, True, True),
    _gm(21, "accordion", 41, 81, True, True),
    _gm(22, "harmonica", 60, 84, True, False),
    _gm(23, "tango accordion", 41, 81, True, True),
    _gm(24, "nylon guitar", 40, 83, False, True),
    _gm(25, "steel guitar", 40, 83, False, True),
    _gm(26, "jazz guitar", 40, 86, False, True),
    _gm(27, "clean electric guitar", 40, 86, False, True),
    _gm(28, "muted electric guitar", 40, 76, False, True),
    _gm(29, "overdriven guitar", 40, 86, True, False),
    _gm(30, "distortion guitar", 40, 86, True, False),
    _gm(32, "acoustic bass", 28, 60, False, False, True),
    _gm(33, "finger bass", 28, 65, False, False, True),
    _gm(34, "picked bass", 28, 65, False, False, True),
    _gm(35, "fretless bass", 28, 65, False, False, True),
    _gm(36, "slap bass 1", 28, 65, False, False, True),
    _gm(37, "slap bass 2", 28, 65, False, False, True),
    _gm(38, "synth bass 1", 24, 65, False, False, True),
    _gm(39, "synth bass 2", 24, 65, False, False, True),
    _gm(40, "violin", 55, 100, True, False),
    _gm(41, "viola", 48, 88, True, False),
    _gm(42, "cello", 36, 76, True, False, True),
    _gm(43, "contrabass", 28, 60, True, False, True),
    _gm(44, "tremolo strings", 36, 96, True, True),
    _gm(45, "pizzicato strings", 28, 96, False, True),
    _gm(46, "orchestral harp", 24, 103, False, True),
    _gm(47, "timpani", 40, 55, False, False, True),
    _gm(48, "string ensemble 1", 33, 96, True, True),
    _gm(49, "string ensemble 2", 28, 96, True, True),
    _gm(50, "synth strings 1", 36, 96, True, True),
    _gm(51, "synth strings 2", 36, 96, True, True),
    _gm(52, "choir aahs", 48, 79, True, True),
    _gm(53, "voice oohs", 48, 79, True, True),
    _gm(54, "synth voice", 48, 84, True, True),
    _gm(56, "trumpet", 54, 84, True, False),
    _gm(57, "trombone", 40, 72, True, False),
    _gm(58, "tuba", 28, 58, True, False, True),
    _gm(59, "muted trumpet", 54, 82, True, False),
    _gm(60, "french horn", 34, 77, True, False),
    _gm(61, "brass section", 36, 84, True, True),
    _gm(62, "synth brass 1", 36, 84, True, True),
    _gm(63, "synth brass 2", 36, 84, True, True),
    _gm(64, "soprano sax", 56, 88, True, False),
    _gm(65, "alto sax", 49, 81, True, False),
    _gm(66, "tenor sax", 44, 76, True, False),
    _gm(67, "baritone sax", 36, 69, True, False),
    _gm(68, "oboe", 58, 91, True, False),
    _gm(69, "english horn", 52, 81, True, False),
    _gm(70, "bassoon", 34, 72, True, False, True),
    _gm(71, "clarinet", 50, 91, True, False),
    _gm(72, "piccolo", 74, 108, True, False),
    _gm(73, "flute", 60, 96, True, False),
    _gm(74, "recorder", 60, 96, True, False),
    _gm(75, "pan flute", 60, 96, True, False),
    _gm(76, "blown bottle", 60, 84, True, False),
    _gm(77, "shakuhachi", 55, 84, True, False),
    _gm(78, "whistle", 60, 91, True, False),
    _gm(79, "ocarina", 60, 84, True, False),
    _gm(80, "square lead", 36, 96, True, False),
    _gm(81, "sawtooth lead", 36, 96, True, False),
    _gm(82, "calliope lead", 48, 96, True, False),
    _gm(83, "chiff lead", 48, 96, True, False),
    _gm(84, "charang lead", 40, 88, True, False),
    _gm(85, "voice lead", 48, 84, True, False),
    _gm(87, "bass and lead", 28, 72, True, False, True),
    _gm(88, "new age pad", 36, 96, True, True),
    _gm(89, "warm pad", 36, 96, True, True),
    _gm(90, "polysynth pad", 36, 96, True, True),
    _gm(91, "choir pad", 40, 88, True, True),
    _gm(92, "bowed pad", 36, 96, True, True),
    _gm(93, "metallic pad", 36, 96, True, True),
    _gm(94, "halo pad", 36, 96, True, True),
    _gm(95, "sweep pad", 36, 96, True, True),
    _gm(96, "rain", 48, 96, False, True),
    _gm(97, "soundtrack", 36, 96, True, True),
    _gm(98, "crystal", 48, 100, False, True),
    _gm(99, "atmosphere", 36, 96, False, True),
    _gm(100, "brightness", 36, 96, True, True),
    _gm(102, "echoes", 36, 96, True, True),
    _gm(103, "sci-fi", 36, 96, True, True),
    _gm(104, "sitar", 48, 79, False, False),
    _gm(105, "banjo", 48, 84, False, True),
    _gm(106, "shamisen", 50, 79, False, False),
    _gm(107, "koto", 55, 91, False, True),
    _gm(108, "kalimba", 60, 89, False, True),
    _gm(110, "fiddle", 55, 96, True, False),
    _gm(111, "shanai", 60, 84, True, False),
    _gm(112, "tinkle bell", 72, 108, False, False),
    _gm(114, "steel drums", 52, 88, False, True),
]

GM_BY_PROGRAM = {i.program: i for i in GM_INSTRUMENTS}

# The General MIDI families (program // 8), for summaries.
FAMILIES = ["piano", "chromatic percussion", "organ", "guitar", "bass", "strings",
            "ensemble", "brass", "reed", "pipe", "synth lead", "synth pad",
            "synth effects", "ethnic", "percussive", "sound effects"]


def family(program):
    return FAMILIES[program // 8]


# Drum-kit notes by use (General MIDI percussion map).
KICKS = [35, 36]
SNARES = [38, 40, 37]
HATS = [42, 44, 46]
CYMBALS = [49, 51, 52, 55, 57, 59]
TOMS = [41, 43, 45, 47, 48, 50]
HAND = [60, 61, 62, 63, 64, 54, 56, 69, 70, 75, 76, 77]


# ---------------------------------------------------------------------------
# Harmony

MODES = {
    "major": [0, 2, 4, 5, 7, 9, 11],
    "minor": [0, 2, 3, 5, 7, 8, 11],   # harmonic minor: a leading tone for V
    "dorian": [0, 2, 3, 5, 7, 9, 10],
    "mixolydian": [0, 2, 4, 5, 7, 9, 10],
}

# Likely next degree (0-based) after each degree.
PROGRESSIONS = {
    0: [3, 4, 5, 1, 2],
    1: [4, 6, 3],
    2: [5, 3, 0],
    3: [4, 0, 1, 6],
    4: [0, 5, 3],
    5: [1, 3, 4],
    6: [0, 2],
}


class Harmony:
    """A key and a chord per bar (or half bar)."""

    def __init__(self, rng, bars, beats_per_bar):
        self.tonic = rng.randrange(12)
        self.mode_name = rng.choices(list(MODES), weights=[5, 4, 1, 1])[0]
        self.mode = MODES[self.mode_name]
        self.beats_per_bar = beats_per_bar
        self.chord_beats = beats_per_bar if rng.random() < 0.6 else beats_per_bar / 2
        self.sevenths = rng.random() < 0.35
        count = int(math.ceil(bars * beats_per_bar / self.chord_beats)) + 1
        degree = 0
        self.degrees = []
        for _ in range(count):
            self.degrees.append(degree)
            degree = rng.choice(PROGRESSIONS[degree])

    def in_scale(self, pitch):
        return (pitch - self.tonic) % 12 in self.mode

    def scale(self, low, high):
        return [p for p in range(low, high + 1) if self.in_scale(p)]

    def chord_classes(self, beat):
        """Pitch classes of the chord sounding at the beat (root first)."""
        degree = self.degrees[min(int(beat // self.chord_beats), len(self.degrees) - 1)]
        steps = [0, 2, 4, 6] if self.sevenths else [0, 2, 4]
        return [(self.tonic + self.mode[(degree + s) % 7]) % 12 for s in steps]

    def chord_tones(self, beat, low, high):
        classes = self.chord_classes(beat)
        return [p for p in range(low, high + 1) if p % 12 in classes]

    def root(self, beat):
        return self.chord_classes(beat)[0]


# ---------------------------------------------------------------------------
# Rhythm, time, dynamics

RHYTHMS = {
    # cells of note lengths in beats
    "slow": [[4], [2, 2], [3, 1], [2, 1, 1], [1.5, 0.5, 2]],
    "medium": [[1, 1], [1.5, 0.5], [0.5, 0.5, 1], [1, 0.5, 0.5], [2], [0.75, 0.25, 1]],
    "fast": [[0.5, 0.5], [0.25, 0.25, 0.5], [0.25] * 4, [1 / 3] * 3, [0.75, 0.25], [0.5, 0.25, 0.25]],
}


class Clock:
    """Beats to seconds, with an optional slow tempo drift (rubato)."""

    def __init__(self, rng, tempo, start):
        self.tempo = tempo
        self.start = start
        self.rubato = rng.choice([0.0, 0.0, 0.02, 0.05])
        self.rate = rng.uniform(0.05, 0.25)   # drift cycles per beat
        self.phase = rng.uniform(0, 2 * math.pi)

    def seconds(self, beat):
        # The integral of 60/tempo * (1 + r sin(2 pi f b + phase)) over beats.
        base = beat * 60.0 / self.tempo
        if self.rubato == 0.0:
            return self.start + base
        w = 2 * math.pi * self.rate
        drift = self.rubato * (math.cos(self.phase) - math.cos(w * beat + self.phase)) / w
        return self.start + base + drift * 60.0 / self.tempo


class Dynamics:
    """A velocity curve over the piece: a level moving between random points, accents, jitter."""

    def __init__(self, rng, total_beats, beats_per_bar):
        lo = rng.choice([15, 30, 45, 60, 75])
        hi = min(127, lo + rng.choice([10, 25, 40, 60]))
        points = max(2, int(total_beats // rng.choice([4, 8, 16])) + 2)
        self.step = total_beats / (points - 1)
        self.levels = [rng.uniform(lo, hi) for _ in range(points)]
        self.accent = rng.choice([0, 4, 8, 14])
        self.jitter = rng.choice([0, 3, 6, 10])
        self.beats_per_bar = beats_per_bar

    def velocity(self, rng, beat):
        i = min(int(beat / self.step), len(self.levels) - 2)
        f = min(max(beat / self.step - i, 0.0), 1.0)
        v = self.levels[i] * (1 - f) + self.levels[i + 1] * f
        if abs(beat % self.beats_per_bar) < 1e-6:
            v += self.accent
        elif abs(beat % 1.0) < 1e-6:
            v += self.accent / 2
        v += rng.uniform(-self.jitter, self.jitter)
        return int(min(127, max(1, round(v))))


ARTICULATIONS = {"legato": (0.95, 1.02), "normal": (0.7, 0.92), "staccato": (0.2, 0.5)}


@dataclass
class Style:
    """What is shared by the parts of a piece."""
    harmony: Harmony
    clock: Clock
    dynamics: Dynamics
    total_beats: float
    beats_per_bar: int
    timing_jitter: float  # seconds, standard deviation of the onset deviation


def _note(rng, style, beat, beats, pitch, articulation, velocity=None, min_seconds=0.03):
    onset = style.clock.seconds(beat) + rng.gauss(0, style.timing_jitter)
    end = style.clock.seconds(beat + beats)
    lo, hi = ARTICULATIONS[articulation]
    length = (end - style.clock.seconds(beat)) * rng.uniform(lo, hi)
    length = max(length, min_seconds)
    v = velocity if velocity is not None else style.dynamics.velocity(rng, beat)
    return Note(max(0.0, onset), max(0.0, onset) + length, pitch, v)


def _register(rng, instrument, span, extreme):
    """A sub-range of the instrument's range, span semitones wide."""
    low, high = instrument.low, instrument.high
    span = min(span, high - low)
    if extreme:
        start = rng.choice([low, high - span])
    else:
        start = rng.randint(low, high - span)
    return start, start + span


# ---------------------------------------------------------------------------
# Textures: each returns a list of Notes for one part.

def melody(rng, style, low, high, density=None, articulation=None, start_beat=0.0, end_beat=None):
    """A line that moves mostly by step, lands on chord tones on the beat, repeats notes sometimes."""
    h = style.harmony
    scale = h.scale(low, high)
    if len(scale) < 3:
        scale = list(range(low, high + 1))
    density = density or rng.choice(list(RHYTHMS))
    articulation = articulation or rng.choice(list(ARTICULATIONS))
    repeat_chance = rng.choice([0.0, 0.08, 0.2, 0.35])
    leap_chance = rng.choice([0.1, 0.2, 0.35])
    rest_chance = rng.choice([0.0, 0.05, 0.12])
    end_beat = style.total_beats if end_beat is None else end_beat
    index = rng.randrange(len(scale))
    notes = []
    beat = start_beat
    while beat < end_beat:
        cell = rng.choice(RHYTHMS[density])
        for beats in cell:
            if beat >= end_beat:
                break
            beats = min(beats, end_beat - beat)
            if rng.random() < rest_chance:
                beat += beats
                continue
            r = rng.random()
            if notes and r < repeat_chance:
                pass
            elif r < repeat_chance + leap_chance:
                index += rng.choice([-1, 1]) * rng.randint(2, 6)
            else:
                index += rng.choice([-1, 1, -1, 1, -2, 2])
            # Bounce back from the ends of the range.
            if index < 0:
                index = -index
            if index >= len(scale):
                index = 2 * (len(scale) - 1) - index
            index = min(max(index, 0), len(scale) - 1)
            pitch = scale[index]
            if abs(beat % 1.0) < 1e-6 and rng.random() < 0.6:
                tones = [p for p in h.chord_tones(beat, low, high)]
                if tones:
                    pitch = min(tones, key=lambda p: abs(p - pitch))
                    index = min(range(len(scale)), key=lambda i: abs(scale[i] - pitch))
            notes.append(_note(rng, style, beat, beats, pitch, articulation))
            beat += beats
    return notes


def block_chords(rng, style, low, high, articulation=None):
    """Chords of 2-5 notes, one or several per chord change."""
    h = style.harmony
    articulation = articulation or rng.choice(["legato", "normal", "normal", "staccato"])
    size = rng.choice([2, 3, 3, 4, 4, 5])
    pattern = rng.choice([[h.chord_beats], [1] * int(h.chord_beats), [2] * max(1, int(h.chord_beats // 2)),
                          [1.5, 0.5] * max(1, int(h.chord_beats // 2)), [0.5] * int(2 * h.chord_beats)])
    spread = rng.choice([12, 19, 24])
    notes = []
    beat = 0.0
    while beat < style.total_beats:
        for beats in pattern:
            if beat >= style.total_beats:
                break
            tones = h.chord_tones(beat, low, high)
            if not tones:
                beat += beats
                continue
            bottom = rng.choice(tones[: max(1, len(tones) // 2)])
            pool = [p for p in tones if bottom <= p <= bottom + spread]
            chosen = sorted(set([bottom] + rng.sample(pool, min(len(pool), size - 1))))
            velocity = style.dynamics.velocity(rng, beat)
            for p in chosen:
                n = _note(rng, style, beat, beats, p, articulation,
                          velocity=max(1, min(127, velocity + rng.randint(-6, 6))))
                notes.append(n)
            beat += beats
    return notes


def arpeggio(rng, style, low, high):
    """Chord tones one after another: up, down, up-down or broken (Alberti) figures."""
    h = style.harmony
    step = rng.choice([0.25, 1 / 3, 0.5, 0.5, 1.0])
    shape = rng.choice(["up", "down", "updown", "alberti"])
    hold = rng.random() < 0.4  # let the notes ring until the chord changes
    articulation = rng.choice(["legato", "normal", "staccato"])
    notes = []
    beat = 0.0
    i = 0
    while beat < style.total_beats:
        tones = h.chord_tones(beat, low, min(high, low + 24))
        if not tones:
            beat += step
            continue
        if shape == "up":
            seq = tones
        elif shape == "down":
            seq = tones[::-1]
        elif shape == "updown":
            seq = tones + tones[-2:0:-1]
        else:
            seq = [tones[0], tones[min(2, len(tones) - 1)], tones[min(1, len(tones) - 1)],
                   tones[min(2, len(tones) - 1)]]
        pitch = seq[i % len(seq)]
        if hold:
            change = (math.floor(beat / h.chord_beats) + 1) * h.chord_beats
            beats = min(change, style.total_beats) - beat
            n = _note(rng, style, beat, beats, pitch, "legato")
        else:
            n = _note(rng, style, beat, step, pitch, articulation)
        notes.append(n)
        beat += step
        i += 1
    return notes


def strum(rng, style, low, high):
    """Guitar chords: 4-6 strings struck one after another, down or up strokes."""
    h = style.harmony
    pattern = rng.choice([[1, 1, 1, 1], [1, 0.5, 0.5, 1, 1], [0.5] * 8, [1.5, 1.5, 1], [2, 2]])
    spread_ms = rng.uniform(5, 35)
    articulation = rng.choice(["legato", "normal", "normal", "staccato"])
    notes = []
    beat = 0.0
    down = True
    while beat < style.total_beats:
        for beats in pattern:
            if beat >= style.total_beats:
                break
            tones = h.chord_tones(beat, max(low, 40), min(high, 76))
            if len(tones) < 3:
                beat += beats
                continue
            count = min(len(tones), rng.choice([4, 5, 6]))
            first = rng.randrange(0, max(1, len(tones) - count + 1))
            strings = tones[first:first + count]
            if not down:
                strings = strings[::-1][: max(3, count - 2)]
            velocity = style.dynamics.velocity(rng, beat)
            base = _note(rng, style, beat, beats, strings[0], articulation, velocity=velocity)
            for k, p in enumerate(strings):
                delay = k * spread_ms / 1000.0
                notes.append(Note(base.onset + delay, base.offset, p,
                                  max(1, min(127, velocity - 3 * k + rng.randint(-4, 4)))))
            beat += beats
            down = not down if rng.random() < 0.7 else down
    return notes


def bass_line(rng, style, low, high):
    """Roots and fifths on the beat, sometimes walking between them, or one long note per chord."""
    h = style.harmony
    kind = rng.choice(["roots", "root-fifth", "walking", "sustained", "octaves"])
    articulation = rng.choice(["legato", "normal", "staccato"]) if kind != "sustained" else "legato"
    notes = []
    beat = 0.0
    step = {"roots": rng.choice([1.0, 2.0]), "root-fifth": 1.0, "walking": 1.0,
            "sustained": h.chord_beats, "octaves": 0.5}[kind]
    previous = None
    while beat < style.total_beats:
        root_class = h.root(beat)
        roots = [p for p in range(low, min(high, low + 17) + 1) if p % 12 == root_class]
        if not roots:
            roots = [p for p in range(low, high + 1) if p % 12 == root_class] or [low]
        root = roots[0] if previous is None else min(roots, key=lambda p: abs(p - previous))
        position = (beat % h.chord_beats) / step
        pitch = root
        if kind == "root-fifth" and int(position) % 2 == 1:
            pitch = root + 7 if root + 7 <= high else root - 5
        elif kind == "walking" and position >= 1:
            scale = h.scale(low, high)
            near = [p for p in scale if abs(p - (previous or root)) <= 4 and p != previous]
            pitch = rng.choice(near) if near else root
        elif kind == "octaves" and int(position) % 2 == 1:
            pitch = root + 12 if root + 12 <= high else root
        pitch = min(max(pitch, low), high)
        notes.append(_note(rng, style, beat, step, pitch, articulation))
        previous = pitch
        beat += step
    return notes


def random_notes(rng, style, low, high):
    """Notes at random times and pitches, unrelated to any key: polyphony without musical priors."""
    notes = []
    end = style.clock.seconds(style.total_beats)
    start = style.clock.seconds(0)
    count = int((end - start) * rng.uniform(1.0, 6.0))
    for _ in range(count):
        onset = rng.uniform(start, end - 0.05)
        length = min(math.exp(rng.uniform(math.log(0.04), math.log(2.0))), end - onset)
        notes.append(Note(onset, onset + length, rng.randint(low, high), rng.randint(10, 127)))
    return notes


def drums(rng, style):
    """A drum pattern on channel 10: kick, snare, hats, sometimes fills. Never labelled."""
    notes = []
    kick, snare, hat = rng.choice(KICKS), rng.choice(SNARES), rng.choice(HATS)
    sub = rng.choice([0.5, 0.25])
    beat = 0.0
    bpb = style.beats_per_bar
    while beat < style.total_beats:
        in_bar = beat % bpb
        t = style.clock.seconds(beat)
        hits = [hat] if rng.random() < 0.9 else []
        if abs(in_bar) < 1e-6 or (abs(in_bar - 2.5) < 1e-6 and rng.random() < 0.5):
            hits.append(kick)
        if bpb >= 4 and (abs(in_bar - 1) < 1e-6 or abs(in_bar - 3) < 1e-6):
            hits.append(snare)
        if abs(in_bar) < 1e-6 and rng.random() < 0.15:
            hits.append(rng.choice(CYMBALS))
        if in_bar >= bpb - 1 and rng.random() < 0.25:
            hits.append(rng.choice(TOMS + HAND))
        for d in hits:
            notes.append(Note(t, t + 0.1, d, rng.randint(40, 120)))
        beat += sub
    return notes


# ---------------------------------------------------------------------------
# Pitch bends

def add_bends(rng, part, instrument, single_line):
    """Vibrato (within +-50 cents) on long notes; scoops and slides on single lines."""
    if not instrument.sustained:
        return
    vibrato = rng.random() < 0.6
    scoops = single_line and rng.random() < 0.35
    if not vibrato and not scoops:
        return
    rate = rng.uniform(4.5, 7.0)
    depth = rng.uniform(8, 45)
    delay = rng.uniform(0.1, 0.4)
    points = [(0.0, 0.0)]
    notes = sorted(part.notes, key=lambda n: n.onset)
    previous = None
    for n in notes:
        t = n.onset
        if scoops and rng.random() < 0.3:
            if previous is not None and 0 < abs(previous.pitch - n.pitch) <= BEND_RANGE_SEMITONES \
                    and n.onset - previous.offset < 0.01:
                start = 100.0 * (previous.pitch - n.pitch)   # slide from the previous note
            else:
                start = -rng.uniform(30, 200)
            glide = rng.uniform(0.02, 0.06)
            steps = max(2, int(glide / 0.005))
            for k in range(steps):
                points.append((t + glide * k / steps, start * (1 - k / steps)))
            points.append((t + glide, 0.0))
        if vibrato and n.offset - n.onset > delay + 0.15:
            u = n.onset + delay
            ramp = 0.2
            while u < n.offset - 0.01:
                gain = min(1.0, (u - n.onset - delay) / ramp)
                points.append((u, depth * gain * math.sin(2 * math.pi * rate * (u - n.onset - delay))))
                u += 0.015
            points.append((n.offset, 0.0))
        previous = n
    points.sort(key=lambda p: p[0])
    # Keep the curve a function of time: one value per tick, the last one written wins.
    merged = {}
    for t, c in points:
        merged[quantise(t)] = c
    part.bends = sorted(merged.items())


# ---------------------------------------------------------------------------
# Pieces

def double_octaves(rng, part, inst):
    """Adds to a line its doubling an octave above or below, as piano left hands, organ pedals and
    orchestral parts play it: the doubled pair has no other note beside it to tell the upper note
    from a partial of the lower one. Returns the shift in semitones, 0 when no note fits."""
    low, high = max(inst.low, LOWEST_NOTE), min(inst.high, HIGHEST_NOTE)
    shifts = [s for s in (-12, 12) if any(low <= n.pitch + s <= high for n in part.notes)]
    if not shifts:
        return 0
    shift = rng.choice(shifts)
    doubled = [Note(n.onset, n.offset, n.pitch + shift, max(1, min(127, n.velocity + rng.randint(-8, 8))))
               for n in part.notes if low <= n.pitch + shift <= high]
    part.notes = sorted(part.notes + doubled, key=lambda n: (n.onset, n.pitch))
    return shift


def _clean(parts, end):
    """Quantise to ticks, clip to the end, keep notes of one pitch from overlapping across parts."""
    for p in parts:
        kept = []
        for n in p.notes:
            n.onset = quantise(n.onset)
            n.offset = min(quantise(n.offset), end)
            if n.offset - n.onset >= 0.03:
                kept.append(n)
        p.notes = kept
    sounding = {}
    for n in sorted((n for p in parts if not p.drum for n in p.notes), key=lambda n: n.onset):
        before = sounding.get(n.pitch)
        if before is not None and n.onset < before.offset + 1.0 / TICKS_PER_SECOND:
            if n.onset - before.onset >= 0.05:
                before.offset = n.onset - 1.0 / TICKS_PER_SECOND  # re-struck: end the first
            else:
                n.offset = n.onset  # marks it for removal
                continue
        sounding[n.pitch] = n
    for p in parts:
        p.notes = sorted((n for n in p.notes if n.offset > n.onset), key=lambda n: (n.onset, n.pitch))


def _pick(rng, instruments, test):
    pool = [i for i in instruments if test(i)]
    return rng.choice(pool or instruments)


def make_piece(rng, instruments=None, single_line=None, with_drums=None, seconds=None):
    """Draws one piece. instruments: the Instruments the sound source can play (default all GM);
    single_line, with_drums: None to draw them, else True or False; seconds: about how long."""
    instruments = instruments or GM_INSTRUMENTS
    seconds = seconds or rng.uniform(8.5, 20.0)
    tempo = round(math.exp(rng.uniform(math.log(50), math.log(200))))
    beats_per_bar = rng.choice([2, 3, 4, 4, 4, 6])
    start = rng.choice([0.0, rng.uniform(0.0, 0.6)])
    tail = rng.uniform(0.3, 1.0)
    total_beats = max(1.0, math.floor((seconds - start - tail) * tempo / 60.0))
    bars = int(math.ceil(total_beats / beats_per_bar))
    clock = Clock(rng, tempo, start)
    style = Style(Harmony(rng, bars, beats_per_bar), clock, Dynamics(rng, total_beats, beats_per_bar),
                  total_beats, beats_per_bar, rng.choice([0.0, 0.003, 0.008, 0.015]))
    extreme = rng.random() < 0.3  # parts at the ends of their instruments' ranges
    if single_line is None:
        single_line = rng.random() < 0.33
    if single_line:
        kind = rng.choices(["melody", "bass", "edge"], weights=[6, 1.5, 1])[0]
        texture = kind
        if kind == "edge":  # the lowest or highest notes there are, which music rarely reaches
            kind = "melody"
            inst, low, high = _edge(rng, instruments)
        else:
            inst = _pick(rng, instruments, (lambda i: i.bass) if kind == "bass" else (lambda i: True))
            low, high = _register(rng, inst, rng.choice([12, 17, 24, 36]), extreme)
        notes = melody(rng, style, low, high) if kind == "melody" else bass_line(rng, style, low, high)
        parts = [Part(inst.program, kind, notes, instrument=inst.name)]
        chosen = [inst]
    else:
        texture = rng.choices(["accompanied", "counterpoint", "piano", "guitar", "organ", "chords", "random",
                               "edge"], weights=[3, 3, 2, 2, 1, 1.5, 1, 1])[0]
        parts, chosen = _texture(rng, style, instruments, texture, extreme)
    doubled = {}
    lines = [i for i, p in enumerate(parts) if p.role in ("melody", "voice", "bass")]
    if not single_line and lines and rng.random() < 0.25:
        i = rng.choice(lines)
        doubled[i] = double_octaves(rng, parts[i], chosen[i])
    for part, inst in zip(parts, chosen):
        if part.role in ("melody", "voice", "bass", "chords", "pad"):
            add_bends(rng, part, inst, single_line or part.role in ("melody", "voice"))
    drummed = rng.random() < 0.15 if with_drums is None else with_drums
    if drummed:
        parts.append(Part(0, "drums", drums(rng, style), drum=True, instrument="drum kit"))
    end = clock.seconds(total_beats)
    # Channels: one per part, skipping the drum channel.
    free = [c for c in range(16) if c != DRUM_CHANNEL]
    for i, p in enumerate(parts):
        p.channel = DRUM_CHANNEL if p.drum else free[i % len(free)]
        p.volume = rng.randint(70, 127)
        p.pan = rng.randint(20, 108)
    _clean(parts, end)
    last = max((n.offset for p in parts for n in p.notes), default=end)
    params = {
        "texture": texture if not single_line else "single:" + texture,
        "single_line": single_line,
        "voices": sum(1 for p in parts if not p.drum),
        "tempo": tempo,
        "beats_per_bar": beats_per_bar,
        "key": style.harmony.tonic,
        "mode": style.harmony.mode_name,
        "rubato": clock.rubato,
        "timing_jitter": style.timing_jitter,
        "drums": drummed,
        "parts": [{"role": p.role, "program": p.program, "instrument": p.instrument,
                   "notes": len(p.notes), "bends": len(p.bends) > 0, "octave_doubling": doubled.get(i, 0),
                   "range": [min((n.pitch for n in p.notes), default=0),
                             max((n.pitch for n in p.notes), default=0)]}
                  for i, p in enumerate(parts)],
    }
    return Piece(parts, quantise(last + tail), params)


def _edge(rng, instruments):
    """An instrument reaching the bottom or top of the note range, and a band there."""
    if rng.random() < 0.5:
        inst = min(instruments, key=lambda i: (i.low, rng.random()))
        return inst, inst.low, inst.low + rng.randint(8, 15)
    inst = max(instruments, key=lambda i: (i.high, rng.random()))
    return inst, inst.high - rng.randint(8, 15), inst.high


def _fit(inst, low, high, width=7):
    """The band low..high moved into the instrument's range, at least width semitones wide."""
    width = min(width, inst.high - inst.low)
    low, high = max(low, inst.low), min(high, inst.high)
    if high - low < width:
        middle = (low + high) // 2
        low = min(max(inst.low, middle - width // 2), inst.high - width)
        high = low + width
    return low, high


def _texture(rng, style, instruments, texture, extreme):
    parts, chosen = [], []

    def add(inst, role, notes):
        parts.append(Part(inst.program, role, notes, instrument=inst.name))
        chosen.append(inst)

    if texture == "accompanied":
        lead = _pick(rng, instruments, lambda i: i.high >= 72)
        low, high = _register(rng, lead, rng.choice([12, 17, 24]), extreme)
        low = max(low, 55) if lead.high >= 67 else low
        low, high = _fit(lead, low, high)
        add(lead, "melody", melody(rng, style, low, high))
        acc = _pick(rng, instruments, lambda i: i.chords)
        alow, ahigh = _register(rng, acc, 24, False)
        kind = rng.choice(["chords", "arpeggio", "strum" if 24 <= acc.program <= 31 else "arpeggio"])
        notes = {"chords": block_chords, "arpeggio": arpeggio, "strum": strum}[kind](rng, style, alow, ahigh)
        add(acc, kind, notes)
        if rng.random() < 0.6:
            bass = _pick(rng, instruments, lambda i: i.bass)
            blow, bhigh = _register(rng, bass, 19, extreme)
            add(bass, "bass", bass_line(rng, style, blow, bhigh))
    elif texture == "counterpoint":
        voices = rng.choice([2, 2, 3, 3, 4])
        same = rng.random() < 0.4
        first = _pick(rng, instruments, lambda i: i.high - i.low >= 24)
        top = min(first.high, rng.randint(72, 96))
        width = rng.choice([10, 12, 15])
        high = top
        for v in range(voices):
            if v:
                high -= rng.randint(5, 12)
            band = (high - width, high)
            inst = first if same else _pick(rng, instruments,
                                            lambda i, b=band: i.low <= b[0] and b[1] <= i.high)
            # Slide the band into the instrument's range where it does not fit.
            low, high = _fit(inst, high - width, high, width)
            density = rng.choice(list(RHYTHMS))
            add(inst, "voice", melody(rng, style, low, high, density=density))
    elif texture == "piano":
        inst = _pick(rng, instruments, lambda i: i.chords and not i.sustained)
        split = min(max(rng.randint(52, 64), inst.low + 10), inst.high - 10)
        rlow, rhigh = split, split + rng.choice([19, 24, 31])
        llow, lhigh = split - rng.choice([19, 24, 31]), split - 1
        if extreme:
            rhigh, llow = inst.high, inst.low
        rlow, rhigh = _fit(inst, rlow, rhigh)
        llow, lhigh = _fit(inst, llow, lhigh)
        right = rng.choice(["melody", "chords", "melody"])
        left = rng.choice(["arpeggio", "chords", "bass", "alberti"])
        add(inst, right, melody(rng, style, rlow, rhigh) if right == "melody"
            else block_chords(rng, style, rlow, rhigh))
        if left == "bass":
            add(inst, "bass", bass_line(rng, style, llow, lhigh))
        elif left == "chords":
            add(inst, "chords", block_chords(rng, style, llow, lhigh))
        else:
            add(inst, "arpeggio", arpeggio(rng, style, llow, lhigh))
    elif texture == "guitar":
        inst = _pick(rng, instruments, lambda i: 24 <= i.program <= 28 or i.program in (46, 105, 107))
        if rng.random() < 0.5:
            add(inst, "strum", strum(rng, style, inst.low, inst.high))
        else:
            add(inst, "arpeggio", arpeggio(rng, style, *_fit(inst, 40, 76)))
        if rng.random() < 0.5:
            add(inst, "bass", bass_line(rng, style, *_fit(inst, 40, 52)))
        if rng.random() < 0.4:
            lead = _pick(rng, instruments, lambda i: not i.chords and i.high >= 76)
            add(lead, "melody", melody(rng, style, *_fit(lead, 60, 86)))
    elif texture == "organ":
        # Held chords in the manuals, a pedal bass and often a line on top, on one organ.
        inst = _pick(rng, instruments, lambda i: 16 <= i.program <= 23 and i.chords)
        add(inst, "chords", block_chords(rng, style, *_fit(inst, 50, 74), articulation="legato"))
        add(inst, "bass", bass_line(rng, style, *_fit(inst, inst.low, min(inst.low + 17, 48))))
        if rng.random() < 0.6:
            add(inst, "melody", melody(rng, style, *_fit(inst, 67, 88)))
    elif texture == "chords":
        inst = _pick(rng, instruments, lambda i: i.chords)
        low, high = _register(rng, inst, rng.choice([19, 24, 31]), extreme)
        add(inst, "pad" if inst.sustained else "chords", block_chords(rng, style, low, high))
        if rng.random() < 0.5:
            bass = _pick(rng, instruments, lambda i: i.bass)
            add(bass, "bass", bass_line(rng, style, bass.low, min(bass.high, bass.low + 19)))
    elif texture == "edge":
        inst, low, high = _edge(rng, instruments)
        kind = rng.choice(["chords", "arpeggio", "melody"])
        add(inst, kind, {"chords": block_chords, "arpeggio": arpeggio, "melody": melody}[kind](rng, style, low, high))
        if rng.random() < 0.5:
            other = _pick(rng, instruments, lambda i: True)
            add(other, "melody", melody(rng, style, *_register(rng, other, 12, False)))
    else:  # random
        for _ in range(rng.choice([1, 2, 3])):
            inst = _pick(rng, instruments, lambda i: True)
            low, high = _register(rng, inst, rng.choice([12, 24, 36, 48, 88]), extreme)
            add(inst, "random", random_notes(rng, style, low, high))
    return parts, chosen


# ---------------------------------------------------------------------------
# MIDI

def to_midi(piece, tail=1.0):
    """A type-1 Standard MIDI File of the piece, one track per part, ending tail seconds after the music."""
    mid = mido.MidiFile(type=1, ticks_per_beat=TICKS_PER_BEAT)
    meta = mido.MidiTrack()
    meta.append(mido.MetaMessage("set_tempo", tempo=FILE_TEMPO, time=0))
    end_tick = round((piece.seconds + tail) * TICKS_PER_SECOND)
    meta.append(mido.MetaMessage("end_of_track", time=end_tick))
    mid.tracks.append(meta)
    for part in piece.parts:
        ch = part.channel
        events = []  # (tick, order, message): note-offs before note-ons on the same tick
        events.append((0, 0, mido.Message("control_change", channel=ch, control=121, value=0)))
        if not part.drum:
            events.append((0, 1, mido.Message("program_change", channel=ch, program=part.program)))
            for control, value in ((101, 0), (100, 0), (6, BEND_RANGE_SEMITONES), (38, 0), (101, 127), (100, 127)):
                events.append((0, 2, mido.Message("control_change", channel=ch, control=control, value=value)))
        events.append((0, 3, mido.Message("control_change", channel=ch, control=7, value=part.volume)))
        events.append((0, 3, mido.Message("control_change", channel=ch, control=10, value=part.pan)))
        for t, cents in part.bends:
            value = int(round(cents / (100.0 * BEND_RANGE_SEMITONES) * 8192))
            value = max(-8192, min(8191, value))
            events.append((round(t * TICKS_PER_SECOND), 4, mido.Message("pitchwheel", channel=ch, pitch=value)))
        for n in part.notes:
            events.append((round(n.onset * TICKS_PER_SECOND), 6,
                           mido.Message("note_on", channel=ch, note=n.pitch, velocity=n.velocity)))
            events.append((round(n.offset * TICKS_PER_SECOND), 5,
                           mido.Message("note_off", channel=ch, note=n.pitch, velocity=0)))
        events.sort(key=lambda e: (e[0], e[1]))
        track = mido.MidiTrack()
        now = 0
        for tick, _, message in events:
            track.append(message.copy(time=tick - now))
            now = tick
        track.append(mido.MetaMessage("end_of_track", time=max(0, end_tick - now)))
        mid.tracks.append(track)
    return mid
