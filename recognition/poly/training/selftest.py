"""The generator's own checks, run by `generate.py --self-test` (and by CTest).

Each check renders for real (FluidSynth with TimGM6mb and our synthesizers
are always there; TiMidity++, the OPL3 SoundFont and the piano samples only
after `scripts/setup --train`, and their checks are skipped, with a message,
where they are missing). Exit status 0 when every check that ran passed.
"""

import json
import math
import os
import random
import shutil
import sys
import tempfile
import traceback

import numpy as np

import augment
import generate
import manifest
import music
from audio import RATE, read_wav
from labelcheck import first_sound, probe_piece
from sources import fluidsynth, synths

ALWAYS = ["fluidsynth-timgm6mb", "synth"]


def _available(name):
    try:
        generate._source(name, False)
        return True
    except (FileNotFoundError, OSError):
        return False


def _files(folder):
    return {n: open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder))}


def check_deterministic_for_a_seed(tmp):
    """The same seed gives the same bytes with one job or two; another seed gives others."""
    a = generate.generate_split(os.path.join(tmp, "a"), "check", 3, 5, jobs=1, sources=ALWAYS)
    b = generate.generate_split(os.path.join(tmp, "b"), "check", 3, 5, jobs=2, sources=ALWAYS)
    c = generate.generate_split(os.path.join(tmp, "c"), "check", 3, 6, jobs=1, sources=ALWAYS)
    fa, fb, fc = (_files(os.path.dirname(p)) for p in (a, b, c))
    assert sorted(fa) == sorted(fb), (sorted(fa), sorted(fb))
    for name in fa:
        assert fa[name] == fb[name], f"{name} differs between one job and two"
    assert fa["check-000000.wav"] != fc["check-000000.wav"], "seed 6 rendered what seed 5 did"
    assert len(fa) == 3 * 2 + 1


def check_labels_lie_within_the_audio(tmp):
    """Every label: sorted by onset, 0 <= onset < offset <= clip length, notes 21..108."""
    path = os.path.join(tmp, "a", "check", "manifest.jsonl")
    records = manifest.read_manifest(path)
    assert len(records) == 3
    for r in records:
        stem = os.path.join(os.path.dirname(path), r["id"])
        x, rate = read_wav(stem + ".wav")
        assert rate == RATE
        seconds = len(x) / RATE
        assert abs(seconds - r["seconds"]) < 1e-5, (seconds, r["seconds"])
        assert 7.0 <= seconds <= 21.0, seconds
        rows = [line.rstrip("\n").split("\t") for line in open(stem + ".tsv")]
        assert len(rows) == r["notes"] > 0, (len(rows), r["notes"])
        onsets = [float(row[0]) for row in rows]
        assert onsets == sorted(onsets)
        for onset, offset, note, velocity in rows:
            assert 0.0 <= float(onset) < float(offset) <= seconds + 1e-6, (onset, offset, seconds)
            assert 21 <= int(note) <= 108 and 1 <= int(velocity) <= 127, (note, velocity)
        assert float(np.max(np.abs(x))) > 10 ** (-31 / 20), "the clip is near silent"


def check_drums_are_never_labelled(tmp):
    """A piece with drums labels only its pitched parts; drums alone sound but give no labels."""
    piece = music.make_piece(random.Random(3), with_drums=True, single_line=True)
    drum_parts = [p for p in piece.parts if p.drum]
    assert len(drum_parts) == 1 and drum_parts[0].channel == music.DRUM_CHANNEL
    assert len(piece.labels()) == sum(len(p.notes) for p in piece.parts if not p.drum)
    midi = music.to_midi(piece)
    drum_notes = sum(1 for t in midi.tracks for m in t if m.type == "note_on" and m.channel == 9)
    assert drum_notes == len(drum_parts[0].notes) > 0
    alone = music.Piece(drum_parts, piece.seconds, {})
    assert alone.labels() == []
    for source in (fluidsynth.FluidSynthSource(fluidsynth.TIMGM6MB), synths.SynthSource()):
        samples, _ = source.render(alone, random.Random(1), tmp)
        assert float(np.max(np.abs(samples))) > 1e-3, f"{source.name}: the drums are silent"


def check_the_allow_list_refuses_held_out_and_unknown_sources(tmp):
    allowed = manifest.read_allow_list()
    assert not set(allowed) & set(manifest.HELD_OUT)
    good = os.path.join(tmp, "a", "check", "manifest.jsonl")
    assert manifest.check_sources(good) == 3
    record = manifest.read_manifest(good)[0]
    fluidr3 = dict(record["sources"][0], kind="fluidsynth", path=fluidsynth.FLUIDR3,
                   sha256=next(iter(manifest.HELD_OUT)))
    unknown = dict(record["sources"][0], kind="fluidsynth", path="/usr/share/sounds/sf2/Other.sf2",
                   sha256="0" * 64)
    renamed = dict(fluidr3, path="/usr/share/sounds/sf2/default-GM.sf2")
    for source, words in ((fluidr3, "held out"), (unknown, "not on the allow-list"), (renamed, "held out")):
        bad = os.path.join(tmp, "bad.jsonl")
        with open(bad, "w") as f:
            f.write(json.dumps(dict(record, sources=record["sources"] + [source])) + "\n")
        try:
            manifest.check_sources(bad)
        except manifest.SourceNotAllowed as e:
            assert words in str(e), str(e)
        else:
            raise AssertionError(f"{source['path']} was accepted")
    # A held-out render may only sit in a held-out split, and training data never in one.
    for split, heldout in (("heldout-bench", False), ("bench", True)):
        try:
            generate.generate_split(tmp, split, 1, 1, heldout=heldout)
        except ValueError:
            pass
        else:
            raise AssertionError(f"split {split} accepted with heldout={heldout}")
    # The training sources never include the held-out file.
    for name, (_, factory) in generate.TRAINING_SOURCES.items():
        if _available(name):
            path = getattr(generate._source(name, False), "path", "")
            assert "FluidR3" not in path, name


