#pragma once

#include <functional>
#include <string_view>

#include "app/AnalysisSettings.h"
#include "core/ProgressIndicator.h"
#include "midi/Song.h"
#include "pipeline/Analysis.h"
#include "pipeline/Recording.h"

namespace selvik::app {

// The Analyze command: checks that a recording is loaded (a path, a signal
// with samples, and one the method can read), then reads the settings (only
// then), resolves them and analyses the recording with the method into
// `song`, made as `options` ask. NotRun, with nothing read or changed, when a
// check fails or the slider's range is unusable.
Analysis analyze(std::string_view wavePath, const Recording& recording, const MethodDescriptor& method,
                 Song& song, ProgressIndicator* progress, const std::function<AnalysisSettings()>& readSettings,
                 const SongOptions& options = SongOptions{});

// True when `method` can analyse `recording`: the classic method only what
// its own reader read.
bool methodReads(const MethodDescriptor& method, const Recording& recording);

}  // namespace selvik::app
