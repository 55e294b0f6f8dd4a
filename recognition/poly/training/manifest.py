#!/usr/bin/python3
"""Checks and summarises the manifests the generator writes.

    manifest.py check MANIFEST.jsonl... [--heldout]
    manifest.py summary MANIFEST.jsonl... [--out FILE]

check: refuses (exit status 1, one line per problem) any clip with a sound
source whose checksum is not on allowed_sources.txt, any clip from the
held-out SoundFont, and any held-out clip, unless --heldout is given, which
accepts held-out clips and only those (the benchmark's set).

summary: a short text fit to be committed with the weights: clips and
seconds per split, per source, per General MIDI family and per texture, the
seeds, the augmentation counts, and the checksum of every source used.

Importable: check_sources(manifest_path, heldout=False) raises
SourceNotAllowed listing every problem and otherwise returns the number of
clips checked; summarize_manifest(paths) returns the summary text.
"""

import argparse
import collections
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ALLOW_LIST = os.path.join(HERE, "allowed_sources.txt")
SYNTH_PATH = "recognition/poly/training/sources/synths.py"

# The held-out SoundFont (fluid-soundfont-gm 3.1): recognised so that it is named
# when refused, and accepted only in a held-out set. Its GS and mono variants share
# its samples and are not used at all, so they can never be on the allow-list.
HELD_OUT = {
    "74594e8f4250680adf590507a306655a299935343583256f3b722c48a1bc1cb0": "FluidR3_GM.sf2 (fluid-soundfont-gm)",
}
HELD_OUT_NAMES = ("fluidr3", "fluid-soundfont", "fluidr3_gs", "fluidr3_gm")


class SourceNotAllowed(ValueError):
    pass


