#pragma once

// The converter's picture output, built as a module of its own
// (selvik-convert-plot.so) so that Qt is loaded only for --plot. See
// SoundModule.h for how the module and the converter share their types.

#include <string>
#include <string_view>

#include "midi/Song.h"
#include "signal/Signal.h"

namespace selvik::cli {

struct PlotModule {
    // As plotSong (cli/Plotting.h); starts Qt's offscreen platform first.
    int (*plot)(void (*show)(std::string_view text), const Signal& signal, const Song& song,
                const std::string& path, int width, int height);
};

inline constexpr const char* kPlotModuleEntry = "selvikPlotModule";
using PlotModuleEntry = const PlotModule* (*)();

}  // namespace selvik::cli
