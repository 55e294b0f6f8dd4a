#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/SongOptions.h"
#include "recognition/RecognitionMethod.h"

namespace selvik::cli {

// Everything the command line asks for, validated.
struct ConverterOptions {
    std::vector<std::string> inputs;
    std::optional<std::string> output;  // only with a single input
    const MethodDescriptor* method = nullptr;  // never null in parsed options
    MethodSettings settings;            // defaults: the desktop program's start values
    SongOptions song;                   // --tempo, --quantize, --pitch-bends
    int jobs = 1;                       // inputs converted at once; 0 was resolved to one per core
    bool printNotes = false;
    bool quiet = false;
    bool listen = false;                // play each input instead of converting it
    bool listDevices = false;           // print the MIDI output devices and stop
    bool play = false;                  // play each song on a MIDI output device
    int device = 0;                     // index in the device list, for play
    std::optional<int> program;         // program change before play or render
    bool save = true;                   // write the MIDI file
    std::optional<std::string> render;  // WAV file to render the song into (one input only)
    std::optional<std::string> plot;    // PNG or SVG picture of the spectrogram and notes (one input only)
    int plotWidth = kDefaultPlotWidth;  // the picture's size in pixels
    int plotHeight = kDefaultPlotHeight;

    static constexpr int kDefaultPlotWidth = 1600;
    static constexpr int kDefaultPlotHeight = 900;
};

// Outcome of parsing: either options to run, or an exit status with the text
// that goes to standard output (help, version) or standard error (usage errors).
struct ParseResult {
    std::optional<ConverterOptions> options;
    int exitStatus = 0;
    std::string out;
    std::string err;
};

ParseResult parseConverterOptions(const std::vector<std::string>& arguments);

// Parses a threshold text straight to single precision; empty for text that is
// not a finite number in 0..1.
std::optional<float> parseThreshold(std::string_view text);

// Parses a --tempo value: "auto", or quarter notes per minute from 20 to 300
// (fractions allowed); empty for anything else, NaN and infinities included.
std::optional<SongOptions> parseTempo(std::string_view text, SongOptions options);

// The default output path: the input with ".mid" in place of its extension.
std::string defaultOutputPath(const std::string& input);

}  // namespace selvik::cli
