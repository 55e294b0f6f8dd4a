#include "cli/ConverterOptions.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>
#include <cmath>
#include <sstream>

#include "cli/ExitStatus.h"
#include "core/Version.h"

namespace selvik::cli {

namespace {

std::optional<int> parseInteger(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return value;
}

// Index of `value` among `choices`, or empty.
template <typename T, std::size_t N>
std::optional<int> indexOf(const T (&choices)[N], const T& value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (choices[i] == value) return static_cast<int>(i);
    }
    return std::nullopt;
}

struct UsageError {
    std::string text;
};

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

std::string defaultOutputPath(const std::string& input) {
    const std::size_t slash = input.find_last_of('/');
    const std::size_t dot = input.find_last_of('.');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // A leading dot marks a hidden file, not an extension.
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    return (hasExtension ? input.substr(0, dot) : input) + ".mid";
}

ParseResult parseConverterOptions(const std::vector<std::string>& arguments) {
    ParseResult result;
    CLI::App app{"Turns WAV recordings of a melody into Standard MIDI Files.\n"
                 "Reads 44100 Hz PCM WAV files (mono or stereo, up to 16 bits) and writes one\n"
                 "format-1 MIDI file per input (120 BPM, 384 ticks per quarter note).",
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
    std::string blockSize = "2048";
    std::string polyphony = "1";
    std::string threshold = "0.8";
    std::string window = "blackman";
    std::string subsampling = "4";
    std::string passes = "2";

    // Not required by the parser: --list-devices needs no input.
    app.add_option("INPUT.wav", inputs, "WAV recordings to convert")->type_name("");
    app.add_option("-o,--output", output,
                   "MIDI file to write (one input only; default: each input with .mid in place "
                   "of its extension, overwritten if it exists)")
        ->type_name("FILE");
    app.add_option("--block-size", blockSize, "1024, 2048, 4096 or 8192 (default 2048)")
        ->type_name("N");
    app.add_option("--polyphony", polyphony, "notes per block, 1..16 (default 1)")->type_name("N");
    app.add_option("--threshold", threshold,
                   "acceptance level relative to the strongest line, 0.0..1.0 (default 0.8)")
        ->type_name("X");
    app.add_option("--window", window, "gaussian, hanning or blackman (default blackman)")
        ->type_name("NAME");
    app.add_option("--subsampling", subsampling,
                   "window positions per block: 1, 2, 4, 8 or 16 (default 4)")
        ->type_name("N");
    app.add_option("--passes", passes, "passes at decimation 1, 2, 4, 8: 1..4 (default 2)")
        ->type_name("N");
    std::string method = "classic";
    app.add_option("--method", method,
                   "classic (the block-spectrum method, default) or melody (a tracker for "
                   "recordings of one line at a time; --threshold then sets its sensitivity)")
        ->type_name("NAME");
    std::string minNote;
    app.add_option("--min-note", minNote, "melody only: shortest note kept, in ms (default 60)")
        ->type_name("MS");
    std::string velocity;
    app.add_option("--velocity", velocity,
                   "melody only: fixed (100) or loudness (from each note's level, default)")
        ->type_name("KIND");
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
    std::string program;
    app.add_option("--program", program,
                   "General MIDI program 0..127 for --play and --render, sent on the first "
                   "channel before the song (default: none sent)")
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
    std::ostringstream out;
    std::ostringstream err;
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
        if (listDevices) {
            result.options = std::move(options);
            return result;
        }
        if (inputs.empty()) throw UsageError{"INPUT.wav is required"};
        if (listen && !output.empty()) throw UsageError{"--listen writes no MIDI file; drop --output"};
        if (listen && notes) throw UsageError{"--listen recognises no notes; drop --notes"};
        if (listen && !plot.empty()) throw UsageError{"--listen recognises no notes; drop --plot"};
        if (listen && (play || !render.empty())) {
            throw UsageError{"--listen plays the recording itself; it takes no --play or --render"};
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

        static const std::string kBlockSizes[] = {"1024", "2048", "4096", "8192"};
        const auto blockIndex = indexOf(kBlockSizes, blockSize);
        if (!blockIndex) {
            throw UsageError{"--block-size: '" + blockSize +
                             "' is not one of 1024, 2048, 4096, 8192"};
        }
        const auto poly = parseInteger(polyphony);
        if (!poly || *poly < 1 || *poly > 16) {
            throw UsageError{"--polyphony: '" + polyphony + "' is not an integer in 1..16"};
        }
        const auto thresholdValue = parseThreshold(threshold);
        if (!thresholdValue) {
            throw UsageError{"--threshold: '" + threshold + "' is not a number in 0.0..1.0"};
        }
        static const std::string kWindows[] = {"gaussian", "hanning", "blackman"};
        const auto windowIndex = indexOf(kWindows, window);
        if (!windowIndex) {
            throw UsageError{"--window: '" + window +
                             "' is not one of gaussian, hanning, blackman"};
        }
        static const std::string kSubsamplings[] = {"1", "2", "4", "8", "16"};
        const auto subsamplingIndex = indexOf(kSubsamplings, subsampling);
        if (!subsamplingIndex) {
            throw UsageError{"--subsampling: '" + subsampling +
                             "' is not one of 1, 2, 4, 8, 16"};
        }
        const auto passCount = parseInteger(passes);
        if (!passCount || *passCount < 1 || *passCount > 4) {
            throw UsageError{"--passes: '" + passes + "' is not an integer in 1..4"};
        }

        if (method != "classic" && method != "melody") {
            throw UsageError{"--method: '" + method + "' is not one of classic, melody"};
        }
        options.melody = method == "melody";
        if (!options.melody) {
            if (!minNote.empty()) throw UsageError{"--min-note is for --method melody"};
            if (!velocity.empty()) {
                throw UsageError{"--velocity is for --method melody (the classic method's velocity is 100)"};
            }
        } else {
            for (const char* classicOnly : {"--block-size", "--polyphony", "--window", "--subsampling", "--passes"}) {
                if (app.count(classicOnly) > 0) {
                    throw UsageError{std::string(classicOnly) + " is for --method classic"};
                }
            }
            if (!minNote.empty()) {
                const auto ms = parseInteger(minNote);
                if (!ms || *ms < 1 || *ms > 10000) {
                    throw UsageError{"--min-note: '" + minNote + "' is not an integer in 1..10000"};
                }
                options.melodyParameters.minNoteMs = *ms;
            }
            if (!velocity.empty() && velocity != "fixed" && velocity != "loudness") {
                throw UsageError{"--velocity: '" + velocity + "' is not one of fixed, loudness"};
            }
            options.melodyParameters.loudnessVelocity = velocity != "fixed";
            options.melodyParameters.sensitivity = *thresholdValue;
        }

        options.parameters.blockSize = 1024 << *blockIndex;
        options.parameters.polyphony = *poly;
        options.parameters.threshold = *thresholdValue;
        options.parameters.windowType = *windowIndex;
        options.parameters.subsampling = 1 << *subsamplingIndex;
        options.parameters.passes = *passCount;
        result.options = std::move(options);
    } catch (const UsageError& e) {
        result.err = "selvik-convert: " + e.text + "\nRun with --help for more information.\n";
        result.exitStatus = kExitUsage;
    }
    return result;
}

}  // namespace selvik::cli
