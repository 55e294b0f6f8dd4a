#!/usr/bin/python3
"""Seconds of audio rendered per CPU second, per sound source and for the augmentation.

    speed.py [--pieces N] [--sources NAME,...]

Renders N drawn pieces (default 10) with each source and prints audio
seconds per CPU second of this process and its children (FluidSynth,
TiMidity++), so the figure is the speed on one core whatever else the
machine runs. With --jobs J, generate.py runs J such processes at once.
"""

import argparse
import os
import random
import resource
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import numpy as np  # noqa: E402

import augment  # noqa: E402
import generate  # noqa: E402
import music  # noqa: E402
from audio import RATE  # noqa: E402


def cpu_seconds():
    own = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--pieces", type=int, default=10)
    parser.add_argument("--sources", default=",".join(sorted(generate.TRAINING_SOURCES)))
    args = parser.parse_args()
    rates = {}
    with tempfile.TemporaryDirectory(prefix="selvik-speed-") as workdir:
        for name in args.sources.split(","):
            source = generate._source(name, False)
            source.render(music.make_piece(random.Random(0), instruments=source.instruments(), seconds=2.0),
                          random.Random(0), workdir)  # loads what the source loads once
            seconds, started = 0.0, cpu_seconds()
            for k in range(args.pieces):
                piece = music.make_piece(random.Random(k), instruments=source.instruments())
                source.render(piece, random.Random(k), workdir)
                seconds += piece.seconds
            rates[name] = seconds / (cpu_seconds() - started)
            print(f"{name:22s} {rates[name]:6.1f} s of audio per CPU second")
    seconds, started = 0.0, cpu_seconds()
    noise = np.random.default_rng(0)
    for k in range(args.pieces):
        x = noise.standard_normal(15 * RATE).astype(np.float32)
        augment.apply(x, [(1.0, 2.0, 60, 100)], augment.draw(random.Random(k)), noise)
        seconds += 15.0
    print(f"{'augmentation':22s} {seconds / (cpu_seconds() - started):6.1f} s of audio per CPU second")
    weights = {n: generate.TRAINING_SOURCES[n][0] for n in rates}
    total = sum(weights.values())
    mixed = total / sum(weights[n] / rates[n] for n in rates)
    print(f"{'weighted mix':22s} {mixed:6.1f} s of audio per CPU second (rendering only)")


if __name__ == "__main__":
    main()
