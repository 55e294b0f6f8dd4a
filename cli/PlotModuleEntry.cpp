// The entry point of selvik-convert-plot.so: the converter's picture output
// over Qt.

#include <string_view>

#include "cli/PlotModule.h"
#include "cli/Plotting.h"
#include "core/MessageService.h"

namespace selvik::cli {

namespace {

int plot(void (*show)(std::string_view text), const Signal& signal, const Song& song, const std::string& path,
         int width, int height) {
    const ScopedMessageHandler forward([show](std::string_view text) { show(text); });
    // Qt's offscreen platform for exactly as long as the picture is drawn.
    const OffscreenGui gui;
    return plotSong(signal, song, path, width, height);
}

const PlotModule kPlotModule = {&plot};

}  // namespace

}  // namespace selvik::cli

extern "C" __attribute__((visibility("default"))) const selvik::cli::PlotModule* selvikPlotModule() {
    return &selvik::cli::kPlotModule;
}
