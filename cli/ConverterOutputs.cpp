#include "cli/ConverterOutputs.h"

#include <string>

#include "cli/Conversion.h"
#include "cli/ExitStatus.h"
#include "cli/Modules.h"
#include "core/MessageService.h"
#include "midi/MidiFileWriter.h"

namespace selvik::cli {

namespace {

using Delivery = ConversionOutput::Delivery;

ConversionStatus asStatus(int exitStatus) { return static_cast<ConversionStatus>(exitStatus); }

class NotesTableOutput final : public ConversionOutput {
public:
    explicit NotesTableOutput(InputReport& report) : report_(report) {}
    Delivery deliver(const ConvertedSong& converted) override {
        report_.table(formatNotes(converted.song));
        return {};
    }

private:
    InputReport& report_;
};

class PlotOutput final : public ConversionOutput {
public:
    explicit PlotOutput(const ConverterOptions& options) : options_(options) {}
    Delivery deliver(const ConvertedSong& converted) override {
        const PlotModule* module = plotModule("draw the plot");
        if (module == nullptr) return {ConversionStatus::Unavailable};
        return {asStatus(module->plot(&showMessage, converted.recording.signal, converted.song, *options_.plot,
                                      options_.plotWidth, options_.plotHeight))};
    }

private:
    const ConverterOptions& options_;
};

class MidiFileOutput final : public ConversionOutput {
public:
    explicit MidiFileOutput(const ConverterOptions& options) : options_(options) {}
    Delivery deliver(const ConvertedSong& converted) override {
        const std::string path = options_.output ? *options_.output : defaultOutputPath(converted.input);
        const MidiResult written = writeMidiFile(path.c_str(), &converted.song);
        if (written == MidiResult::NoTrackWithEvents) {
            showMessage("Unable to save MIDI file. (no notes were recognised)");
            return {ConversionStatus::NothingWritten, true};
        }
        if (written != MidiResult::Success) {
            showMessage("Unable to save MIDI file. (cannot write " + path + ")");
            return {ConversionStatus::NothingWritten};
        }
        return {};
    }

private:
    const ConverterOptions& options_;
};

// With --no-save: a song without notes has nothing to play or render.
class SomethingToSoundCheck final : public ConversionOutput {
public:
    Delivery deliver(const ConvertedSong& converted) override {
        if (converted.song.totalEvents != 0) return {};
        showMessage("no notes were recognised; nothing to play or render");
        return {ConversionStatus::NothingWritten, true};
    }
};

class RenderOutput final : public ConversionOutput {
public:
    explicit RenderOutput(const ConverterOptions& options) : options_(options) {}
    Delivery deliver(const ConvertedSong& converted) override {
        const SoundModule* module = soundModule("render");
        if (module == nullptr) return {ConversionStatus::Unavailable};
        return {asStatus(module->render(&showMessage, converted.song, *options_.render, options_.program))};
    }

private:
    const ConverterOptions& options_;
};

class PlayOutput final : public ConversionOutput {
public:
    PlayOutput(const ConverterOptions& options, std::FILE* terminal, bool showProgress,
               const std::atomic<bool>& interrupted)
        : options_(options), terminal_(terminal), showProgress_(showProgress), interrupted_(interrupted) {}
    Delivery deliver(const ConvertedSong& converted) override {
        const SoundModule* module = soundModule("play");
        if (module == nullptr) return {ConversionStatus::Unavailable};
        return {asStatus(module->play(&showMessage, converted.input, converted.song, options_.device,
                                      options_.program, terminal_, showProgress_, interrupted_))};
    }

private:
    const ConverterOptions& options_;
    std::FILE* terminal_;
    bool showProgress_;
    const std::atomic<bool>& interrupted_;
};

}  // namespace

std::vector<std::unique_ptr<ConversionOutput>> makeOutputs(const ConverterOptions& options, InputReport& report,
                                                           std::FILE* terminal, bool showProgress,
                                                           const std::atomic<bool>& interrupted) {
    std::vector<std::unique_ptr<ConversionOutput>> outputs;
    if (options.printNotes) outputs.push_back(std::make_unique<NotesTableOutput>(report));
    if (options.plot) outputs.push_back(std::make_unique<PlotOutput>(options));
    if (options.save) {
        outputs.push_back(std::make_unique<MidiFileOutput>(options));
    } else {
        outputs.push_back(std::make_unique<SomethingToSoundCheck>());
    }
    if (options.render) outputs.push_back(std::make_unique<RenderOutput>(options));
    if (options.play) {
        outputs.push_back(std::make_unique<PlayOutput>(options, terminal, showProgress, interrupted));
    }
    return outputs;
}

}  // namespace selvik::cli
