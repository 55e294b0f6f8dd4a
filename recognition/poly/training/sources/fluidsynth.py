"""Rendering through the FluidSynth command-line program with a SoundFont named by its path."""

import os
import subprocess

import numpy as np

import music
from audio import RATE
from sources import file_sha256

TIMGM6MB = "/usr/share/sounds/sf2/TimGM6mb.sf2"
OPL3 = "/usr/share/sounds/sf2/OPL-3_FM_128M.sf2"
FLUIDR3 = "/usr/share/sounds/sf2/FluidR3_GM.sf2"  # held out: only the benchmark set renders with it


class FluidSynthSource:
    kind = "fluidsynth"

    def __init__(self, soundfont):
        # A link such as default-GM.sf2 could point anywhere: always name the file itself.
        if os.path.islink(soundfont):
            raise ValueError(f"{soundfont}: name the SoundFont file, not a link to it")
        self.path = soundfont
        self.name = "fluidsynth:" + os.path.basename(soundfont)

    def instruments(self):
        return music.GM_INSTRUMENTS

    def describe(self, programs):
        return {"kind": self.kind, "path": self.path, "sha256": file_sha256(self.path),
                "programs": sorted(set(programs))}

    def render(self, piece, rng, workdir):
        """(mono samples, manifest record) of the piece; its settings are drawn from rng."""
        settings = {
            "reverb": rng.random() < 0.4,
            "chorus": rng.random() < 0.25,
            "gain": round(rng.uniform(0.2, 0.5), 3),
        }
        midi_path = os.path.join(workdir, "piece.mid")
        raw_path = os.path.join(workdir, "piece.raw")
        music.to_midi(piece, tail=0.5).save(midi_path)
        command = ["fluidsynth", "-ni", "-q",
                   "-R", "1" if settings["reverb"] else "0",
                   "-C", "1" if settings["chorus"] else "0",
                   "-g", str(settings["gain"]), "-r", str(RATE),
                   "-o", "synth.cpu-cores=1",
                   "-T", "raw", "-O", "float", "-F", raw_path, self.path, midi_path]
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if result.returncode != 0:
            raise RuntimeError(f"fluidsynth failed ({result.returncode}): {result.stderr.strip()}")
        stereo = np.fromfile(raw_path, dtype="<f4")
        samples = stereo[: len(stereo) // 2 * 2].reshape(-1, 2).mean(axis=1)
        os.remove(raw_path)
        os.remove(midi_path)
        record = self.describe(p.program for p in piece.parts if not p.drum)
        record["settings"] = settings
        return samples.astype(np.float32), record
