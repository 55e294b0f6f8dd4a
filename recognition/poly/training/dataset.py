"""Features and frame targets of generated clips, for training the polyphonic network.

A split folder holds <id>.wav, <id>.tsv (onset_s, offset_s, note, velocity)
and manifest.jsonl, as generate.py writes them. The features are made by
the C++ tool selvik_poly_features (the same code the program runs) and
cached beside the clips as <id>.f16.npy: float16, frames x 348.
"""

import json
import os
import subprocess
import tempfile

import numpy as np

RATE = 44100
HOP = 512
BINS = 348
NOTES = 88
LOWEST = 21


def frame_seconds():
    return HOP / RATE


def read_features_file(path):
    """(frames x bins float32) from the tool's SPF1 file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"SPF1":
        raise ValueError(f"{path}: not a feature file")
    bins = int.from_bytes(data[4:8], "little", signed=True)
    frames = int.from_bytes(data[8:16], "little", signed=True)
    values = np.frombuffer(data, dtype="<f4", offset=16)
    if bins != BINS or values.size != bins * frames:
        raise ValueError(f"{path}: {bins} bins, {values.size} values for {frames} frames")
    return values.reshape(frames, bins)


def clip_records(folder):
    """Manifest records of a split folder, in order."""
    with open(os.path.join(folder, "manifest.jsonl")) as f:
        return [json.loads(line) for line in f if line.strip()]


def clip_ids(folder):
    """Clip ids of a split folder, in manifest order."""
    return [r["id"] for r in clip_records(folder)]


def is_single_line(record, notes):
    """The manifest's word when it has one, else: no two notes overlap by more than 30 ms."""
    if "single_line" in record:
        return bool(record["single_line"])
    ends = []
    for on, off, _, _ in sorted(notes):
        ends = [e for e in ends if e > on + 0.03]
        if ends:
            return False
        ends.append(off)
    return True


def compute_features(folder, tool, jobs=2, log=None):
    """Makes <id>.f16.npy for every clip of the folder that has none yet."""
    todo = [i for i in clip_ids(folder) if not os.path.exists(os.path.join(folder, i + ".f16.npy"))]
    if not todo:
        return
    with tempfile.TemporaryDirectory(prefix="selvik-features-") as tmp:
        lists, processes = [], []
        for j in range(jobs):
            part = todo[j::jobs]
            if not part:
                continue
            path = os.path.join(tmp, f"list{j}.txt")
            with open(path, "w") as f:
                for i in part:
                    f.write(f"{os.path.join(folder, i + '.wav')}\t{os.path.join(tmp, i + '.feat')}\n")
            lists.append(part)
            processes.append(subprocess.Popen([tool, "--list", path]))
        for p in processes:
            if p.wait() != 0:
                raise RuntimeError(f"{tool} failed ({p.returncode})")
        for part in lists:
            for i in part:
                x = read_features_file(os.path.join(tmp, i + ".feat")).astype(np.float16)
                np.save(os.path.join(folder, i + ".f16.npy.part.npy"), x)
                os.replace(os.path.join(folder, i + ".f16.npy.part.npy"), os.path.join(folder, i + ".f16.npy"))
    if log:
        log(f"features: {len(todo)} clips of {folder}")


def read_labels(path):
    """[(onset_s, offset_s, note, velocity)] of a clip's TSV, notes outside 21..108 dropped."""
    notes = []
    with open(path) as f:
        for line in f:
            fields = line.split("\t")
            if len(fields) < 4:
                continue
            on, off, note, vel = float(fields[0]), float(fields[1]), int(fields[2]), int(fields[3])
            if LOWEST <= note < LOWEST + NOTES and off > on:
                notes.append((on, off, note, vel))
    return notes


def targets(notes, frames):
    """Frame targets (frames x 88 float32 each): onset, sounding, offset, velocity.

    An onset (or offset) at time t lights the two frames around it with
    weights that fall linearly to 0 one hop away, so the peak sits where the
    event does. A note sounds from its onset frame up to the frame before its
    offset, at least one frame. Velocity (0..1) is set where the onset
    weight is, and its loss only counts there.
    """
    onset = np.zeros((frames, NOTES), np.float32)
    sounding = np.zeros((frames, NOTES), np.float32)
    offset = np.zeros((frames, NOTES), np.float32)
    velocity = np.zeros((frames, NOTES), np.float32)
    step = frame_seconds()
    for on, off, note, vel in notes:
        n = note - LOWEST
        a = on / step
        b = off / step
        first = int(round(a))
        last = max(first + 1, int(round(b)))
        if first >= frames:
            continue
        sounding[max(first, 0):min(last, frames), n] = 1.0
        for position, grid in ((a, onset), (b, offset)):
            m = int(np.floor(position))
            w = position - m
            for frame, weight in ((m, 1.0 - w), (m + 1, w)):
                if 0 <= frame < frames:
                    grid[frame, n] = max(grid[frame, n], weight)
        m = int(round(a))
        if 0 <= m < frames:
            velocity[max(0, m - 1):m + 2, n] = vel / 127.0
    return onset, sounding, offset, velocity


class Split:
    """Every clip of a split in memory: features (fp16) and targets."""

    def __init__(self, folder):
        self.folder = folder
        records = clip_records(folder)
        self.ids = [r["id"] for r in records]
        self.features = []
        self.targets = []
        self.notes = []
        self.single = []
        for r, i in zip(records, self.ids):
            x = np.load(os.path.join(folder, i + ".f16.npy"))
            notes = read_labels(os.path.join(folder, i + ".tsv"))
            self.features.append(x)
            self.notes.append(notes)
            self.single.append(is_single_line(r, notes))
            self.targets.append(np.stack(targets(notes, x.shape[0]), axis=0).astype(np.float16))
        self.frames = sum(x.shape[0] for x in self.features)

    def seconds(self):
        return self.frames * frame_seconds()

    def batch(self, rng, size, length):
        """(features B x T x bins, targets B x 4 x T x 88) of random crops, float32."""
        xs = np.zeros((size, length, BINS), np.float32)
        ys = np.zeros((size, 4, length, NOTES), np.float32)
        weights = np.array([x.shape[0] for x in self.features], np.float64)
        weights /= weights.sum()
        for k in range(size):
            c = int(rng.choice(len(self.features), p=weights))
            x, y = self.features[c], self.targets[c]
            start = int(rng.integers(-length // 4, max(1, x.shape[0] - length + length // 4)))
            lo, hi = max(0, start), min(x.shape[0], start + length)
            if hi > lo:
                xs[k, lo - start:hi - start] = x[lo:hi]
                ys[k, :, lo - start:hi - start] = y[:, lo:hi]
        return xs, ys
