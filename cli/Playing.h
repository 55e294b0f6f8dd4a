#pragma once

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>

#include "midi/Song.h"

namespace selvik::cli {

// Plays `song` on entry `device` of the MIDI device list (already built) and
// returns when it has ended or `interrupted` is set; then the sounding notes
// are turned off and the stream is closed. When `program` is given, a
// program change goes out first on every channel the song uses. Messages go
// through showMessage; with `showProgress` the line "INPUT: playing m:ss /
// m:ss" is kept up to date on `terminal`. Returns an ExitStatus: 0 played, 4 the device
// cannot be opened, 130 interrupted.
int playSong(const std::string& input, Song& song, int device, std::optional<int> program,
             std::FILE* terminal, bool showProgress, const std::atomic<bool>& interrupted);

}  // namespace selvik::cli
