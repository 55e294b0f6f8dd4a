"""Synthesizers of our own (NumPy), as a sound source for training data.

Four models, each with its parameters drawn per part:
  additive  harmonic partials (optionally inharmonic, f_k = k f sqrt(1 + B k^2)),
            sustained (organ-like) or decaying with faster-dying upper partials
            (piano-, mallet- or bell-like);
  plucked   Karplus-Strong string: a noise burst (pick position, brightness by
            velocity) circulating in a delay line with an averaging loss filter;
  bowed     bowed and blown tones: band-limited sawtooth or pulse waves through
            body resonances and a velocity-dependent low-pass, with breath or
            bow noise, a soft attack and vibrato;
  voice     a formant voice: a glottal buzz through vowel formants that drift
            from one vowel to another, with slow pitch drift and 5-7 Hz vibrato.
Drums (never labelled) are simple noise and swept-sine hits.

Every note follows its part's pitch-bend curve. The models' own vibrato and
drift are limited so that, with the part's bends, the pitch stays within
48 cents of the labelled note after the first 60 ms (where a scoop may be).
Random draws come from the clip's random.Random (parameters) and a NumPy
generator seeded from it (noise), so a clip is reproducible.
"""

import hashlib
import math

import numpy as np
from scipy.signal import lfilter

import music
from audio import RATE, read_at
from sources import file_sha256

NYQUIST_USE = 0.45 * RATE


def _instrument(program, name, low, high, sustained, chords, bass=False):
    return music.Instrument(program, name, low, high, sustained, chords, bass)


# (instrument the music generator sees, model). The program is the nearest General
# MIDI program, for summaries; the name says which of our models plays it.
VOICES = [
    (_instrument(16, "additive organ", 24, 96, True, True), "additive-organ"),
    (_instrument(19, "additive pipe organ", 24, 96, True, True, True), "additive-organ"),
    (_instrument(0, "additive piano", 21, 108, False, True, True), "additive-piano"),
    (_instrument(4, "additive electric piano", 28, 103, False, True), "additive-piano"),
    (_instrument(12, "additive mallet", 45, 96, False, True), "additive-mallet"),
    (_instrument(14, "additive bell", 60, 96, False, False), "additive-bell"),
    (_instrument(24, "plucked guitar", 40, 86, False, True), "plucked"),
    (_instrument(46, "plucked harp", 24, 103, False, True), "plucked"),
    (_instrument(33, "plucked bass", 28, 65, False, False, True), "plucked"),
    (_instrument(105, "plucked banjo", 48, 84, False, True), "plucked"),
    (_instrument(40, "bowed violin", 55, 100, True, False), "bowed-string"),
    (_instrument(42, "bowed cello", 36, 76, True, False, True), "bowed-string"),
    (_instrument(48, "bowed ensemble", 28, 96, True, True, True), "bowed-string"),
    (_instrument(71, "blown clarinet", 50, 91, True, False), "blown-reed"),
    (_instrument(68, "blown oboe", 58, 91, True, False), "blown-reed"),
    (_instrument(70, "blown bassoon", 34, 72, True, False, True), "blown-reed"),
    (_instrument(73, "blown flute", 60, 96, True, False), "blown-flute"),
    (_instrument(72, "blown piccolo", 74, 108, True, False), "blown-flute"),
    (_instrument(56, "blown brass", 40, 84, True, False), "blown-brass"),
    (_instrument(81, "sawtooth lead", 36, 96, True, False), "bowed-string"),
    (_instrument(52, "voice choir", 48, 79, True, True), "voice"),
    (_instrument(85, "voice solo", 45, 84, True, False), "voice"),
]
MODEL_OF = {i.name: m for i, m in VOICES}

VOWELS = {  # formant frequencies (Hz) and bandwidths (Hz), roughly an adult voice
    "a": ([800, 1150, 2900, 3900], [80, 90, 120, 130]),
    "e": ([400, 1600, 2700, 3300], [60, 80, 120, 150]),
    "i": ([300, 2200, 2950, 3500], [50, 90, 100, 130]),
    "o": ([450, 800, 2830, 3500], [70, 80, 100, 130]),
    "u": ([325, 700, 2530, 3500], [50, 60, 170, 180]),
}