def read_allow_list(path=ALLOW_LIST):
    """{sha256: (kind, description)} of the allow-list file."""
    allowed = {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            words = line.split(None, 2)
            if len(words) < 2 or len(words[0]) != 64:
                raise ValueError(f"{path}:{number}: expected '<sha256> <kind> <description>'")
            allowed[words[0].lower()] = (words[1], words[2] if len(words) > 2 else "")
    for digest in allowed:
        if digest in HELD_OUT:
            raise ValueError(f"{path}: lists the held-out {HELD_OUT[digest]}")
    return allowed


def read_manifest(path):
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def _problems(record, allowed, heldout):
    clip = record.get("id", "?")
    problems = []
    if bool(record.get("heldout")) != heldout:
        problems.append(f"{clip}: a {'held-out' if record.get('heldout') else 'training'} clip "
                        f"in a {'held-out' if heldout else 'training'} check")
    sources = record.get("sources") or []
    if not sources:
        problems.append(f"{clip}: no sound source recorded")
    for s in sources:
        digest = str(s.get("sha256", "")).lower()
        kind, path = s.get("kind"), str(s.get("path", ""))
        named_held_out = any(n in os.path.basename(path).lower() for n in HELD_OUT_NAMES)
        if digest in HELD_OUT or named_held_out:
            if not (heldout and digest in HELD_OUT):
                what = HELD_OUT.get(digest, path)
                problems.append(f"{clip}: {what} is held out and never used for training")
            continue
        if heldout:
            problems.append(f"{clip}: a held-out clip rendered with {kind} {path}")
        elif kind == "synth" and path != SYNTH_PATH:
            problems.append(f"{clip}: synth source at {path}, not our {SYNTH_PATH}")
        elif digest not in allowed:
            problems.append(f"{clip}: {kind} {path} (sha256 {digest or 'missing'}) is not on the allow-list")
        elif allowed[digest][0] != kind:
            problems.append(f"{clip}: {path} is listed as {allowed[digest][0]}, used as {kind}")
    return problems


def check_sources(manifest_path, heldout=False, allow_list=ALLOW_LIST):
    """Raises SourceNotAllowed unless every clip's sources are allowed; returns the clip count."""
    allowed = read_allow_list(allow_list)
    records = read_manifest(manifest_path)
    problems = []
    for r in records:
        problems += _problems(r, allowed, heldout)
    if not records:
        problems.append(f"{manifest_path}: no clips")
    if problems:
        shown = problems[:20] + ([f"... and {len(problems) - 20} more"] if len(problems) > 20 else [])
        raise SourceNotAllowed(f"{manifest_path}: sound sources refused:\n  " + "\n  ".join(shown))
    return len(records)


FAMILIES = ["piano", "chromatic percussion", "organ", "guitar", "bass", "strings",
            "ensemble", "brass", "reed", "pipe", "synth lead", "synth pad",
            "synth effects", "ethnic", "percussive", "sound effects"]


def _range(values):
    return f"{min(values)}..{max(values)}" if values else "-"


def summarize_manifest(paths):
    """A short plain-text summary of one or more manifests."""
    lines = []
    seen_sources = {}
    for path in paths:
        records = read_manifest(path)
        if not records:
            continue
        split = records[0].get("split", os.path.basename(os.path.dirname(path)))
        seconds = sum(r["seconds"] for r in records)
        notes = sum(r["notes"] for r in records)
        lines.append(f"split {split}: {len(records)} clips, {seconds / 3600:.2f} h of audio, {notes} labelled notes"
                     + (" (held out)" if records[0].get("heldout") else ""))
        lines.append(f"  seeds: split seed {_range(sorted({r['split_seed'] for r in records}))}, "
                     f"clips {_range([r['index'] for r in records])}")
        by_source = collections.Counter()
        source_seconds = collections.Counter()
        for r in records:
            for s in r["sources"]:
                by_source[s.get("name", s["kind"])] += 1
                source_seconds[s.get("name", s["kind"])] += r["seconds"]
                seen_sources[(s.get("name", s["kind"]), s["kind"], s["path"], s["sha256"])] = True
        lines.append("  sources (clips, hours): " + ", ".join(
            f"{k} {by_source[k]} / {source_seconds[k] / 3600:.2f}" for k in sorted(by_source)))
        families = collections.Counter()
        textures = collections.Counter()
        for r in records:
            for m in r["music"]:
                textures[m["texture"]] += 1
                for p in m["parts"]:
                    if p["role"] != "drums":
                        families[FAMILIES[p["program"] // 8]] += p["notes"]
        lines.append("  notes per family: " + ", ".join(f"{k} {v}" for k, v in families.most_common()))
        lines.append("  textures: " + ", ".join(f"{k} {v}" for k, v in sorted(textures.items())))
        single = sum(1 for r in records if r.get("single_line"))
        lines.append(f"  single lines: {single} clips ({single / len(records):.0%}); "
                     f"max polyphony {_range([r['max_polyphony'] for r in records])}; "
                     f"with drums: {sum(1 for r in records if any(m['drums'] for m in r['music']))}")
        augmentation = collections.Counter()
        for r in records:
            for k in r["augmentation"]:
                if k != "peak_dbfs":
                    augmentation[k] += 1
        lines.append("  augmentation (clips): " + ", ".join(f"{k} {v}" for k, v in sorted(augmentation.items()))
                     + "; every clip: peak level -30..0 dBFS")
    lines.append("sound sources used:")
    for name, kind, path, digest in sorted(seen_sources):
        lines.append(f"  {name}: {kind} {path} sha256 {digest}")
    return "\n".join(lines) + "\n"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="mode", required=True)
    c = sub.add_parser("check")
    c.add_argument("manifests", nargs="+")
    c.add_argument("--heldout", action="store_true", help="check a held-out (benchmark) set instead")
    s = sub.add_parser("summary")
    s.add_argument("manifests", nargs="+")
    s.add_argument("--out")
    args = parser.parse_args(argv)
    if args.mode == "check":
        status = 0
        for path in args.manifests:
            try:
                count = check_sources(path, heldout=args.heldout)
                print(f"{path}: {count} clips, " + ("every one a held-out render" if args.heldout
                                                    else "every sound source allowed"))
            except (SourceNotAllowed, ValueError, OSError) as e:
                print(e, file=sys.stderr)
                status = 1
        return status
    text = summarize_manifest(args.manifests)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
