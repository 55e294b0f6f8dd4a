#include "cli/Conversion.h"

#include <cinttypes>
#include <memory>
#include <string_view>

#include "cli/ConverterOutputs.h"
#include "cli/TerminalProgress.h"
#include "core/MessageService.h"
#include "core/NoteName.h"
#include "midi/TempoMap.h"
#include "pipeline/Conversion.h"

namespace selvik::cli {

std::string formatNotes(const Song& song) {
    std::string text = "name\tnumber\tstart_s\tend_s\tstart_tick\tend_tick\n";
    const TempoMap map = TempoMap::of(song);
    char line[160];
    for (const PrintedNote& note : notesOfSong(song)) {
        std::snprintf(line, sizeof line, "%s\t%d\t%.3f\t%.3f\t%" PRIu32 "\t%" PRIu32 "\n",
                      noteName(note.number).c_str(), note.number, map.secondsAt(note.startTick),
                      map.secondsAt(note.endTick), note.startTick, note.endTick);
        text += line;
    }
    return text;
}

int progressStages(const ConverterOptions& options) {
    return options.method->classicReader ? options.settings.passes : 2;
}

int convertInput(InputReport& report, const ConverterOptions& options, ProgressIndicator* progress,
                 std::FILE* terminal, bool showProgress, const std::atomic<bool>& interrupted, int threads) {
    ScopedMessageHandler print([&](std::string_view text) { report.message(text); });
    const std::vector<std::unique_ptr<ConversionOutput>> owned =
        makeOutputs(options, report, terminal, showProgress, interrupted);
    std::vector<ConversionOutput*> outputs;
    for (const auto& output : owned) outputs.push_back(output.get());

    ConversionRequest request;
    request.input = report.input();
    request.method = options.method;
    request.settings = options.settings;
    request.song = options.song;
    request.threads = threads;
    return static_cast<int>(convert(request, outputs, progress, interrupted));
}

int convertInput(const std::string& input, const ConverterOptions& options, std::FILE* out,
                 std::FILE* err, bool showProgress, const std::atomic<bool>& interrupted) {
    InputReport report(input, out, err, false);
    std::unique_ptr<TerminalProgress> progress;
    if (showProgress) {
        // The classic method runs one pass per bar; our methods load, then recognise.
        progress = std::make_unique<TerminalProgress>(err, input, progressStages(options),
                                                      options.method->classicReader ? "pass" : "step");
        report.setProgress(progress.get());
    }
    return convertInput(report, options, progress.get(), err, showProgress, interrupted);
}

}  // namespace selvik::cli