def hz(pitch):
    return 440.0 * 2.0 ** ((pitch - 69) / 12.0)


# ---------------------------------------------------------------------------
# Building blocks

def _polyblep(t, dt):
    """The PolyBLEP correction of a unit step at phase 0 (t in cycles, 0..1; dt cycles per sample)."""
    out = np.zeros_like(t)
    a = t < dt
    x = t[a] / dt[a]
    out[a] = x + x - x * x - 1.0
    b = t > 1.0 - dt
    x = (t[b] - 1.0) / dt[b]
    out[b] = x * x + x + x + 1.0
    return out


def saw(phase, dt):
    t = phase % 1.0
    return 2.0 * t - 1.0 - _polyblep(t, dt)


def pulse(phase, dt, width):
    return saw(phase, dt) - saw(phase + width, dt)


def _fraction(phase):
    """The fractional part of a (float64) phase in cycles, as float32."""
    return (phase - np.floor(phase)).astype(np.float32)


def _harmonics(fraction, amplitudes, phases):
    """Sum of a_k sin(2 pi k x + phi_k) over k = 1.. in float32 (x in cycles, 0..1)."""
    y = np.zeros(len(fraction), dtype=np.float32)
    w = fraction * np.float32(2 * np.pi)
    for k, (a, phi) in enumerate(zip(amplitudes, phases), 1):
        if a != 0.0:
            y += np.float32(a) * np.sin(w * np.float32(k) + np.float32(phi))
    return y


def _biquad_peak(f0, q, gain_db):
    """RBJ peaking equaliser coefficients (b, a)."""
    a_ = 10.0 ** (gain_db / 40.0)
    w = 2 * np.pi * min(f0, 0.49 * RATE) / RATE
    alpha = np.sin(w) / (2 * q)
    b = np.array([1 + alpha * a_, -2 * np.cos(w), 1 - alpha * a_])
    a = np.array([1 + alpha / a_, -2 * np.cos(w), 1 - alpha / a_])
    return b / a[0], a / a[0]


def _bandpass(f0, bandwidth):
    """A two-pole resonator with unit peak gain at f0."""
    r = np.exp(-np.pi * bandwidth / RATE)
    w = 2 * np.pi * min(f0, 0.49 * RATE) / RATE
    a = np.array([1.0, -2 * r * np.cos(w), r * r])
    b = np.array([(1 - r * r) / 2, 0.0, -(1 - r * r) / 2])
    return b, a


def _one_pole_lowpass(x, cutoff):
    if cutoff >= 0.45 * RATE:
        return x
    a = np.exp(-2.0 * np.pi * cutoff / RATE)
    return lfilter([1.0 - a], [1.0, -a], x)


def _envelope(count, held, attack, release, decay=None, sustain=1.0):
    """Attack, then (optionally) exponential decay toward sustain, release after held samples."""
    t = np.arange(count) / RATE
    env = np.minimum(1.0, t / max(attack, 1e-4))
    if decay is not None:
        env = env * (sustain + (1.0 - sustain) * np.exp(-np.maximum(t - attack, 0.0) / decay))
    if held < count:
        level = env[max(held - 1, 0)]
        env[held:] = level * np.exp(-(t[held:] - t[held]) / max(release, 1e-3))
    return env


# ---------------------------------------------------------------------------
# The synthesizer

