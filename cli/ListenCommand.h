#pragma once

#include <atomic>
#include <cstdio>
#include <string>

namespace selvik::cli {

// --listen for one input: loads it as our methods do (any audio file the
// audio-file reader reads, with the same messages on `err` as "INPUT: TEXT")
// and plays it once on the default audio output, through the sound module.
// Writes no MIDI file. Returns an ExitStatus: 0 played, 1 unreadable, 4 no
// audio output (or no sound module), 130 interrupted.
int listenToInput(const std::string& input, std::FILE* err, bool showProgress,
                  const std::atomic<bool>& interrupted);

}  // namespace selvik::cli
