#include "cli/ConverterOptions.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <sstream>
#include <thread>

#include "cli/ExitStatus.h"
#include "core/Version.h"
#include "recognition/ParameterRanges.h"

namespace selvik::cli {

namespace {

std::optional<int> parseInteger(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return value;
}

struct UsageError {
    std::string text;
};

// "a, b, c" or "a, b or c".
template <typename Range, typename Text>
std::string listOf(const Range& items, Text text, const char* lastSeparator = ", ") {
    std::string list;
    std::size_t i = 0;
    const std::size_t n = static_cast<std::size_t>(std::distance(std::begin(items), std::end(items)));
    for (const auto& item : items) {
        if (i > 0) list += i + 1 == n ? lastSeparator : ", ";
        list += text(item);
        ++i;
    }
    return list;
}

std::string numberText(std::int32_t value) { return std::to_string(value); }

// The choice whose decimal text the option's text is, exactly.
template <std::size_t N>
std::optional<std::int32_t> choiceOf(const std::string& text, const std::array<std::int32_t, N>& choices) {
    for (std::int32_t choice : choices) {
        if (numberText(choice) == text) return choice;
    }
    return std::nullopt;
}

// The methods that read a setting, for "--x is for --method A or B".
std::string methodsReading(std::uint32_t control) {
    std::vector<const MethodDescriptor*> readers;
    for (const MethodDescriptor* method : recognitionMethods()) {
        if (method->controls & control) readers.push_back(method);
    }
    return listOf(readers, [](const MethodDescriptor* m) { return std::string(m->name); }, " or ");
}

std::string methodHelp() {
    std::string text = "recognition method: ";
    text += listOf(recognitionMethods(), [](const MethodDescriptor* m) {
        return std::string(m->name) + " (" + std::string(m->help) + ")";
    });
    return text;
}

std::string thresholdHelp() {
    char range[64];
    std::snprintf(range, sizeof range, "%.1f..%.1f (default %.1f); ", parameters::kMinThreshold,
                  parameters::kMaxThreshold, parameters::kDefaultThreshold);
    return range + listOf(recognitionMethods(), [](const MethodDescriptor* m) {
               return std::string(m->name) + ": " + std::string(m->thresholdHelp);
           });
}

}  // namespace

std::optional<float> parseThreshold(std::string_view text) {
    // from_chars into a float rounds once, from the decimal text; going through
    // a double first could round twice.
    float value = 0.0f;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    if (!std::isfinite(value) || value < 0.0f || value > 1.0f) return std::nullopt;
    return value;
}

std::optional<SongOptions> parseTempo(std::string_view text, SongOptions options) {
    if (text == "auto") {
        options.tempo = TempoSource::Recording;
        return options;
    }
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    if (!std::isfinite(value) || value < kSlowestTempo || value > kFastestTempo) return std::nullopt;
    options.tempo = TempoSource::Fixed;
    options.fixedTempo = value;
    return options;
}

std::string defaultOutputPath(const std::string& input) {
    const std::size_t slash = input.find_last_of('/');
    const std::size_t dot = input.find_last_of('.');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // A leading dot marks a hidden file, not an extension.
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    return (hasExtension ? input.substr(0, dot) : input) + ".mid";
}

ParseResult parseConverterOptions(const std::vector<std::string>& arguments) {
    namespace p = parameters;
    ParseResult result;
    CLI::App app{"Turns recordings of music into Standard MIDI Files.\n"
                 "The classic method reads 44100 Hz PCM WAV files (mono or stereo, up to 16 bits);\n"
                 "the other methods read WAV in any encoding, AIFF, FLAC, Ogg Vorbis, Opus and MP3.\n"
                 "Writes one format-1 MIDI file per input (384 ticks per quarter note), at the\n"
                 "recording's tempo and meter (the classic method's at 120 BPM unless asked).",
                 "selvik-convert"};
    app.footer(
        "Messages about an input go to standard error as 'INPUT: TEXT'.\n"
        "Exit status: 0 done; 1 an input could not be read; 2 usage error;\n"
        "3 nothing to write (no notes recognised) or the output could not be written;\n"
        "4 a needed output is unavailable; 130 interrupted. With several inputs the\n"
        "highest status is returned.");
    app.set_version_flag("--version", "selvik-convert " + std::string(kVersion));

    std::vector<std::string> inputs;
    std::string output;
    std::string blockSize = numberText(p::kDefaultBlockSize);
    std::string polyphony = numberText(p::kDefaultPolyphony);
    std::string threshold = "0.8";
    std::string window(p::kWindowNames[p::kDefaultWindowType]);
    std::string subsampling = numberText(p::kDefaultSubsampling);
    std::string passes = numberText(p::kDefaultPasses);
    const std::string blockSizes = listOf(p::kBlockSizes, numberText, " or ");
    const std::string windows = listOf(p::kWindowNames, [](std::string_view w) { return std::string(w); }, " or ");
    const std::string subsamplings = listOf(p::kSubsamplings, numberText, " or ");
    const std::string classic = "classic only: ";

    // Not required by the parser: --list-devices needs no input.
    app.add_option("INPUT", inputs, "recordings to convert")->type_name("");
    app.add_option("-o,--output", output,
                   "MIDI file to write (one input only; default: each input with .mid in place "
                   "of its extension, overwritten if it exists)")
        ->type_name("FILE");
    std::string method(recognitionMethods()[0]->name);
    app.add_option("--method", method, methodHelp() + "; default " + method)->type_name("NAME");
    app.add_option("--threshold", threshold, thresholdHelp())->type_name("X");
    app.add_option("--block-size", blockSize,
                   classic + blockSizes + " (default " + numberText(p::kDefaultBlockSize) + ")")
        ->type_name("N");
    app.add_option("--polyphony", polyphony,
                   classic + "notes per block, " + numberText(p::kMinPolyphony) + ".." +
                       numberText(p::kMaxPolyphony) + " (default " + numberText(p::kDefaultPolyphony) + ")")
        ->type_name("N");
    app.add_option("--window", window,
                   classic + windows + " (default " + std::string(p::kWindowNames[p::kDefaultWindowType]) + ")")
        ->type_name("NAME");
    app.add_option("--subsampling", subsampling,
                   classic + "window positions per block: " + subsamplings + " (default " +
                       numberText(p::kDefaultSubsampling) + ")")
        ->type_name("N");
    app.add_option("--passes", passes,
                   classic + "passes at decimation 1, 2, 4, 8: " + numberText(p::kMinPasses) + ".." +
                       numberText(p::kMaxPasses) + " (default " + numberText(p::kDefaultPasses) + ")")
        ->type_name("N");
    std::string minNote;
    app.add_option("--min-note", minNote,
                   methodsReading(kMinNoteControl) + " only: shortest note kept, in ms, " +
                       numberText(p::kMinNoteMsLow) + ".." + numberText(p::kMinNoteMsHigh) + " (default " +
                       numberText(p::kDefaultMinNoteMs) + ")")
        ->type_name("MS");
    std::string velocity;
    app.add_option("--velocity", velocity,
                   methodsReading(kVelocityControl) +
                       " only: fixed (100) or loudness (from each note's level, default)")
        ->type_name("KIND");
    std::string jobs = "1";
    app.add_option("-j,--jobs", jobs,
                   "inputs converted at once, each on one core (default 1; 0: one per core); "
                   "messages and files are those of one input after the other")
        ->type_name("N");
    bool notes = false;
    bool quiet = false;
    app.add_flag("--notes", notes, "print the recognised notes on standard output");
    app.add_flag("-q,--quiet", quiet, "no progress bar");
    bool listen = false;
    app.add_flag("--listen", listen,
                 "play each input once on the default audio output instead of converting it "
                 "(writes no MIDI file; Ctrl-C stops)");
    bool listDevices = false;
    app.add_flag("--list-devices", listDevices, "print the numbered MIDI output devices and exit");
    bool play = false;
    app.add_flag("--play", play,
                 "play each song on a MIDI output device when it has been converted; returns "
                 "when it has ended (Ctrl-C stops)");
    std::string device = "0";
    app.add_option("--device", device, "MIDI output device for --play, as --list-devices numbers "
                                       "them (default 0)")
        ->type_name("N");
    std::string tempo;
    std::vector<const MethodDescriptor*> plain;
    for (const MethodDescriptor* m : recognitionMethods()) {
        if (m->plainTiming) plain.push_back(m);
    }
    const std::string plainNames = listOf(plain, [](const MethodDescriptor* m) { return std::string(m->name); }, " or ");
    app.add_option("--tempo", tempo,
                   "auto (follow the recording's tempo and meter; the default, but --method " + plainNames +
                       " keeps 120 without a time signature unless asked) or BPM, quarter notes per minute "
                       "from 20 to 300, fractions allowed; the notes keep their times")
        ->type_name("auto|BPM");
    std::string quantize;
    std::string grids;
    for (const QuantizeGrid& grid : kQuantizeGrids) grids += (grids.empty() ? "" : ", ") + grid.name();
    app.add_option("--quantize", quantize,
                   "snap note starts and ends to this grid of the song's tempo: " + grids +
                       " (default: off)")
        ->type_name("GRID");
    bool pitchBends = false;
    app.add_flag("--pitch-bends", pitchBends,
                 "follow each note's pitch with pitch bends, each sounding note on a channel of its "
                 "own (not for --method " + plainNames + ")");
    std::string program;
    app.add_option("--program", program,
                   "General MIDI program 0..127 for --play and --render, sent on every channel the "
                   "song uses before the song (default: none sent)")
        ->type_name("P");
    bool noSave = false;
    app.add_flag("--no-save", noSave, "with --play or --render: write no MIDI file");
    std::string render;
    app.add_option("--render", render,
                   "render the song through the built-in synthesizer into this 44100 Hz 16-bit "
                   "WAV file (one input only)")
        ->type_name("OUT.wav");
    std::string plot;
    app.add_option("--plot", plot,
                   "draw the recording's spectrogram with the recognised notes over it into this "
                   "PNG or SVG file (one input only)")
        ->type_name("OUT.png|OUT.svg");
    std::string plotSize;
    app.add_option("--plot-size", plotSize, "the --plot picture's size in pixels (default 1600x900)")
        ->type_name("WxH");

    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        result.out = app.help();
        result.exitStatus = kExitOk;
        return result;
    } catch (const CLI::CallForVersion&) {
        result.out = "selvik-convert " + std::string(kVersion) + "\n";
        result.exitStatus = kExitOk;
        return result;
    } catch (const CLI::ParseError& e) {
        result.err = "selvik-convert: " + std::string(e.what()) +
                     "\nRun with --help for more information.\n";
        result.exitStatus = kExitUsage;
        return result;
    }

