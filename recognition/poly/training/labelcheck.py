#!/usr/bin/python3
"""Checks that labelled onsets line up with the audio, per sound source.

    labelcheck.py probe [--sources NAME,...] [--notes N]
    labelcheck.py programs [--sources NAME,...]
    labelcheck.py clips DIR/SPLIT [--limit N]

probe: renders isolated notes of quickly speaking instruments (piano, guitar,
harpsichord, mallets, plucked strings; no augmentation) with each training
source and measures, per note, when the sound starts: the first sample above
-50 dB of the note's peak, the first 1 ms frame whose level reaches 10%
(-20 dB) of the note's rise, and the peak of the note's own onset strength
(spectral flux over the bins of its first four harmonics, 11.6 ms window,
2 ms hop). Prints the median and the 10th/90th percentiles of (measured -
labelled) in milliseconds. A renderer with a fixed delay shows it
here; the generator adds such a delay to the labels' onsets (ONSET_DELAY_S),
and the figures printed are measured against the labels it writes.

programs: renders five notes across the range of every program a source
offers and flags notes 30 dB below the median level, and notes whose partials
fit the series of the octave below (0.5, 1.5, 2.5 times the key's frequency
stronger than 1, 2, 3 times) or above (odd harmonics missing). This is how the
programs each SoundFont leaves out were found (sources/fluidsynth.py).

clips: the same per-note onset strength on generated clips (polyphonic,
augmented): for every labelled onset, the offset of the strongest flux peak
within +-50 ms, as a sanity check of the whole chain (detuning, mixing),
beside a control: the same measure 80 ms after every label.
"""

import argparse
import json
import os
import random
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import numpy as np  # noqa: E402

import generate  # noqa: E402
import music  # noqa: E402
from audio import RATE, read_wav  # noqa: E402

HOP = 88          # 2 ms
WINDOW = 512
CONTROL_SHIFT = 0.08
FAST_PROGRAMS = [0, 1, 2, 4, 6, 7, 11, 12, 13, 15, 24, 25, 26, 27, 45, 46, 105, 107, 108]


