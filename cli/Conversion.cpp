#include "cli/Conversion.h"

#include <algorithm>
#include <cinttypes>
#include <memory>
#include <string_view>

#include "cli/ExitStatus.h"
#include "cli/Playing.h"
#include "cli/Plotting.h"
#include "cli/Rendering.h"
#include "cli/TerminalProgress.h"
#include "core/MessageService.h"
#include "midi/MidiFileWriter.h"
#include "recognition/AnalysisDriver.h"
#include "recognition/MelodyTracker.h"
#include "recognition/Recognizer.h"

namespace selvik::cli {

std::string formatNotes(const Song& song) {
    std::string text = "name\tnumber\tstart_s\tend_s\tstart_tick\tend_tick\n";
    const double ticksPerSecond = song.division * song.tempo / 60.0;
    char line[160];
    for (const PrintedNote& note : notesOfSong(song)) {
        std::snprintf(line, sizeof line, "%s\t%d\t%.3f\t%.3f\t%" PRIu32 "\t%" PRIu32 "\n",
                      noteName(note.number).c_str(), note.number, note.startTick / ticksPerSecond,
                      note.endTick / ticksPerSecond, note.startTick, note.endTick);
        text += line;
    }
    return text;
}

bool loadRecording(Recognizer& recognizer, const std::string& input, std::FILE* err) {
    // The load's messages are held back until the load returns, so that the
    // reader's detail can follow the status text it explains.
    std::vector<std::string> loadMessages;
    {
        ScopedMessageHandler collect(
            [&](std::string_view text) { loadMessages.emplace_back(text); });
        recognizer.loadWav(input.c_str());
    }
    const bool loaded = recognizer.signal().paddedLength() > 0;
    for (std::size_t i = 0; i < loadMessages.size(); ++i) {
        std::string text = loadMessages[i];
        if (i == 0 && !loaded && !recognizer.loadDetail().empty()) {
            text += " (" + recognizer.loadDetail() + ")";
        }
        std::fprintf(err, "%s: %s\n", input.c_str(), text.c_str());
    }
    return loaded;
}

int convertInput(const std::string& input, const ConverterOptions& options, std::FILE* out,
                 std::FILE* err, bool showProgress, const std::atomic<bool>& interrupted) {
    auto print = [&](std::string_view text) {
        std::fprintf(err, "%s: %.*s\n", input.c_str(), static_cast<int>(text.size()),
                     text.data());
    };

    Recognizer recognizer;
    if (!loadRecording(recognizer, input, err)) return kExitInputUnreadable;
    if (interrupted) return kExitInterrupted;

    ScopedMessageHandler direct(print);
    Song song;
    reset(&song);
    std::unique_ptr<TerminalProgress> progress;
    if (showProgress) {
        progress = std::make_unique<TerminalProgress>(err, input,
                                                      options.melody ? 1 : options.parameters.passes);
    }
    const AnalysisOutcome outcome =
        options.melody ? runMelodyTracker(recognizer.signal(), song, progress.get(),
                                          options.melodyParameters)
                       : runAnalysis(recognizer, song, progress.get(), options.parameters);
    if (progress) progress->finish();
    if (interrupted) return kExitInterrupted;
    if (outcome == AnalysisOutcome::GridOutOfMemory) return kExitNothingWritten;
    if (outcome == AnalysisOutcome::SongOutOfMemory) {
        print("Out of memory");
        return kExitNothingWritten;
    }

    if (options.printNotes) {
        const std::string table = formatNotes(song);
        std::fwrite(table.data(), 1, table.size(), out);
        std::fflush(out);
    }

    int status = kExitOk;
    // Before the MIDI file: the picture is worth having when no notes were found.
    if (options.plot) {
        status = plotSong(input, recognizer.signal(), song, *options.plot, options.plotWidth,
                          options.plotHeight, err);
        if (interrupted) return kExitInterrupted;
    }
    if (options.save) {
        const std::string path = options.output ? *options.output : defaultOutputPath(input);
        const MidiResult written = writeMidiFile(path.c_str(), &song);
        if (written == MidiResult::NoTrackWithEvents) {
            print("Unable to save MIDI file. (no notes were recognised)");
            return kExitNothingWritten;
        }
        if (written != MidiResult::Success) {
            print("Unable to save MIDI file. (cannot write " + path + ")");
            status = kExitNothingWritten;
        }
    } else if (song.totalEvents == 0) {
        print("no notes were recognised; nothing to play or render");
        return kExitNothingWritten;
    }
    if (interrupted) return kExitInterrupted;

    if (options.render) {
        status = std::max(status, renderToWav(input, song, *options.render, options.program, err));
        if (interrupted) return kExitInterrupted;
    }
    if (options.play) {
        status = std::max(status, playSong(input, song, options.device, options.program, err,
                                           showProgress, interrupted));
    }
    return status;
}

}  // namespace selvik::cli
