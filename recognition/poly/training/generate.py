#!/usr/bin/python3
"""Generates labelled training clips for the polyphonic recognizer.

    generate.py --out DIR --split NAME --clips N --seed S [--jobs J] [--heldout]

writes into DIR/NAME/:
  <id>.wav        mono 44100 Hz 16-bit PCM, the final (augmented) audio
  <id>.tsv        onset_s, offset_s, note, velocity per labelled note, sorted by onset
  manifest.jsonl  one JSON object per clip: id, split, seconds, seed, music
                  parameters, every sound source (kind, path, sha256,
                  programs), augmentation parameters

A clip's content depends only on (seed, split, index), never on --jobs.
--heldout renders with the held-out FluidR3 GM SoundFont only, for the
benchmark; its split name must start with "heldout" so that it never shares a
folder with training data, and its manifest lines say "heldout": true.
"""

import argparse
import hashlib
import json
import multiprocessing
import os
import random
import shutil
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import numpy as np  # noqa: E402

import augment  # noqa: E402
import music  # noqa: E402
from audio import RATE, fit_length, write_wav16  # noqa: E402
from sources import fluidsynth, sampler, synths, timidity  # noqa: E402


def clip_seed(seed, split, index):
    """The clip's own seed: independent of how clips are spread over jobs."""
    digest = hashlib.sha256(f"{seed}/{split}/{index}".encode()).digest()
    return int.from_bytes(digest[:8], "little") >> 1


# name -> (weight, factory). The weights are the share of clips rendered by each source.
TRAINING_SOURCES = {
    "fluidsynth-timgm6mb": (0.30, lambda: fluidsynth.FluidSynthSource(fluidsynth.TIMGM6MB)),
    "fluidsynth-opl3": (0.12, lambda: fluidsynth.FluidSynthSource(fluidsynth.OPL3)),
    "timidity-freepats": (0.20, lambda: timidity.TimiditySource()),
    "sampler-salamander": (0.15, lambda: sampler.SamplerSource()),
    "synth": (0.23, lambda: synths.SynthSource()),
}
HELDOUT_SOURCES = {
    "fluidsynth-fluidr3": (1.0, lambda: fluidsynth.FluidSynthSource(fluidsynth.FLUIDR3)),
}
MIX_CHANCE = 0.12

# How long after the note-on a source's sound starts (seconds), added to its
# labels' onsets so that every source's onset is where its sound begins.
# Measured with `labelcheck.py probe` (the first sample above -50 dB of the
# note's peak, median over quickly speaking programs): FluidSynth starts notes
# at its next 64-sample block (0-1.45 ms later) and the SoundFonts' samples
# begin with a little silence; TiMidity++ (with --preserve-silence), our
# sampler (trimmed to 1 ms before the attack) and our synthesizers start
# within 1 ms. Offsets stay at the note-off: the release is not delayed.
ONSET_DELAY_S = {
    "fluidsynth-timgm6mb": 0.0025,
    "fluidsynth-opl3": 0.008,
}

_source_cache = {}


def _source(name, heldout):
    if name not in _source_cache:
        table = HELDOUT_SOURCES if heldout else TRAINING_SOURCES
        _source_cache[name] = table[name][1]()
    return _source_cache[name]


def _pick_source(rng, heldout):
    table = HELDOUT_SOURCES if heldout else TRAINING_SOURCES
    names = sorted(table)
    return rng.choices(names, weights=[table[n][0] for n in names])[0]


def _render(rng, heldout, workdir, seconds=None):
    """(samples cut to the piece's length, labels, piece, source record) of one drawn piece."""
    source_rng, music_rng, render_rng = (random.Random(rng.getrandbits(64)) for _ in range(3))
    name = _pick_source(source_rng, heldout)
    source = _source(name, heldout)
    piece = music.make_piece(music_rng, instruments=source.instruments(), seconds=seconds)
    samples, record = source.render(piece, render_rng, workdir)
    samples = fit_length(samples, int(round(piece.seconds * RATE)))
    delay = ONSET_DELAY_S.get(name, 0.0)
    labels = [(round(on + delay, 6), round(max(off, on + delay + 0.01), 6), note, velocity)
              for on, off, note, velocity in piece.labels()]
    return samples, labels, piece, dict(record, name=name, onset_delay_s=delay)


def max_polyphony(labels):
    events = sorted([(on, 1) for on, _, _, _ in labels] + [(off, -1) for _, off, _, _ in labels])
    now = most = 0
    for _, step in events:
        now += step
        most = max(most, now)
    return most


