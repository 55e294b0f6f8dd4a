"""Rendering through TiMidity++ with the freepats patch set.

Always started as `timidity -c /etc/timidity/freepats.cfg`: TiMidity's own
default configuration may point at another sound set. Pieces use only the
programs freepats has (read from that configuration), and TiMidity is told to
keep the initial silence, which it drops by default (that would shift every
label by the lead-in).
"""

import os
import re
import subprocess

import music
from audio import RATE, read_wav
from sources import tree_digest

CONFIG = "/etc/timidity/freepats.cfg"


def _read_config(path):
    """(patch folder, {program: patch file}, {drum note: patch file}) of bank 0 and drum set 0."""
    folder = None
    tones, drums = {}, {}
    section = None
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            words = line.split()
            if words[0] == "dir":
                folder = words[1]
            elif words[0] == "bank":
                section = tones if words[1] == "0" else None
            elif words[0] == "drumset":
                section = drums if words[1] == "0" else None
            elif section is not None and re.fullmatch(r"\d+", words[0]) and len(words) > 1:
                section[int(words[0])] = words[1]
    return folder, tones, drums


class TimiditySource:
    kind = "timidity"

    def __init__(self, config=CONFIG):
        self.config = config
        self.name = "timidity:freepats"
        folder, tones, drums = _read_config(config)
        self.folder = folder
        self.programs = sorted(tones)
        files = [os.path.join(folder, p) for p in list(tones.values()) + list(drums.values())]
        files = [f if f.endswith(".pat") else f + ".pat" for f in files]
        self.files = sorted(set(files))
        self._digest = None
        self._instruments = [i for i in music.GM_INSTRUMENTS if i.program in tones]

    def digest(self):
        """A digest over the configuration and every patch it names."""
        if self._digest is None:
            self._digest = tree_digest("/", [self.config] + self.files)
        return self._digest

    def instruments(self):
        return self._instruments

    def describe(self, programs):
        return {"kind": self.kind, "path": self.config, "sha256": self.digest(),
                "programs": sorted(set(programs))}

    def render(self, piece, rng, workdir):
        settings = {
            "reverb": rng.choice(["d", "d", "f", "g"]),
            "reverb_level": rng.randint(20, 90),
            "chorus": rng.choice(["d", "d", "n"]),
            "volume": rng.randint(40, 80),
        }
        midi_path = os.path.join(workdir, "piece.mid")
        wav_path = os.path.join(workdir, "piece.wav")
        music.to_midi(piece, tail=0.5).save(midi_path)
        reverb = settings["reverb"] if settings["reverb"] == "d" else f"{settings['reverb']},{settings['reverb_level']}"
        command = ["timidity", "-c", self.config, "-idq", "--preserve-silence",
                   "-Ow", "--output-mono", "--output-16bit", "-s", str(RATE),
                   f"-EFreverb={reverb}", f"-EFchorus={settings['chorus']}",
                   "-A", str(settings["volume"]), "-o", wav_path, midi_path]
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if result.returncode != 0 or not os.path.exists(wav_path):
            raise RuntimeError(f"timidity failed ({result.returncode}): {result.stderr.strip()}")
        samples, rate = read_wav(wav_path)
        if rate != RATE:
            raise RuntimeError(f"timidity wrote {rate} Hz, not {RATE}")
        os.remove(wav_path)
        os.remove(midi_path)
        record = self.describe(p.program for p in piece.parts if not p.drum)
        record["settings"] = settings
        return samples, record
