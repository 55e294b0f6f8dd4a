#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "midi/Song.h"

namespace selvik {

struct RenderOutcome {
    bool ok = false;
    std::string error;        // why it failed, for the user; empty on success
    std::uint64_t frames = 0; // stereo frames written
};

// Renders `song` through FluidSynth with the soundfont at `soundFontPath`
// into a 44100 Hz, 16-bit stereo PCM WAV file at `wavPath`, offline: samples
// are pulled from the synthesizer as fast as it computes them, no audio device
// is involved.
//
// The events of all tracks play in time order (equal times in track order),
// each at the sample its tick falls on through the song's tempo map.
// `program`, when given (0..127), is sent before the first event on every
// channel the song uses (on the first channel of a song without events). After the last event the release and the reverb are rendered
// until the output has fallen silent, for at most a few seconds; trailing
// silence is not written. An empty song gives a valid file without frames.
// On failure nothing is left at `wavPath` (a file already there is kept).
RenderOutcome renderSong(const Song& song, const std::string& wavPath,
                         const std::string& soundFontPath, std::optional<int> program);

}  // namespace selvik
