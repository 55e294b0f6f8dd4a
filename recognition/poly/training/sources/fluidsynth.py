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


# Programs a SoundFont plays at another pitch than their key, found by rendering
# every program and comparing its partials with the key's harmonic series: the
# OPL3 percussive and rock organs sound mainly an octave below the key, its
# bowed pad an octave above, its timpani and echoes partly an octave below;
# TimGM6mb's drawbar, percussive and (in its upper half) rock organs have
# their strongest partial an octave below, its tango accordion turns to the
# octave above in its upper half, and its whistle has no clear harmonic tone
# (labelcheck.py programs).
LEFT_OUT = {
    OPL3: {17, 18, 47, 92, 102},
    TIMGM6MB: {16, 17, 18, 23, 78},
}


class FluidSynthSource:
    kind = "fluidsynth"

    def __init__(self, soundfont):
        # A link such as default-GM.sf2 could point anywhere: always name the file itself.
        if os.path.islink(soundfont):
            raise ValueError(f"{soundfont}: name the SoundFont file, not a link to it")
        self.path = soundfont
        self.name = "fluidsynth:" + os.path.basename(soundfont)

    def instruments(self):
        left_out = LEFT_OUT.get(self.path, set())
        return [i for i in music.GM_INSTRUMENTS if i.program not in left_out]

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