def check_onsets_line_up_with_the_sound(tmp):
    """Where a source's sound starts (first sample above -50 dB) is within 1.5 ms of its labels."""
    ran = []
    for name in sorted(generate.TRAINING_SOURCES):
        if not _available(name):
            print(f"self-test: skipped the onsets of {name} (not installed: scripts/setup --train)")
            continue
        source = generate._source(name, False)
        piece = probe_piece(random.Random(2), source.instruments(), 12)
        samples, _ = source.render(piece, random.Random(4), tmp)
        delay = generate.ONSET_DELAY_S.get(name, 0.0)
        errors = np.array([first_sound(samples, on + delay) for on, _, _, _ in piece.labels()]) * 1000.0
        assert abs(float(np.median(errors))) <= 1.5, f"{name}: onsets off by {np.median(errors):.1f} ms"
        assert float(np.mean(np.abs(errors) <= 4.0)) >= 0.75, f"{name}: onset errors {np.round(errors, 1)}"
        ran.append(name)
    assert set(ALWAYS) <= set(ran)


def check_detuning_moves_labels_with_the_sound():
    x = np.zeros(3 * RATE, dtype=np.float32)
    x[RATE] = 1.0
    y, labels = augment.detune(x, [(1.0, 2.0, 60, 100)], 20.0)
    ratio = 2.0 ** (20.0 / 1200.0)
    peak = int(np.argmax(y))
    assert abs(peak / RATE - labels[0][0]) <= 1.0 / RATE, (peak / RATE, labels[0][0])
    assert abs(labels[0][1] - 2.0 / ratio) < 1e-6 and labels[0][2] == 60


def _pitch_error_cents(samples, pitch, start=0.2):
    seg = samples[int(start * RATE):int(start * RATE) + 16384]
    spectrum = np.abs(np.fft.rfft(seg * np.hanning(len(seg)), 8 * len(seg)))
    freqs = np.fft.rfftfreq(8 * len(seg), 1.0 / RATE)
    f0 = 440.0 * 2 ** ((pitch - 69) / 12)
    band = (freqs > f0 * 0.95) & (freqs < f0 * 1.05)
    return 1200.0 * math.log2(freqs[band][np.argmax(spectrum[band])] / f0)


def check_synthesized_and_sampled_notes_are_in_tune(tmp):
    """A plucked string (integer delay line, resampled) and shifted piano samples sound their note."""
    synth = synths.Synth(random.Random(5))
    params = synth.draw("plucked")
    for pitch in (45, 69, 96):
        note = music.Note(0.0, 1.0, pitch, 100)
        y = synth.note(params, note, np.array([0.0]), np.array([0.0]), RATE)
        error = _pitch_error_cents(y, pitch, start=0.05)
        assert abs(error) <= 8.0, f"plucked note {pitch} is {error:.1f} cents off"
    if not _available("sampler-salamander"):
        print("self-test: skipped the sampler's tuning (not installed: scripts/setup --train)")
        return
    # The piano is stretch-tuned (its top octaves sharp, as real pianos are): a shifted note
    # must keep the tuning of the sample it was made from.
    source = generate._source("sampler-salamander", False)
    source._load()
    for pitch, key in ((46, 45), (70, 69), (83, 84)):
        part = music.Part(0, "melody", [music.Note(0.0, 1.5, pitch, 90)], instrument="acoustic grand piano")
        y, _ = source.render(music.Piece([part], 1.5, {}), random.Random(1), tmp)
        error = _pitch_error_cents(y, pitch) - _pitch_error_cents(source._tones[key][RATE // 1000:], key)
        assert abs(error) <= 5.0, f"sampled note {pitch} is {error:.1f} cents off its sample {key}"


CHECKS = [
    check_deterministic_for_a_seed,
    check_labels_lie_within_the_audio,
    check_drums_are_never_labelled,
    check_the_allow_list_refuses_held_out_and_unknown_sources,
    check_onsets_line_up_with_the_sound,
    check_detuning_moves_labels_with_the_sound,
    check_synthesized_and_sampled_notes_are_in_tune,
]


def run():
    tmp = tempfile.mkdtemp(prefix="selvik-selftest-")
    failed = 0
    try:
        for check in CHECKS:
            try:
                if check.__code__.co_argcount:
                    check(tmp)
                else:
                    check()
                print(f"self-test: {check.__name__[6:]}: ok")
            except Exception:  # report every failing check, not just the first
                failed += 1
                print(f"self-test: {check.__name__[6:]}: FAILED", file=sys.stderr)
                traceback.print_exc()
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print(f"self-test: {len(CHECKS) - failed} passed, {failed} failed")
    return 1 if failed else 0
