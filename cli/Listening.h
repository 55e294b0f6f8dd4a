#pragma once

#include <atomic>
#include <cstdio>
#include <string>

namespace selvik::cli {

// Loads one input as the desktop program does (same messages on `err`) and
// plays it once on the default audio output, to the end or until
// `interrupted` is set. Writes no MIDI file. Returns an ExitStatus: 0 played,
// 1 unreadable, 4 no audio output, 130 interrupted.
int listenToInput(const std::string& input, std::FILE* err, bool showProgress,
                  const std::atomic<bool>& interrupted);

}  // namespace selvik::cli