def _spectrogram(x):
    pad = np.concatenate([np.zeros(WINDOW // 2), x, np.zeros(WINDOW)])
    frames = 1 + (len(pad) - WINDOW) // HOP
    index = np.arange(WINDOW)[None, :] + HOP * np.arange(frames)[:, None]
    gram = np.abs(np.fft.rfft(pad[index] * np.hanning(WINDOW)[None, :], axis=1))
    return np.log1p(1000.0 * gram / max(1e-9, float(gram.max())))


def note_flux(gram, pitch):
    """Onset strength of one note: positive log-magnitude change over its harmonics' bins."""
    freqs = np.fft.rfftfreq(WINDOW, 1.0 / RATE)
    f0 = 440.0 * 2.0 ** ((pitch - 69) / 12.0)
    mask = np.zeros(len(freqs), dtype=bool)
    for h in range(1, 5):
        mask |= (freqs > h * f0 * 2 ** (-0.7 / 12)) & (freqs < h * f0 * 2 ** (0.7 / 12))
    if not mask.any():
        mask[np.argmin(np.abs(freqs - f0))] = True
    band = gram[:, mask]
    flux = np.maximum(np.diff(band, axis=0), 0.0).sum(axis=1)
    return np.concatenate([[0.0], flux])  # flux[i]: change into frame i (centred at i*HOP)


def first_level(x, onset, threshold):
    """Seconds from the label to the first 1 ms frame whose level rises by threshold of the
    note's rise (from the quietest frame of the 30 ms before the label to the note's peak)."""
    start = max(0, int((onset - 0.03) * RATE))
    seg = x[start:start + int(0.33 * RATE)]
    frame = RATE // 1000
    n = len(seg) // frame
    if n <= 30:
        return None
    level = np.sqrt((seg[: n * frame].reshape(n, frame) ** 2).mean(axis=1))
    base, peak = level[:30].min(), level[30:].max()
    if peak <= base:
        return None
    after = np.nonzero(level[30:] >= base + threshold * (peak - base))[0]
    first = 30 + int(after[0])
    return (start + first * frame) / RATE - onset


def first_sound(x, onset):
    """Seconds from the label to the first sample above -50 dB of the note's peak (and above
    twice the loudest sample of the 15 ms before the note began)."""
    start = max(0, int((onset - 0.02) * RATE))
    seg = np.abs(x[start:start + int(0.3 * RATE)])
    if len(seg) < int(0.02 * RATE):
        return None
    base = seg[: int(0.015 * RATE)].max()
    above = np.nonzero(seg > max(2 * base, 0.003 * seg.max()))[0]
    return None if len(above) == 0 else (start + int(above[0])) / RATE - onset


def flux_peak(flux, onset, before=0.03, after=0.05):
    lo = max(0, int(round((onset - before) * RATE / HOP)))
    hi = min(len(flux), int(round((onset + after) * RATE / HOP)) + 1)
    if hi <= lo:
        return None
    i = lo + int(np.argmax(flux[lo:hi]))
    return i * HOP / RATE - onset


def _stats(values):
    v = np.array([x for x in values if x is not None]) * 1000.0
    if len(v) == 0:
        return "no notes"
    return (f"median {np.median(v):6.1f} ms, p10 {np.percentile(v, 10):6.1f}, p90 {np.percentile(v, 90):6.1f} "
            f"(n={len(v)})")


def probe_piece(rng, instruments, notes):
    """Isolated notes, 1 s apart, 0.25 s long, on quickly speaking programs of the source."""
    fast = [i for i in instruments if i.program in FAST_PROGRAMS] or instruments
    parts = []
    t = 0.3
    for k in range(notes):
        inst = fast[k % len(fast)]
        pitch = rng.randint(max(inst.low, 36), min(inst.high, 96))
        part = music.Part(inst.program, "melody", [music.Note(music.quantise(t), music.quantise(t + 0.25), pitch,
                                                              rng.randint(70, 120))], instrument=inst.name)
        parts.append(part)
        t += 1.0
    # One channel per program (as in a piece): merge the notes of parts sharing an instrument.
    merged = {}
    for p in parts:
        merged.setdefault(p.instrument, music.Part(p.program, "melody", [], instrument=p.instrument))
        merged[p.instrument].notes += p.notes
    channels = [c for c in range(16) if c != music.DRUM_CHANNEL]
    result = list(merged.values())[:15]
    for c, p in zip(channels, result):
        p.channel = c
    return music.Piece(result, music.quantise(t + 0.5), {"texture": "probe"})


def probe(names, notes):
    for name in names:
        source = generate._source(name, False)
        rng = random.Random(7)
        piece = probe_piece(rng, source.instruments(), notes)
        with tempfile.TemporaryDirectory(prefix="selvik-probe-") as workdir:
            samples, _ = source.render(piece, random.Random(8), workdir)
        latency = generate.ONSET_DELAY_S.get(name, 0.0)
        labels = [(on + latency, off, n, v) for on, off, n, v in piece.labels()]
        gram = _spectrogram(samples)
        start = [first_sound(samples, on) for on, _, _, _ in labels]
        level = [first_level(samples, on, 0.1) for on, _, _, _ in labels]
        flux = [flux_peak(note_flux(gram, n), on) for on, _, n, _ in labels]
        print(f"{name:22s} sound -50 dB: {_stats(start)}")
        print(f"{'':22s} level -20 dB: {_stats(level)}")
        print(f"{'':22s} flux peak:    {_stats(flux)}   (labels shifted by {latency * 1000:.1f} ms)")


def _peak_near(spectrum, freqs, f):
    band = (freqs > f * 2 ** (-0.3 / 12)) & (freqs < f * 2 ** (0.3 / 12))
    return float(spectrum[band].max()) if band.any() else 0.0


def programs(names):
    """Flags programs whose notes are near silent or sound an octave off their key."""
    for name in names:
        source = generate._source(name, False)
        instruments = source.instruments()
        flagged, notes, audio = [], [], []
        channels = [c for c in range(16) if c != music.DRUM_CHANNEL]
        for first in range(0, len(instruments), len(channels)):
            parts, t, group = [], 0.2, []
            for channel, inst in zip(channels, instruments[first:first + len(channels)]):
                part = music.Part(inst.program, "melody", [], channel=channel, instrument=inst.name)
                for pitch in sorted({inst.low, inst.low + 5, (inst.low + inst.high) // 2, inst.high - 5, inst.high}):
                    note = music.Note(music.quantise(t), music.quantise(t + 0.5), pitch, 100)
                    part.notes.append(note)
                    group.append((inst, note))
                    t += 0.8
                parts.append(part)
            with tempfile.TemporaryDirectory(prefix="selvik-programs-") as workdir:
                samples, _ = source.render(music.Piece(parts, music.quantise(t + 0.5), {}), random.Random(1), workdir)
            notes += group
            audio += [samples[int(n.onset * RATE):int(n.onset * RATE) + 16384] for _, n in group]
        levels = [float(np.sqrt(np.mean(a[:int(0.3 * RATE)] ** 2)) + 1e-12) for a in audio]
        median = float(np.median(levels))
        for (inst, note), seg, level in zip(notes, audio, levels):
            if level < median * 10 ** (-30 / 20):
                flagged.append(f"{inst.program} {inst.name} note {note.pitch}: {20 * np.log10(level / median):.0f} dB")
                continue
            seg = seg[int(0.05 * RATE):]
            spectrum = np.abs(np.fft.rfft(seg * np.hanning(len(seg)), 65536))
            freqs = np.fft.rfftfreq(65536, 1.0 / RATE)
            f = 440.0 * 2 ** ((note.pitch - 69) / 12)
            on = np.mean([_peak_near(spectrum, freqs, f * k) for k in (1, 2, 3)])
            below = np.mean([_peak_near(spectrum, freqs, f * k) for k in (0.5, 1.5, 2.5)])
            odd = np.mean([_peak_near(spectrum, freqs, f * k) for k in (1, 3, 5) if f * k < 20000])
            even = np.mean([_peak_near(spectrum, freqs, f * k) for k in (2, 4, 6) if f * k < 20000])
            if below > on:
                flagged.append(f"{inst.program} {inst.name} note {note.pitch}: an octave below? ({below / on:.2f})")
            elif odd < 0.1 * even:
                flagged.append(f"{inst.program} {inst.name} note {note.pitch}: an octave above? ({odd / even:.2f})")
        print(f"{name}: {len(instruments)} programs, {len(notes)} notes; flagged: "
              + ("; ".join(flagged) if flagged else "none"))


def clips(folder, limit):
    rows = []
    with open(os.path.join(folder, "manifest.jsonl")) as f:
        for line in f:
            rows.append(json.loads(line))
    by_source = {}
    for r in rows[:limit]:
        x, _ = read_wav(os.path.join(folder, r["id"] + ".wav"))
        gram = _spectrogram(x)
        offsets, control = [], []
        with open(os.path.join(folder, r["id"] + ".tsv")) as f:
            for line in f:
                on, off, note, vel = line.split("\t")
                flux = note_flux(gram, int(note))
                offsets.append(flux_peak(flux, float(on), before=0.05, after=0.05))
                control.append(flux_peak(flux, float(on) + CONTROL_SHIFT, before=0.05, after=0.05))
        key = "+".join(s["name"] for s in r["sources"])
        by_source.setdefault(key, ([], []))
        by_source[key][0].extend(offsets)
        by_source[key][1].extend(control)
    print(f"(control: the same measure {CONTROL_SHIFT * 1000:.0f} ms after every label)")
    for key in sorted(by_source):
        v, c = (np.array([x for x in values if x is not None]) for values in by_source[key])
        near = float(np.mean(np.abs(v) <= 0.02)) if len(v) else 0.0
        near_control = float(np.mean(np.abs(c) <= 0.02)) if len(c) else 0.0
        print(f"{key:40s} flux peak - label: {_stats(v)}; within 20 ms: {near:.0%} (control {near_control:.0%})")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="mode", required=True)
    p = sub.add_parser("probe")
    p.add_argument("--sources", default=",".join(sorted(generate.TRAINING_SOURCES)))
    p.add_argument("--notes", type=int, default=60)
    g = sub.add_parser("programs")
    g.add_argument("--sources", default=",".join(sorted(generate.TRAINING_SOURCES)))
    c = sub.add_parser("clips")
    c.add_argument("folder")
    c.add_argument("--limit", type=int, default=100)
    args = parser.parse_args()
    if args.mode == "probe":
        probe(args.sources.split(","), args.notes)
    elif args.mode == "programs":
        programs(args.sources.split(","))
    else:
        clips(args.folder, args.limit)


if __name__ == "__main__":
    main()