def make_clip(split, index, seed, heldout, workdir):
    """(samples, labels, manifest record) of one clip."""
    own_seed = clip_seed(seed, split, index)
    rng = random.Random(own_seed)
    main_rng, mix_rng, augment_rng = (random.Random(rng.getrandbits(64)) for _ in range(3))
    samples, labels, piece, record = _render(main_rng, heldout, workdir)
    sources = [dict(record, role="main")]
    musics = [piece.params]
    mixed = None
    if mix_rng.random() < MIX_CHANCE:
        gain_db = round(mix_rng.uniform(-12.0, 0.0), 2)
        other, other_labels, other_piece, other_record = _render(mix_rng, heldout, workdir, seconds=piece.seconds)
        samples, labels = augment.mix(samples, labels, other, other_labels, gain_db)
        sources.append(dict(other_record, role="mix"))
        musics.append(other_piece.params)
        mixed = {"second_gain_db": gain_db}
    params = augment.draw(augment_rng)
    if mixed:
        params["mix"] = mixed
    noise = np.random.default_rng(augment_rng.getrandbits(64))
    samples, labels = augment.apply(samples, labels, params, noise)

    clip_id = f"{split}-{index:06d}"
    manifest = {
        "id": clip_id,
        "split": split,
        "index": index,
        "seed": own_seed,
        "split_seed": seed,
        "heldout": heldout,
        "seconds": round(len(samples) / RATE, 6),
        "notes": len(labels),
        "voices": sum(m["voices"] for m in musics),
        "max_polyphony": max_polyphony(labels),
        "music": musics,
        "sources": sources,
        "augmentation": params,
    }
    return samples.astype(np.float32), labels, manifest


def write_clip(folder, samples, labels, manifest):
    stem = os.path.join(folder, manifest["id"])
    write_wav16(stem + ".wav", samples)
    with open(stem + ".tsv", "w") as f:
        for onset, offset, note, velocity in labels:
            f.write(f"{onset:.6f}\t{offset:.6f}\t{note}\t{velocity}\n")


def _job(task):
    folder, split, index, seed, heldout = task
    workdir = tempfile.mkdtemp(prefix="selvik-gen-")
    try:
        samples, labels, manifest = make_clip(split, index, seed, heldout, workdir)
        write_clip(folder, samples, labels, manifest)
        return manifest
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def generate_split(out_dir, split, clips, seed, jobs=1, heldout=False, progress=None):
    """Writes clips 0..clips-1 of the split into out_dir/split; returns the manifest path."""
    if heldout != split.startswith("heldout"):
        raise ValueError(f"split {split!r}: held-out splits, and only they, are named heldout*")
    folder = os.path.join(out_dir, split)
    os.makedirs(folder, exist_ok=True)
    tasks = [(folder, split, i, seed, heldout) for i in range(clips)]
    manifest_path = os.path.join(folder, "manifest.jsonl")
    with open(manifest_path + ".part", "w") as manifest_file:
        if jobs > 1:
            with multiprocessing.get_context("fork").Pool(jobs) as pool:
                results = pool.imap(_job, tasks, chunksize=1)
                for done, record in enumerate(results, 1):
                    manifest_file.write(json.dumps(record, sort_keys=True) + "\n")
                    if progress:
                        progress(done, clips)
        else:
            for done, task in enumerate(tasks, 1):
                manifest_file.write(json.dumps(_job(task), sort_keys=True) + "\n")
                if progress:
                    progress(done, clips)
    os.replace(manifest_path + ".part", manifest_path)
    return manifest_path


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True)
    parser.add_argument("--split", required=True)
    parser.add_argument("--clips", type=int, required=True)
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--heldout", action="store_true",
                        help="render with the held-out FluidR3 GM SoundFont (benchmark only)")
    args = parser.parse_args(argv)
    started = time.time()

    def progress(done, total):
        if done == total or done % 50 == 0:
            print(f"generate: {args.split} {done}/{total} clips, {time.time() - started:.0f} s", file=sys.stderr)

    path = generate_split(args.out, args.split, args.clips, args.seed, args.jobs, args.heldout, progress)
    seconds = 0.0
    with open(path) as f:
        for line in f:
            seconds += json.loads(line)["seconds"]
    wall = time.time() - started
    print(f"generate: wrote {args.clips} clips, {seconds:.0f} s of audio in {wall:.1f} s "
          f"({seconds / max(wall, 1e-9):.0f}x real time) to {os.path.dirname(path)}", file=sys.stderr)


if __name__ == "__main__":
    main()
