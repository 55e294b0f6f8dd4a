"""Augmentation of rendered clips; every parameter drawn is returned for the manifest.

Steps, in order (each may be skipped by its draw):
  detune   resampling by up to +-20 cents: pitch labels are kept, label times
           scale with the resampling (a clip played 1% faster ends 1% sooner);
  eq       one to three random filters (low shelf, high shelf, peaking);
  room     a synthetic room: direct sound, early reflections and exponentially
           decaying noise with a random RT60, mixed with the dry sound;
  noise    white, pink, brown or mains hum at a random signal-to-noise ratio;
  level    the final peak level, -30..0 dBFS.
Mixing two independent renders is done by the generator (it owns the sources);
mix() here sums them and merges their labels.
"""

import math

import numpy as np
from scipy.signal import fftconvolve, lfilter

from audio import RATE, read_at


def _shelf(kind, f0, gain_db, slope=1.0):
    """RBJ low or high shelf coefficients (b, a)."""
    a_ = 10.0 ** (gain_db / 40.0)
    w = 2 * math.pi * f0 / RATE
    cos, sin = math.cos(w), math.sin(w)
    alpha = sin / 2 * math.sqrt((a_ + 1 / a_) * (1 / slope - 1) + 2)
    root = 2 * math.sqrt(a_) * alpha
    if kind == "lowshelf":
        b = [a_ * ((a_ + 1) - (a_ - 1) * cos + root), 2 * a_ * ((a_ - 1) - (a_ + 1) * cos),
             a_ * ((a_ + 1) - (a_ - 1) * cos - root)]
        a = [(a_ + 1) + (a_ - 1) * cos + root, -2 * ((a_ - 1) + (a_ + 1) * cos), (a_ + 1) + (a_ - 1) * cos - root]
    else:
        b = [a_ * ((a_ + 1) + (a_ - 1) * cos + root), -2 * a_ * ((a_ - 1) + (a_ + 1) * cos),
             a_ * ((a_ + 1) + (a_ - 1) * cos - root)]
        a = [(a_ + 1) - (a_ - 1) * cos + root, 2 * ((a_ - 1) - (a_ + 1) * cos), (a_ + 1) - (a_ - 1) * cos - root]
    return np.array(b) / a[0], np.array(a) / a[0]


def _peaking(f0, q, gain_db):
    a_ = 10.0 ** (gain_db / 40.0)
    w = 2 * math.pi * f0 / RATE
    alpha = math.sin(w) / (2 * q)
    b = np.array([1 + alpha * a_, -2 * math.cos(w), 1 - alpha * a_])
    a = np.array([1 + alpha / a_, -2 * math.cos(w), 1 - alpha / a_])
    return b / a[0], a / a[0]


def detune(samples, labels, cents):
    """Resamples so that every pitch moves by cents; label times scale by the same ratio."""
    ratio = 2.0 ** (cents / 1200.0)
    count = int(len(samples) / ratio)
    position = np.arange(count) * ratio
    y = read_at(samples.astype(np.float32), position)
    moved = [(round(on / ratio, 6), round(off / ratio, 6), note, vel) for on, off, note, vel in labels]
    return y, moved


def equalise(samples, filters):
    y = samples.astype(np.float64)
    for f in filters:
        if f["type"] == "peaking":
            b, a = _peaking(f["hz"], f["q"], f["gain_db"])
        else:
            b, a = _shelf(f["type"], f["hz"], f["gain_db"])
        y = lfilter(b, a, y)
    return y.astype(np.float32)


def room_response(noise, rt60, early, pre_delay):
    """An impulse response: unit direct sound, early reflections, then decaying noise."""
    length = int(min(rt60 * 1.2, 3.0) * RATE)
    t = np.arange(length) / RATE
    tail = noise.standard_normal(length) * np.exp(-6.9078 * t / rt60)   # -60 dB at rt60
    tail[: int(pre_delay * RATE)] = 0.0
    # The diffuse tail gets darker as it decays: a one-pole low-pass on it.
    tail = lfilter([0.35], [1.0, -0.65], tail)
    h = 0.08 * tail
    h[0] = 1.0
    for delay, gain in early:
        i = int(delay * RATE)
        if i < length:
            h[i] += gain
    return h


def reverberate(samples, noise, room):
    h = room_response(noise, room["rt60_s"], room["early"], room["pre_delay_s"])
    wet = fftconvolve(samples.astype(np.float64), h)[: len(samples)]
    dry = samples.astype(np.float64)
    # Level-match the wet sound to the dry one before mixing, so `wet` is a true proportion.
    scale = math.sqrt(np.mean(dry ** 2) / max(np.mean(wet ** 2), 1e-20)) if np.any(dry) else 0.0
    return ((1 - room["wet"]) * dry + room["wet"] * scale * wet).astype(np.float32)


