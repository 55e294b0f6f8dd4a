#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "signal/Signal.h"

namespace selvik::cli {

// Plays a loaded recording once on the default audio output, to the end or
// until `interrupted` is set; with `showProgress` the line "INPUT: playing
// m:ss / m:ss" is kept up to date on `err`. Messages go through showMessage.
// Returns an ExitStatus: 0 played (or nothing to play), 4 no audio output,
// 130 interrupted.
int listenToSignal(const std::string& input, const Signal& signal, std::FILE* err, bool showProgress,
                   const std::atomic<bool>& interrupted);

}  // namespace selvik::cli