class Synth:
    """Renders the parts of a piece with our own models; parameters are drawn per part."""

    def __init__(self, rng):
        self.rng = rng
        self.noise = np.random.default_rng(rng.getrandbits(64))

    # -- per part -----------------------------------------------------------

    def draw(self, model):
        r = self.rng
        p = {"model": model}
        if model.startswith("additive"):
            p["slope"] = round(r.uniform(0.8, 2.2), 3)          # partial k has amplitude k^-slope
            p["odd_even"] = round(r.uniform(0.3, 1.0), 3)       # even partials scaled by this
            p["partials"] = r.randint(6, 24)
            if model == "additive-organ":
                p["drawbars"] = [round(r.choice([0, 0.3, 0.6, 1.0]), 2) for _ in range(6)]
                p["attack_s"] = round(r.uniform(0.005, 0.03), 4)
                p["release_s"] = round(r.uniform(0.02, 0.12), 3)
            else:
                p["inharmonicity"] = round(r.choice([0.0, 0.0, 1e-4, 4e-4, 1e-3]) if model != "additive-bell"
                                           else r.uniform(2e-3, 8e-3), 6)
                p["decay_s"] = round(r.uniform(0.6, 3.0) if model != "additive-mallet" else r.uniform(0.15, 0.6), 3)
                p["bright_decay"] = round(r.uniform(0.1, 0.4), 3)   # upper partials die this much faster
                p["attack_s"] = round(r.uniform(0.001, 0.006), 4)
                p["release_s"] = round(r.uniform(0.05, 0.3), 3)
        elif model == "plucked":
            p["t60_s"] = round(r.uniform(0.8, 4.0), 3)
            p["pick"] = round(r.uniform(0.08, 0.4), 3)
            p["brightness"] = round(r.uniform(0.3, 1.0), 3)
            p["release_s"] = round(r.uniform(0.03, 0.15), 3)
        elif model in ("bowed-string", "blown-reed", "blown-flute", "blown-brass"):
            p["wave"] = {"bowed-string": "saw", "blown-reed": "pulse", "blown-flute": "sine",
                         "blown-brass": "saw"}[model]
            p["width"] = round(r.uniform(0.3, 0.5), 3)
            p["cutoff_hz"] = round(r.uniform(1500, 9000), 1)
            p["body"] = [(round(r.uniform(200, 3500), 1), round(r.uniform(1.5, 6), 2), round(r.uniform(-6, 9), 2))
                         for _ in range(3)]
            p["noise"] = round(r.uniform(0.005, 0.06) if model != "blown-flute" else r.uniform(0.03, 0.15), 4)
            p["attack_s"] = round(r.uniform(0.02, 0.15), 3)
            p["release_s"] = round(r.uniform(0.04, 0.25), 3)
            p["vibrato_hz"] = round(r.uniform(4.5, 6.5), 3)
            p["vibrato_cents"] = round(r.choice([0.0, r.uniform(5, 35)]), 2)
        elif model == "voice":
            p["vowels"] = [r.choice(list(VOWELS)) for _ in range(2)]
            p["formant_shift"] = round(r.uniform(0.85, 1.2), 3)
            p["breath"] = round(r.uniform(0.01, 0.08), 4)
            p["attack_s"] = round(r.uniform(0.03, 0.12), 3)
            p["release_s"] = round(r.uniform(0.05, 0.2), 3)
            p["vibrato_hz"] = round(r.uniform(5.0, 7.0), 3)
            p["vibrato_cents"] = round(r.uniform(15, 40), 2)
            p["drift_cents"] = round(r.uniform(3, 12), 2)
        return p

    def render_part(self, part, params, out):
        bend_times = np.array([t for t, _ in part.bends] or [0.0])
        bend_cents = np.array([c for _, c in part.bends] or [0.0])
        gain = part.volume / 127.0
        for n in part.notes:
            start = int(round(n.onset * RATE))
            if start >= len(out):
                continue
            y = self.note(params, n, bend_times, bend_cents, len(out) - start)
            out[start:start + len(y)] += gain * y

    # -- per note -----------------------------------------------------------

    def _frequency(self, p, note, count, bend_times, bend_cents, own_vibrato=0.0, own_rate=5.5, drift=0.0):
        """The note's frequency in Hz per sample: its pitch, the part's bends, our own vibrato."""
        if own_vibrato <= 0 and drift <= 0 and not np.any(bend_cents):
            return np.full(count, hz(note.pitch))
        t = note.onset + np.arange(count) / RATE
        cents = bend_cents[np.clip(np.searchsorted(bend_times, t, side="right") - 1, 0, len(bend_cents) - 1)]
        body = cents[int(0.06 * RATE):int((note.offset - note.onset) * RATE)]
        room = max(0.0, 48.0 - (float(np.max(np.abs(body))) if len(body) else 0.0))
        own = np.zeros(count)
        if own_vibrato > 0 or drift > 0:
            local = np.arange(count) / RATE
            ramp = np.minimum(1.0, np.maximum(local - 0.15, 0.0) / 0.3)
            phase = self.rng.uniform(0, 2 * math.pi)
            own = own_vibrato * ramp * np.sin(2 * np.pi * own_rate * local + phase)
            if drift > 0:
                walk = np.cumsum(self.noise.standard_normal(max(2, count // 2205 + 2)))  # a step per 50 ms
                walk = walk - walk.mean()
                walk = walk / max(1e-9, np.max(np.abs(walk))) * drift
                own = own + np.interp(local, np.arange(len(walk)) * 0.05, walk)
            peak = float(np.max(np.abs(own)))
            if peak > room:
                own *= room / peak
        return hz(note.pitch) * 2.0 ** ((cents + own) / 1200.0)

    def note(self, p, note, bend_times, bend_cents, limit):
        model = p["model"]
        held = int(round((note.offset - note.onset) * RATE))
        v = note.velocity / 127.0
        if model.startswith("additive"):
            return self._additive(p, note, held, v, bend_times, bend_cents, limit)
        if model == "plucked":
            return self._plucked(p, note, held, v, bend_times, bend_cents, limit)
        if model == "voice":
            return self._voice(p, note, held, v, bend_times, bend_cents, limit)
        return self._bowed(p, note, held, v, bend_times, bend_cents, limit)

    def _additive(self, p, note, held, v, bend_times, bend_cents, limit):
        model = p["model"]
        if model == "additive-organ":
            count = min(limit, held + int(5 * p["release_s"] * RATE))
            env = _envelope(count, held, p["attack_s"], p["release_s"])
        else:
            count = min(limit, held + int(5 * p["release_s"] * RATE), int(5 * p["decay_s"] * RATE) + 1)
            env = None
        if count <= 0:
            return np.zeros(0)
        f = self._frequency(p, note, count, bend_times, bend_cents)
        top = int(NYQUIST_USE / (float(np.max(f)) * 1.01))
        if top < 1:
            return np.zeros(count)
        phase = np.cumsum(f) / RATE
        level = v ** 1.7
        if model == "additive-organ":
            # Drawbar-like: harmonics 1, 2, 3, 4, 6, 8, each with its own level.
            amps = np.zeros(min(8, top))
            for h, a in zip((1, 2, 3, 4, 6, 8), p["drawbars"]):
                if h <= len(amps):
                    amps[h - 1] = a
            amps[0] = max(amps[0], 0.5)
            phases = [self.rng.uniform(0, 2 * math.pi) for _ in amps]
            y = _harmonics(_fraction(phase), amps, phases)
            return level * env * y / max(1e-9, amps.sum())
        k = np.arange(1, min(p["partials"], top) + 1)
        amps = k ** -p["slope"]
        amps[1::2] *= p["odd_even"]
        # A velocity-dependent tilt: soft notes have weaker upper partials.
        amps = amps * np.exp(-(k - 1) * (1.0 - v) * 0.25)
        amps /= amps.sum()
        b = p["inharmonicity"]
        t = (np.arange(count) / RATE).astype(np.float32)
        decay = p["decay_s"] * 2.0 ** ((60 - note.pitch) / 36.0)
        shell = np.minimum(np.float32(1.0), t / np.float32(p["attack_s"]))
        if held < count:
            shell[held:] *= np.exp(-(t[held:] - t[held]) / np.float32(p["release_s"]))
        phases = [self.rng.uniform(0, 2 * math.pi) for _ in k]
        if b > 0:
            # Stretched partials: each needs its own phase; the first ten carry the sound.
            stretch = np.sqrt(1.0 + b * k * k)
            y = np.zeros(count, dtype=np.float32)
            for kk, a, st, phi in list(zip(k, amps, stretch, phases))[:10]:
                if kk * st * float(np.max(f)) >= NYQUIST_USE:
                    break
                tau = np.float32(decay / (1.0 + p["bright_decay"] * (kk - 1)))
                w = _fraction(phase * (kk * st)) * np.float32(2 * np.pi)
                y += np.float32(a) * np.exp(-t / tau) * np.sin(w + np.float32(phi))
            return level * shell * y
        # Harmonic: the lower quarter of the partials with the note's decay, the rest dying faster.
        split = max(1, len(k) // 4)
        fraction = _fraction(phase)
        low = _harmonics(fraction, np.where(k <= split, amps, 0.0), phases)
        high = _harmonics(fraction, np.where(k > split, amps, 0.0), phases)
        tau_high = decay / (1.0 + p["bright_decay"] * 2 * split)
        y = np.exp(-t / np.float32(decay)) * low + np.exp(-t / np.float32(tau_high)) * high
        return level * shell * y

    def _plucked(self, p, note, held, v, bend_times, bend_cents, limit):
        t60 = p["t60_s"] * 2.0 ** ((48 - note.pitch) / 30.0)
        count = min(limit, held + int(5 * p["release_s"] * RATE), int(min(t60, 6.0) * RATE))
        if count <= 0:
            return np.zeros(0)
        f0 = hz(note.pitch)
        # Run the string at an integer period (oversampled for high notes), then resample
        # to the exact (and bent) pitch.
        over = max(1, int(math.ceil(48 * f0 / RATE)))
        rate = RATE * over
        period = int(round(rate / f0 - 0.5))  # the averaging filter adds half a sample
        rendered_f0 = rate / (period + 0.5)
        f = self._frequency(p, note, count, bend_times, bend_cents)
        ratio = f / f0 * (f0 / rendered_f0) * over   # internal samples per output sample
        position = np.concatenate([[0.0], np.cumsum(ratio[:-1])])
        length = int(position[-1]) + 2
        blocks = length // period + 2
        burst = self.noise.uniform(-1, 1, period)
        burst = burst - np.roll(burst, max(1, int(p["pick"] * period)))       # pick position comb
        burst = _one_pole_lowpass(burst, 800 + 12000 * p["brightness"] * v * v * over)
        g = 10.0 ** (-3.0 / (t60 * rendered_f0))   # per round trip: -60 dB after t60
        y = np.zeros(blocks * period + 1)
        y[1:period + 1] = burst
        last = 0.0
        for i in range(1, blocks):
            previous = y[(i - 1) * period + 1:i * period + 1]
            shifted = np.concatenate([[last], previous[:-1]])
            last = previous[-1]
            y[i * period + 1:(i + 1) * period + 1] = g * 0.5 * (previous + shifted)
        y = y[1:]
        out = read_at(y, position)
        env = np.ones(count)
        if held < count:
            env[held:] = np.exp(-np.arange(count - held) / (p["release_s"] * RATE))
        return (v ** 1.5) * 0.5 * env * out

    def _bowed(self, p, note, held, v, bend_times, bend_cents, limit):
        count = min(limit, held + int(5 * p["release_s"] * RATE))
        if count <= 0:
            return np.zeros(0)
        f = self._frequency(p, note, count, bend_times, bend_cents,
                            own_vibrato=p["vibrato_cents"], own_rate=p["vibrato_hz"])
        phase = np.cumsum(f) / RATE + self.rng.random()
        dt = f / RATE
        if p["wave"] == "saw":
            x = saw(phase, dt)
        elif p["wave"] == "pulse":
            x = pulse(phase, dt, p["width"])
        else:
            x = np.sin(2 * np.pi * phase) + 0.25 * np.sin(4 * np.pi * phase) * (f < NYQUIST_USE / 2)
        x = _one_pole_lowpass(x, p["cutoff_hz"] * (0.4 + 0.6 * v))
        for fc, q, gain in p["body"]:
            b, a = _biquad_peak(fc, q, gain)
            x = lfilter(b, a, x)
        noise = self.noise.standard_normal(count)
        b, a = _bandpass(min(4 * hz(note.pitch), 8000.0), 2000.0)
        x = x + p["noise"] * 8 * lfilter(b, a, noise)
        env = _envelope(count, held, p["attack_s"] * (1.3 - v * 0.6), p["release_s"])
        return (v ** 1.3) * 0.3 * env * x

    def _voice(self, p, note, held, v, bend_times, bend_cents, limit):
        count = min(limit, held + int(5 * p["release_s"] * RATE))
        if count <= 0:
            return np.zeros(0)
        f = self._frequency(p, note, count, bend_times, bend_cents,
                            own_vibrato=p["vibrato_cents"], own_rate=p["vibrato_hz"], drift=p["drift_cents"])
        phase = np.cumsum(f) / RATE + self.rng.random()
        buzz = _one_pole_lowpass(saw(phase, f / RATE), 1200.0 + 2500.0 * v)
        buzz = buzz + p["breath"] * self.noise.standard_normal(count)
        shaped = []
        for vowel in p["vowels"]:
            freqs, widths = VOWELS[vowel]
            y = np.zeros(count)
            for k, (fc, bw) in enumerate(zip(freqs, widths)):
                b, a = _bandpass(fc * p["formant_shift"], bw)
                y += lfilter(b, a, buzz) * (1.0 if k < 2 else 0.5)
            shaped.append(y)
        mix = 0.5 - 0.5 * np.cos(np.pi * np.minimum(1.0, np.arange(count) / max(1, held)))
        y = shaped[0] * (1 - mix) + shaped[1] * mix
        env = _envelope(count, held, p["attack_s"], p["release_s"])
        return (v ** 1.3) * 0.8 * env * y

    # -- drums ----------------------------------------------------------------

    def drum(self, note, out, gain):
        start = int(round(note.onset * RATE))
        d = note.pitch
        v = note.velocity / 127.0
        if d in music.KICKS or d in music.TOMS:
            length = int((0.35 if d in music.KICKS else 0.5) * RATE)
            t = np.arange(length) / RATE
            top, bottom = (160.0, 50.0) if d in music.KICKS else (300.0 - 3 * d, 120.0 - d)
            freq = bottom + (top - bottom) * np.exp(-t / 0.03)
            y = np.sin(2 * np.pi * np.cumsum(freq) / RATE) * np.exp(-t / 0.12)
        elif d in music.SNARES:
            length = int(0.25 * RATE)
            t = np.arange(length) / RATE
            y = (0.6 * self.noise.standard_normal(length) + 0.5 * np.sin(2 * np.pi * 185 * t)) * np.exp(-t / 0.06)
        else:
            length = int((0.1 if d in music.HATS[:2] else 0.9) * RATE)
            t = np.arange(length) / RATE
            n = self.noise.standard_normal(length)
            y = (n - np.concatenate([[0.0], n[:-1]])) * 0.4 * np.exp(-t / (0.03 if length < 0.2 * RATE else 0.3))
        y = y[: max(0, len(out) - start)]
        out[start:start + len(y)] += gain * v * y


# Our synthesizers are code, not a sound set, and their code changes: the allow-list
# names them by this fixed digest (of their path in the tree); the code's own
# checksum is recorded beside it as code_sha256.
SYNTH_PATH = "recognition/poly/training/sources/synths.py"
SYNTH_DIGEST = hashlib.sha256(SYNTH_PATH.encode()).hexdigest()


class SynthSource:
    kind = "synth"

    def __init__(self):
        self.name = "synth:ours"
        self.path = SYNTH_PATH

    def instruments(self):
        return [i for i, _ in VOICES]

    def describe(self, programs):
        return {"kind": self.kind, "path": self.path, "sha256": SYNTH_DIGEST,
                "code_sha256": file_sha256(__file__), "programs": sorted(set(programs))}

    def render(self, piece, rng, workdir):
        synth = Synth(rng)
        out = np.zeros(int(round((piece.seconds + 1.0) * RATE)))
        models = []
        drum_gain = round(rng.uniform(0.04, 0.25), 3)
        for part in piece.parts:
            if part.drum:
                for n in part.notes:
                    synth.drum(n, out, drum_gain)
                models.append({"model": "drums", "gain": drum_gain})
                continue
            params = synth.draw(MODEL_OF.get(part.instrument, "additive-piano"))
            models.append(dict(params, instrument=part.instrument))
            synth.render_part(part, params, out)
        record = self.describe(p.program for p in piece.parts if not p.drum)
        record["settings"] = {"parts": models}
        return out.astype(np.float32), record
