#!/usr/bin/python3
"""Generates labelled training clips for the polyphonic recognizer.

    generate.py --out DIR --split NAME --clips N --seed S [--jobs J] [--heldout]
                [--sources NAME,...]
    generate.py --self-test

writes into DIR/NAME/:
  <id>.wav        mono 44100 Hz 16-bit PCM, the final (augmented) audio;
                  <id> is NAME-<index, six digits>
  <id>.tsv        onset_s, offset_s, note, velocity per labelled note, sorted
                  by onset (offset = note-off: how long the note was held)
  manifest.jsonl  one JSON object per clip, in index order: id, split, index,
                  seconds, seed, split_seed, music parameters (a list: two
                  pieces when two renders are mixed), every sound source
                  (kind, path, sha256, programs, settings), augmentation
                  parameters, and the generator's version

A clip's content depends only on (seed, split, index), never on --jobs. A
folder that already holds the same split from the same generator is kept
(so a resumed run does not render again). The finished manifest is checked
against allowed_sources.txt. --sources restricts the draw to some sources
(for quick runs). --heldout renders with the held-out FluidR3 GM SoundFont
only, for the benchmark; its split name must start with "heldout" so that it
never shares a folder with training data, and its manifest lines say
"heldout": true.
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
import manifest  # noqa: E402
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


def _pick_source(rng, heldout, only=None):
    table = HELDOUT_SOURCES if heldout else TRAINING_SOURCES
    names = sorted(n for n in table if only is None or n in only)
    return rng.choices(names, weights=[table[n][0] for n in names])[0]


def _render(rng, heldout, workdir, seconds=None, only=None):
    """(samples cut to the piece's length, labels, piece, source record) of one drawn piece."""
    source_rng, music_rng, render_rng = (random.Random(rng.getrandbits(64)) for _ in range(3))
    name = _pick_source(source_rng, heldout, only)
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


def make_clip(split, index, seed, heldout, workdir, only=None):
    """(samples, labels, manifest record) of one clip; only: the source names to draw from."""
    own_seed = clip_seed(seed, split, index)
    rng = random.Random(own_seed)
    main_rng, mix_rng, augment_rng = (random.Random(rng.getrandbits(64)) for _ in range(3))
    samples, labels, piece, record = _render(main_rng, heldout, workdir, only=only)
    sources = [dict(record, role="main")]
    musics = [piece.params]
    mixed = None
    if mix_rng.random() < MIX_CHANCE:
        gain_db = round(mix_rng.uniform(-12.0, 0.0), 2)
        other, other_labels, other_piece, other_record = _render(mix_rng, heldout, workdir,
                                                                 seconds=piece.seconds, only=only)
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
        "single_line": len(musics) == 1 and musics[0]["single_line"],
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
    folder, split, index, seed, heldout, only = task
    workdir = tempfile.mkdtemp(prefix="selvik-gen-")
    try:
        samples, labels, manifest = make_clip(split, index, seed, heldout, workdir, only)
        write_clip(folder, samples, labels, manifest)
        return manifest
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def generator_version():
    """sha256 over the generator's own source files: a changed generator makes new data."""
    names = ["generate.py", "music.py", "augment.py", "audio.py"]
    names += [os.path.join("sources", n) for n in sorted(os.listdir(os.path.join(HERE, "sources")))
              if n.endswith(".py")]
    h = hashlib.sha256()
    for n in names:
        with open(os.path.join(HERE, n), "rb") as f:
            h.update(n.encode() + b"\0" + hashlib.sha256(f.read()).digest())
    return h.hexdigest()


def _complete(folder, manifest_path, split, clips, seed, heldout, only, version):
    """Whether the folder already holds exactly this split, made by this generator."""
    try:
        with open(manifest_path) as f:
            records = [json.loads(line) for line in f]
    except (OSError, ValueError):
        return False
    if len(records) != clips:
        return False
    for i, r in enumerate(records):
        if (r.get("index") != i or r.get("split") != split or r.get("split_seed") != seed
                or r.get("heldout") != heldout or r.get("generator") != version
                or r.get("only_sources") != (sorted(only) if only else None)):
            return False
        stem = os.path.join(folder, r["id"])
        if not (os.path.exists(stem + ".wav") and os.path.exists(stem + ".tsv")):
            return False
    return True


def generate_split(out_dir, split, clips, seed, jobs=1, heldout=False, progress=None, sources=None):
    """Writes clips 0..clips-1 of the split into out_dir/split and returns the manifest path.

    sources: names from TRAINING_SOURCES to draw from (default all). A folder that
    already holds this very split (same clips, seed, sources and generator) is kept
    as it is. The finished manifest is checked against the allow-list."""
    if heldout != split.startswith("heldout"):
        raise ValueError(f"split {split!r}: held-out splits, and only they, are named heldout*")
    table = HELDOUT_SOURCES if heldout else TRAINING_SOURCES
    only = tuple(sorted(sources)) if sources else None
    for name in only or ():
        if name not in table:
            raise ValueError(f"unknown source {name!r} (known: {', '.join(sorted(table))})")
    folder = os.path.join(out_dir, split)
    os.makedirs(folder, exist_ok=True)
    manifest_path = os.path.join(folder, "manifest.jsonl")
    version = generator_version()
    if _complete(folder, manifest_path, split, clips, seed, heldout, only, version):
        if progress:
            progress(clips, clips)
        return manifest_path
    # Clear what an earlier run of this split left, so no stale clip survives.
    for name in os.listdir(folder):
        if name.startswith(split + "-") and name.endswith((".wav", ".tsv")):
            os.remove(os.path.join(folder, name))
    if os.path.exists(manifest_path):
        os.remove(manifest_path)
    tasks = [(folder, split, i, seed, heldout, only) for i in range(clips)]

    def write(manifest_file, done, record):
        record["generator"] = version
        record["only_sources"] = list(only) if only else None
        manifest_file.write(json.dumps(record, sort_keys=True) + "\n")
        if progress:
            progress(done, clips)

    with open(manifest_path + ".part", "w") as manifest_file:
        if jobs > 1:
            with multiprocessing.get_context("fork").Pool(jobs) as pool:
                for done, record in enumerate(pool.imap(_job, tasks, chunksize=1), 1):
                    write(manifest_file, done, record)
        else:
            for done, task in enumerate(tasks, 1):
                write(manifest_file, done, _job(task))
    manifest.check_sources(manifest_path + ".part", heldout=heldout)
    os.replace(manifest_path + ".part", manifest_path)
    return manifest_path


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out")
    parser.add_argument("--split")
    parser.add_argument("--clips", type=int)
    parser.add_argument("--seed", type=int)
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--heldout", action="store_true",
                        help="render with the held-out FluidR3 GM SoundFont (benchmark only)")
    parser.add_argument("--sources", help="comma-separated source names to draw from (default: all of "
                        + ", ".join(sorted(TRAINING_SOURCES)) + ")")
    parser.add_argument("--self-test", action="store_true", help="run the generator's checks and exit")
    args = parser.parse_args(argv)
    if args.self_test:
        import selftest
        return selftest.run()
    missing = [n for n in ("out", "split", "clips", "seed") if getattr(args, n) is None]
    if missing:
        parser.error("the following arguments are required: " + ", ".join("--" + n for n in missing))
    started = time.time()

    def progress(done, total):
        if done == total or done % 50 == 0:
            print(f"generate: {args.split} {done}/{total} clips, {time.time() - started:.0f} s", file=sys.stderr)

    sources = args.sources.split(",") if args.sources else None
    folder = os.path.join(args.out, args.split)
    kept = _complete(folder, os.path.join(folder, "manifest.jsonl"), args.split, args.clips, args.seed,
                     args.heldout, tuple(sorted(sources)) if sources else None, generator_version())
    try:
        path = generate_split(args.out, args.split, args.clips, args.seed, args.jobs, args.heldout, progress,
                              sources)
    except (ValueError, FileNotFoundError, RuntimeError) as e:
        print(f"generate: {e}", file=sys.stderr)
        return 1
    seconds = 0.0
    with open(path) as f:
        for line in f:
            seconds += json.loads(line)["seconds"]
    wall = time.time() - started
    if kept:
        print(f"generate: {os.path.dirname(path)} already holds these {args.clips} clips "
              f"({seconds:.0f} s of audio) from this generator; kept", file=sys.stderr)
        return 0
    print(f"generate: wrote {args.clips} clips, {seconds:.0f} s of audio in {wall:.1f} s "
          f"({seconds / max(wall, 1e-9):.0f}x real time) to {os.path.dirname(path)}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
