#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/ConverterOptions.h"
#include "cli/InputReport.h"
#include "pipeline/Conversion.h"

namespace selvik::cli {

// The outputs the options ask for, in the order they are served:
//   1. the notes table (--notes), on the report's standard output;
//   2. the picture (--plot), worth having even when no note was found;
//   3. the MIDI file, or with --no-save the check that there is something to
//      play or render; no notes ends the outputs here with status 3;
//   4. the rendering (--render);
//   5. the playback (--play), its progress line on `terminal`.
std::vector<std::unique_ptr<ConversionOutput>> makeOutputs(const ConverterOptions& options, InputReport& report,
                                                           std::FILE* terminal, bool showProgress,
                                                           const std::atomic<bool>& interrupted);

}  // namespace selvik::cli
