"""The note decoder, step for step as NoteDecoder.cpp does it (float32 comparisons).

The C++ decoder is the one the program runs; this copy lets the trainer score
the validation split and tune the settings without building anything, and
export.py writes its output on the fixture so that a C++ test checks that
both agree.
"""

import numpy as np

RATE = 44100
HOP = 512
LOWEST = 21


class Settings:
    """Mirrors poly::DecoderSettings."""

    def __init__(self, onset=0.5, sounding=0.5, gap=2, min_frames=3, peak_radius=2,
                 held=0.9, held_frames=0, reonset=0.0, offset=0.0):
        self.onset = onset
        self.sounding = sounding
        self.gap = gap
        self.min_frames = min_frames
        self.peak_radius = peak_radius
        self.held = held
        self.held_frames = held_frames
        self.reonset = reonset
        self.offset = offset

    def as_dict(self):
        return dict(onset=self.onset, sounding=self.sounding, gap=self.gap,
                    min_frames=self.min_frames, peak_radius=self.peak_radius,
                    held=self.held, held_frames=self.held_frames, reonset=self.reonset,
                    offset=self.offset)


def peaks(onset, threshold, radius):
    """T x 88 mask of onset peaks: at least the threshold, above every earlier
    value within the radius and not below any later one, so a plateau gives
    its first frame."""
    o = np.asarray(onset, np.float32)
    mask = o >= np.float32(threshold)
    for k in range(1, radius + 1):
        mask[k:] &= o[k:] > o[:-k]
        mask[:-k] &= o[:-k] >= o[k:]
    return mask


def decode(onset, sounding, velocity, s, offset=None):
    """[(start_s, end_s, note, velocity 1..127)] in time order from T x 88 probabilities.

    For each note, every onset peak starts a note; the note lasts while the
    sounding probability stays at the threshold, dips of up to `gap` frames
    tolerated, and at most until the next onset peak of the same note whose
    onset probability reaches `reonset` (a weaker peak inside a sounding note
    is passed over: a bow change or vibrato, not a new note). It
    ends after its last frame at the threshold (its onset frame counts as
    one) and is dropped when shorter than min_frames. With `offset` > 0 (the
    offset probabilities given), the first offset peak (radius 1) reaching
    it at least min_frames (and one) frames after the start and before that
    end ends the note there instead: the note is followed as before, only
    its end moves, so which notes are found does not change. With
    held_frames > 0, every run of at least held_frames frames outside those
    notes whose sounding probability reaches `held` is a note too (a soft
    attack whose onset peak was missed); a note cut by an offset peak covers
    the frames up to where the sounding would have ended it.
    """
    onset = np.asarray(onset, np.float32)
    sounding = np.asarray(sounding, np.float32)
    velocity = np.asarray(velocity, np.float32)
    frames = onset.shape[0]
    peak = peaks(onset, s.onset, s.peak_radius)
    supported = sounding >= np.float32(s.sounding)
    ends = None
    if s.offset > 0:
        ends = peaks(offset, s.offset, 1)
    index = np.arange(frames)
    notes = []
    candidates = peak.any(axis=0)
    if s.held_frames > 0:
        candidates |= (sounding >= np.float32(s.held)).any(axis=0)
    for n in np.flatnonzero(candidates):
        starts = np.flatnonzero(peak[:, n])
        covered = np.zeros(frames, bool)
        # last[t]: the last frame <= t at the threshold (-1: none).
        last = np.maximum.accumulate(np.where(supported[:, n], index, -1))
        # A note ends at the first frame t after its start with t - last[t] > gap.
        breaks = np.flatnonzero(index - last > s.gap)
        reonset = np.float32(s.reonset)
        i = 0
        while i < len(starts):
            start = starts[i]
            at = np.searchsorted(breaks, start + s.gap + 1)
            first_break = breaks[at] if at < len(breaks) else frames
            j = i + 1
            # Peaks the note runs into that are too weak to repeat it.
            while j < len(starts) and starts[j] < first_break and onset[starts[j], n] < reonset:
                j += 1
            limit = starts[j] if j < len(starts) else frames
            i = j
            if first_break < limit:
                end = max(start, last[first_break]) + 1
            else:
                end = max(start, last[limit - 1]) + 1
            if end - start < s.min_frames:
                continue
            covered[start:end] = True
            if ends is not None:
                first = start + max(1, s.min_frames)
                cut = np.flatnonzero(ends[first:end, n])
                if len(cut):
                    end = first + cut[0]
            notes.append((onset_seconds(onset[:, n], start), end * HOP / RATE, int(n) + LOWEST,
                          velocity_of(velocity[start, n])))
        if s.held_frames > 0:
            held = (sounding[:, n] >= np.float32(s.held)) & ~covered
            edges = np.diff(np.concatenate(([0], held.astype(np.int8), [0])))
            for a, b in zip(np.flatnonzero(edges == 1), np.flatnonzero(edges == -1)):
                if b - a >= s.held_frames:
                    notes.append((a * HOP / RATE, b * HOP / RATE, int(n) + LOWEST, velocity_of(velocity[a, n])))
    notes.sort(key=lambda x: (x[0], x[2]))
    return notes


def onset_seconds(o, t):
    """Frame t's time moved by the centroid of the onset values around it."""
    frames = len(o)
    before = np.float32(o[t - 1]) if t > 0 else np.float32(0)
    after = np.float32(o[t + 1]) if t + 1 < frames else np.float32(0)
    total = np.float32(before + np.float32(o[t]) + after)
    shift = np.float32(after - before) / total if total > 0 else np.float32(0)
    return (t + float(shift)) * HOP / RATE


def velocity_of(v):
    return int(min(127, max(1, int(np.floor(np.float32(v) * np.float32(127) + np.float32(0.5))))))