    try {
        ConverterOptions options;
        options.inputs = inputs;
        options.printNotes = notes;
        options.quiet = quiet;
        options.listen = listen;
        options.listDevices = listDevices;
        options.method = recognitionMethods()[0];
        if (listDevices) {
            result.options = std::move(options);
            return result;
        }
        if (inputs.empty()) throw UsageError{"INPUT is required"};
        if (listen && !output.empty()) throw UsageError{"--listen writes no MIDI file; drop --output"};
        if (listen && notes) throw UsageError{"--listen recognises no notes; drop --notes"};
        if (listen && !plot.empty()) throw UsageError{"--listen recognises no notes; drop --plot"};
        if (listen && (play || !render.empty())) {
            throw UsageError{"--listen plays the recording itself; it takes no --play or --render"};
        }
        const bool tempoGiven = app.count("--tempo") > 0;
        const bool quantizeGiven = app.count("--quantize") > 0;
        if (listen && (tempoGiven || quantizeGiven || pitchBends)) {
            throw UsageError{"--listen makes no song; drop --tempo, --quantize and --pitch-bends"};
        }
        options.play = play;
        if (!render.empty()) {
            if (inputs.size() != 1) throw UsageError{"--render takes a single input"};
            options.render = render;
        }
        if (!plot.empty()) {
            if (inputs.size() != 1) throw UsageError{"--plot takes a single input"};
            const std::size_t dot = plot.find_last_of('.');
            std::string extension = dot == std::string::npos ? "" : plot.substr(dot + 1);
            for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (extension != "png" && extension != "svg") {
                throw UsageError{"--plot: '" + plot + "' does not end in .png or .svg"};
            }
            options.plot = plot;
        }
        if (!plotSize.empty()) {
            if (plot.empty()) throw UsageError{"--plot-size is for --plot"};
            const std::size_t x = plotSize.find('x');
            const auto width = x == std::string::npos ? std::nullopt : parseInteger(std::string_view(plotSize).substr(0, x));
            const auto height = x == std::string::npos ? std::nullopt : parseInteger(std::string_view(plotSize).substr(x + 1));
            if (!width || !height || *width < 64 || *height < 64 || *width > 16384 || *height > 16384) {
                throw UsageError{"--plot-size: '" + plotSize + "' is not WIDTHxHEIGHT, each 64..16384"};
            }
            options.plotWidth = *width;
            options.plotHeight = *height;
        }
        const bool sounding = play || !render.empty();
        const auto deviceIndex = parseInteger(device);
        if (!deviceIndex || *deviceIndex < 0) {
            throw UsageError{"--device: '" + device + "' is not a device number (see --list-devices)"};
        }
        if (device != "0" && !play) throw UsageError{"--device is for --play"};
        options.device = *deviceIndex;
        if (!program.empty()) {
            const auto value = parseInteger(program);
            if (!value || *value < 0 || *value > 127) {
                throw UsageError{"--program: '" + program + "' is not an integer in 0..127"};
            }
            if (!sounding) throw UsageError{"--program is for --play or --render"};
            options.program = *value;
        }
        if (noSave) {
            if (!sounding) throw UsageError{"--no-save is for --play or --render"};
            if (!output.empty()) throw UsageError{"--no-save writes no MIDI file; drop --output"};
            options.save = false;
        }
        if (!output.empty()) {
            if (inputs.size() != 1) throw UsageError{"--output takes a single input"};
            options.output = output;
        }
        const auto jobCount = parseInteger(jobs);
        if (!jobCount || *jobCount < 0) {
            throw UsageError{"--jobs: '" + jobs + "' is not a whole number of 0 or more"};
        }
        options.jobs = *jobCount > 0 ? *jobCount : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        if (options.jobs > 1 && (play || listen)) {
            throw UsageError{std::string("--jobs above 1 cannot ") + (play ? "--play" : "--listen") +
                             ": one input is heard at a time"};
        }

        MethodSettings& settings = options.settings;
        const auto blockSizeValue = choiceOf(blockSize, p::kBlockSizes);
        if (!blockSizeValue) {
            throw UsageError{"--block-size: '" + blockSize + "' is not one of " + listOf(p::kBlockSizes, numberText)};
        }
        const auto poly = parseInteger(polyphony);
        if (!poly || *poly < p::kMinPolyphony || *poly > p::kMaxPolyphony) {
            throw UsageError{"--polyphony: '" + polyphony + "' is not an integer in " + numberText(p::kMinPolyphony) +
                             ".." + numberText(p::kMaxPolyphony)};
        }
        const auto thresholdValue = parseThreshold(threshold);
        if (!thresholdValue) {
            throw UsageError{"--threshold: '" + threshold + "' is not a number in 0.0..1.0"};
        }
        const auto windowIndex = std::find(p::kWindowNames.begin(), p::kWindowNames.end(), window);
        if (windowIndex == p::kWindowNames.end()) {
            throw UsageError{"--window: '" + window + "' is not one of " +
                             listOf(p::kWindowNames, [](std::string_view w) { return std::string(w); })};
        }
        const auto subsamplingValue = choiceOf(subsampling, p::kSubsamplings);
        if (!subsamplingValue) {
            throw UsageError{"--subsampling: '" + subsampling + "' is not one of " + listOf(p::kSubsamplings, numberText)};
        }
        const auto passCount = parseInteger(passes);
        if (!passCount || *passCount < p::kMinPasses || *passCount > p::kMaxPasses) {
            throw UsageError{"--passes: '" + passes + "' is not an integer in " + numberText(p::kMinPasses) + ".." +
                             numberText(p::kMaxPasses)};
        }

        options.method = findMethod(method);
        if (options.method == nullptr) {
            throw UsageError{"--method: '" + method + "' is not one of " +
                             listOf(recognitionMethods(), [](const MethodDescriptor* m) { return std::string(m->name); })};
        }
        const std::uint32_t controls = options.method->controls;
        const std::pair<const char*, std::uint32_t> given[] = {
            {"--block-size", kBlockSizeControl}, {"--polyphony", kPolyphonyControl}, {"--window", kWindowTypeControl},
            {"--subsampling", kSubsamplingControl}, {"--passes", kPassesControl}, {"--min-note", kMinNoteControl},
            {"--velocity", kVelocityControl}, {"--threshold", kThresholdControl}};
        for (const auto& [option, control] : given) {
            if (app.count(option) == 0 || (controls & control) != 0) continue;
            std::string text = std::string(option) + " is for --method " + methodsReading(control);
            if (control == kVelocityControl) text += " (the " + method + " method's velocity is 100)";
            throw UsageError{text};
        }
        if (tempoGiven) {
            const std::optional<SongOptions> song = parseTempo(tempo, options.song);
            if (!song) throw UsageError{"--tempo: '" + tempo + "' is not auto or a number of beats per minute in 20..300"};
            options.song = *song;
        }
        if (quantizeGiven) {
            const std::optional<QuantizeGrid> grid = quantizeGridNamed(quantize);
            if (!grid) throw UsageError{"--quantize: '" + quantize + "' is not one of " + grids};
            options.song.quantize = *grid;
        }
        if (pitchBends) {
            if (options.method->plainTiming) {
                std::vector<const MethodDescriptor*> benders;
                for (const MethodDescriptor* m : recognitionMethods()) {
                    if (!m->plainTiming) benders.push_back(m);
                }
                throw UsageError{"--pitch-bends is for --method " +
                                 listOf(benders, [](const MethodDescriptor* m) { return std::string(m->name); }, " or ") +
                                 " (the " + method + " method follows no pitch within a note)"};
            }
            options.song.pitchBends = true;
        }
        if (!minNote.empty()) {
            const auto ms = parseInteger(minNote);
            if (!ms || *ms < p::kMinNoteMsLow || *ms > p::kMinNoteMsHigh) {
                throw UsageError{"--min-note: '" + minNote + "' is not an integer in " + numberText(p::kMinNoteMsLow) +
                                 ".." + numberText(p::kMinNoteMsHigh)};
            }
            settings.minNoteMs = *ms;
        }
        if (!velocity.empty() && velocity != "fixed" && velocity != "loudness") {
            throw UsageError{"--velocity: '" + velocity + "' is not one of fixed, loudness"};
        }
        settings.loudnessVelocity = velocity != "fixed";
        settings.blockSize = *blockSizeValue;
        settings.polyphony = *poly;
        settings.threshold = *thresholdValue;
        settings.windowType = static_cast<std::int32_t>(windowIndex - p::kWindowNames.begin());
        settings.subsampling = *subsamplingValue;
        settings.passes = *passCount;
        result.options = std::move(options);
    } catch (const UsageError& e) {
        result.err = "selvik-convert: " + e.text + "\nRun with --help for more information.\n";
        result.exitStatus = kExitUsage;
    }
    return result;
}

}  // namespace selvik::cli