def coloured_noise(noise, kind, count):
    white = noise.standard_normal(count)
    if kind == "white":
        return white
    if kind == "pink":
        # Paul Kellet's economy pink filter.
        b = [0.049922035, -0.095993537, 0.050612699, -0.004408786]
        a = [1.0, -2.494956002, 2.017265875, -0.522189400]
        return lfilter(b, a, white)
    if kind == "brown":
        return lfilter([1.0], [1.0, -0.995], white)
    raise ValueError(kind)


def add_noise(samples, noise, setting):
    count = len(samples)
    if setting["kind"] == "hum":
        t = np.arange(count) / RATE
        n = sum(np.sin(2 * math.pi * setting["mains_hz"] * k * t + k) / k for k in range(1, 6))
    else:
        n = coloured_noise(noise, setting["kind"], count)
    signal_power = float(np.mean(samples.astype(np.float64) ** 2))
    noise_power = float(np.mean(n ** 2))
    if signal_power <= 0 or noise_power <= 0:
        return samples
    gain = math.sqrt(signal_power / noise_power / 10.0 ** (setting["snr_db"] / 10.0))
    return (samples + gain * n).astype(np.float32)


def set_level(samples, peak_dbfs):
    peak = float(np.max(np.abs(samples))) if len(samples) else 0.0
    if peak == 0.0:
        return samples
    return (samples * (10.0 ** (peak_dbfs / 20.0) / peak)).astype(np.float32)


def mix(first, first_labels, second, second_labels, second_gain_db):
    """The sum of two renders (the longer's length) and their merged labels."""
    count = max(len(first), len(second))
    y = np.zeros(count, dtype=np.float32)
    y[: len(first)] += first
    y[: len(second)] += second * np.float32(10.0 ** (second_gain_db / 20.0))
    return y, sorted(first_labels + second_labels)


def draw(rng):
    """The augmentation parameters of one clip (mixing is drawn by the generator)."""
    p = {}
    if rng.random() < 0.3:
        p["detune_cents"] = round(rng.uniform(-20.0, 20.0), 2)
    if rng.random() < 0.7:
        filters = []
        for _ in range(rng.randint(1, 3)):
            kind = rng.choice(["lowshelf", "highshelf", "peaking", "peaking"])
            f = {"type": kind, "gain_db": round(rng.uniform(-12.0, 9.0), 2)}
            if kind == "lowshelf":
                f["hz"] = round(math.exp(rng.uniform(math.log(60), math.log(600))), 1)
            elif kind == "highshelf":
                f["hz"] = round(math.exp(rng.uniform(math.log(1500), math.log(10000))), 1)
            else:
                f["hz"] = round(math.exp(rng.uniform(math.log(80), math.log(8000))), 1)
                f["q"] = round(rng.uniform(0.4, 4.0), 3)
            filters.append(f)
        p["eq"] = filters
    if rng.random() < 0.4:
        rt60 = round(math.exp(rng.uniform(math.log(0.15), math.log(2.0))), 3)
        p["room"] = {
            "rt60_s": rt60,
            "pre_delay_s": round(rng.uniform(0.005, 0.03), 4),
            "early": [(round(rng.uniform(0.002, 0.05), 4), round(rng.uniform(-0.5, 0.6), 3))
                      for _ in range(rng.randint(3, 10))],
            "wet": round(rng.uniform(0.1, 0.6), 3),
        }
    if rng.random() < 0.4:
        kind = rng.choice(["white", "pink", "pink", "brown", "hum"])
        p["noise"] = {"kind": kind, "snr_db": round(rng.uniform(12.0, 45.0), 2)}
        if kind == "hum":
            p["noise"]["mains_hz"] = rng.choice([50.0, 60.0])
    p["peak_dbfs"] = round(rng.uniform(-30.0, 0.0), 2)
    return p


def apply(samples, labels, params, noise):
    """(samples, labels) after the drawn steps; noise is a numpy Generator."""
    if "detune_cents" in params:
        samples, labels = detune(samples, labels, params["detune_cents"])
    if "eq" in params:
        samples = equalise(samples, params["eq"])
    if "room" in params:
        samples = reverberate(samples, noise, params["room"])
    if "noise" in params:
        samples = add_noise(samples, noise, params["noise"])
    return set_level(samples, params["peak_dbfs"]), labels
