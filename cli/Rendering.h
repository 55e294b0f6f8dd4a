#pragma once

#include <optional>
#include <string>

#include "midi/Song.h"

namespace selvik::cli {

// Renders `song` offline through the built-in synthesizer into a 44100 Hz
// 16-bit WAV file at `path`. Messages go through showMessage. Returns an
// ExitStatus: 0 written, 3 the file could not be written, 4 no soundfont.
int renderToWav(const Song& song, const std::string& path, std::optional<int> program);

}  // namespace selvik::cli
