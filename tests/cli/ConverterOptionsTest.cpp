#include "cli/ConverterOptions.h"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cstdio>
#include <string>
#include <thread>
#include <algorithm>
#include <vector>

#include "cli/ExitStatus.h"
#include "app/AnalysisSettings.h"
#include "recognition/melody/MelodyTracker.h"

namespace selvik::cli {
namespace {

ParseResult parse(std::vector<std::string> arguments) { return parseConverterOptions(arguments); }

TEST(ConverterOptions, DefaultsAreTheDesktopProgramsStartValues) {
    const ParseResult result = parse({"in.wav"});
    ASSERT_TRUE(result.options);
    const MethodSettings& p = result.options->settings;
    const auto desktop = app::resolveAnalysisParameters(app::AnalysisSettings{});
    ASSERT_TRUE(desktop);
    EXPECT_EQ(p.blockSize, desktop->blockSize);
    EXPECT_EQ(p.polyphony, desktop->polyphony);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(p.threshold),
              std::bit_cast<std::uint32_t>(desktop->threshold));
    EXPECT_EQ(p.windowType, desktop->windowType);
    EXPECT_EQ(p.subsampling, desktop->subsampling);
    EXPECT_EQ(p.passes, desktop->passes);
    EXPECT_FALSE(result.options->output);
    EXPECT_FALSE(result.options->printNotes);
}

TEST(ConverterOptions, EveryChoiceMapsToItsParameter) {
    const ParseResult result =
        parse({"--block-size", "8192", "--polyphony", "16", "--threshold", "0.25", "--window",
               "gaussian", "--subsampling", "16", "--passes", "4", "--notes", "-q", "-o",
               "out.mid", "in.wav"});
    ASSERT_TRUE(result.options) << result.err;
    const MethodSettings& p = result.options->settings;
    EXPECT_EQ(p.blockSize, 8192);
    EXPECT_EQ(p.polyphony, 16);
    EXPECT_EQ(p.threshold, 0.25f);
    EXPECT_EQ(p.windowType, 0);
    EXPECT_EQ(p.subsampling, 16);
    EXPECT_EQ(p.passes, 4);
    EXPECT_TRUE(result.options->printNotes);
    EXPECT_TRUE(result.options->quiet);
    EXPECT_EQ(result.options->output, "out.mid");
}

struct UsageRow {
    const char* sentence;
    std::vector<std::string> arguments;
    const char* named;  // text the message must contain
};

class ConverterUsageErrors : public testing::TestWithParam<UsageRow> {};

TEST_P(ConverterUsageErrors, AreRefusedWithStatusTwoAndNameTheAllowedValues) {
    const ParseResult result = parse(GetParam().arguments);
    EXPECT_FALSE(result.options) << GetParam().sentence;
    EXPECT_EQ(result.exitStatus, kExitUsage) << GetParam().sentence;
    EXPECT_NE(result.err.find(GetParam().named), std::string::npos)
        << GetParam().sentence << ": " << result.err;
    EXPECT_TRUE(result.out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConverterUsageErrors,
    testing::Values(
        UsageRow{"a block size that is not a power of two", {"--block-size", "3000", "a.wav"},
                 "1024, 2048, 4096, 8192"},
        UsageRow{"a polyphony of 0", {"--polyphony", "0", "a.wav"}, "1..16"},
        UsageRow{"a polyphony of 17", {"--polyphony", "17", "a.wav"}, "1..16"},
        UsageRow{"a polyphony that is text", {"--polyphony", "two", "a.wav"}, "1..16"},
        UsageRow{"a threshold above 1", {"--threshold", "1.5", "a.wav"}, "0.0..1.0"},
        UsageRow{"a negative threshold", {"--threshold", "-0.5", "a.wav"}, "0.0..1.0"},
        UsageRow{"a threshold of nan", {"--threshold", "nan", "a.wav"}, "0.0..1.0"},
        UsageRow{"a threshold of inf", {"--threshold", "inf", "a.wav"}, "0.0..1.0"},
        UsageRow{"a threshold with trailing text", {"--threshold", "0.5x", "a.wav"}, "0.0..1.0"},
        UsageRow{"an unknown window", {"--window", "hamming", "a.wav"},
                 "gaussian, hanning, blackman"},
        UsageRow{"a subsampling of 3", {"--subsampling", "3", "a.wav"}, "1, 2, 4, 8, 16"},
        UsageRow{"five passes", {"--passes", "5", "a.wav"}, "1..4"},
        UsageRow{"an output with two inputs", {"-o", "x.mid", "a.wav", "b.wav"}, "single input"},
        UsageRow{"no input at all", {}, "INPUT"},
        UsageRow{"a device number that is text", {"--play", "--device", "one", "a.wav"},
                 "--list-devices"},
        UsageRow{"a negative device number", {"--play", "--device", "-1", "a.wav"},
                 "--list-devices"},
        UsageRow{"a device without play", {"--device", "1", "a.wav"}, "--device is for --play"},
        UsageRow{"a program of 128", {"--play", "--program", "128", "a.wav"}, "0..127"},
        UsageRow{"a program without play or render", {"--program", "5", "a.wav"},
                 "--program is for --play or --render"},
        UsageRow{"no save without play or render", {"--no-save", "a.wav"},
                 "--no-save is for --play or --render"},
        UsageRow{"no save with an output file", {"--play", "--no-save", "-o", "x.mid", "a.wav"},
                 "drop --output"},
        UsageRow{"a render with two inputs", {"--render", "x.wav", "a.wav", "b.wav"},
                 "single input"},
        UsageRow{"an unknown method", {"--method", "yin", "a.wav"}, "classic, melody"},
        UsageRow{"a minimum note length with the classic method", {"--min-note", "80", "a.wav"},
                 "--min-note is for --method melody"},
        UsageRow{"a velocity with the classic method", {"--velocity", "fixed", "a.wav"},
                 "--velocity is for --method melody"},
        UsageRow{"a block size with the melody tracker",
                 {"--method", "melody", "--block-size", "4096", "a.wav"},
                 "--block-size is for --method classic"},
        UsageRow{"a minimum note length of 0", {"--method", "melody", "--min-note", "0", "a.wav"},
                 "1..10000"},
        UsageRow{"an unknown velocity", {"--method", "melody", "--velocity", "soft", "a.wav"},
                 "fixed, loudness"},
        UsageRow{"listening and playing", {"--listen", "--play", "a.wav"}, "--listen"},
        UsageRow{"listening with an output file", {"--listen", "-o", "x.mid", "a.wav"},
                 "--listen writes no MIDI file"},
        UsageRow{"listening with the notes table", {"--listen", "--notes", "a.wav"},
                 "--listen recognises no notes"},
        UsageRow{"a negative number of jobs", {"--jobs", "-1", "a.wav"}, "--jobs"},
        UsageRow{"a number of jobs that is not whole", {"--jobs", "1.5", "a.wav"}, "--jobs"},
        UsageRow{"a number of jobs that is text", {"--jobs", "two", "a.wav"}, "--jobs"},
        UsageRow{"two jobs that play", {"--jobs", "2", "--play", "a.wav", "b.wav"}, "--play"},
        UsageRow{"two jobs that listen", {"--jobs", "2", "--listen", "a.wav", "b.wav"}, "--listen"},
        UsageRow{"a tempo below 20", {"--tempo", "19.9", "a.wav"}, "20..300"},
        UsageRow{"a tempo above 300", {"--tempo", "300.5", "a.wav"}, "20..300"},
        UsageRow{"a tempo of nan", {"--tempo", "nan", "a.wav"}, "20..300"},
        UsageRow{"a tempo of inf", {"--tempo", "inf", "a.wav"}, "20..300"},
        UsageRow{"a tempo in exponent form", {"--tempo", "1e2", "a.wav"}, "20..300"},
        UsageRow{"a tempo that is text", {"--tempo", "fast", "a.wav"}, "auto"},
        UsageRow{"an empty tempo", {"--tempo", "", "a.wav"}, "auto"},
        UsageRow{"an unknown grid", {"--quantize", "1/12", "a.wav"}, "1/4, 1/8, 1/16, 1/32, 1/8t, 1/16t"},
        UsageRow{"a grid of off", {"--quantize", "off", "a.wav"}, "1/16t"},
        UsageRow{"an empty grid", {"--quantize", "", "a.wav"}, "1/16t"},
        UsageRow{"pitch bends with the classic method", {"--pitch-bends", "a.wav"}, "--method melody"},
        UsageRow{"a tempo while listening", {"--listen", "--tempo", "90", "a.wav"}, "--listen"},
        UsageRow{"an unknown option", {"--frobnicate", "a.wav"}, "frobnicate"}),
    [](const testing::TestParamInfo<UsageRow>& info) {
        std::string name;
        for (const char* c = info.param.sentence; *c; ++c) {
            if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
            else if (*c == ' ') name += '_';
        }
        return name;
    });

TEST(ConverterOptions, PlayAndRenderChoicesAreKept) {
    const ParseResult result =
        parse({"--play", "--device", "2", "--program", "73", "--no-save", "--render", "o.wav", "in.wav"});
    ASSERT_TRUE(result.options) << result.err;
    EXPECT_TRUE(result.options->play);
    EXPECT_EQ(result.options->device, 2);
    EXPECT_EQ(result.options->program, 73);
    EXPECT_FALSE(result.options->save);
    EXPECT_EQ(result.options->render, "o.wav");

    const ParseResult plain = parse({"in.wav"});
    ASSERT_TRUE(plain.options);
    EXPECT_FALSE(plain.options->play);
    EXPECT_FALSE(plain.options->program) << "no program change is sent unless asked for";
    EXPECT_TRUE(plain.options->save);
    EXPECT_FALSE(plain.options->render);
}

TEST(ConverterOptions, MelodyTrackerTakesItsOwnOptionsAndTheThresholdAsSensitivity) {
    const ParseResult defaults = parse({"--method", "melody", "in.wav"});
    ASSERT_TRUE(defaults.options) << defaults.err;
    EXPECT_EQ(defaults.options->method, &kMelodyMethod);
    EXPECT_EQ(defaults.options->settings.minNoteMs, 60.0);
    EXPECT_TRUE(defaults.options->settings.loudnessVelocity);
    EXPECT_EQ(defaults.options->settings.threshold, 0.8f);

    const ParseResult set = parse({"--method", "melody", "--min-note", "90", "--velocity", "fixed",
                                   "--threshold", "0.55", "in.wav"});
    ASSERT_TRUE(set.options) << set.err;
    EXPECT_EQ(set.options->settings.minNoteMs, 90.0);
    EXPECT_FALSE(set.options->settings.loudnessVelocity);
    EXPECT_EQ(set.options->settings.threshold, 0.55f);

    const ParseResult classic = parse({"--method", "classic", "in.wav"});
    ASSERT_TRUE(classic.options);
    EXPECT_NE(classic.options->method, &kMelodyMethod);
}

TEST(ConverterOptions, TempoGridAndBendsDefaultToTheMethodsOwnTiming) {
    const ParseResult plain = parse({"in.wav"});
    ASSERT_TRUE(plain.options) << plain.err;
    EXPECT_EQ(plain.options->song.tempo, TempoSource::MethodDefault);
    EXPECT_FALSE(plain.options->song.quantize.on());
    EXPECT_FALSE(plain.options->song.pitchBends);

    const ParseResult fixed = parse({"--tempo", "92.5", "--quantize", "1/16t", "in.wav"});
    ASSERT_TRUE(fixed.options) << fixed.err;
    EXPECT_EQ(fixed.options->song.tempo, TempoSource::Fixed);
    EXPECT_EQ(fixed.options->song.fixedTempo, 92.5);
    EXPECT_EQ(fixed.options->song.quantize, (QuantizeGrid{16, true}));

    for (const char* bpm : {"20", "300", "120.125"}) {
        const ParseResult edge = parse({"--tempo", bpm, "in.wav"});
        ASSERT_TRUE(edge.options) << bpm << ": " << edge.err;
        EXPECT_EQ(edge.options->song.fixedTempo, std::stod(bpm));
    }

    const ParseResult automatic = parse({"--method", "melody", "--tempo", "auto", "--pitch-bends", "in.wav"});
    ASSERT_TRUE(automatic.options) << automatic.err;
    EXPECT_EQ(automatic.options->song.tempo, TempoSource::Recording);
    EXPECT_TRUE(automatic.options->song.pitchBends);
    // The classic method may follow the recording's tempo when asked.
    EXPECT_EQ(parse({"--tempo", "auto", "in.wav"}).options->song.tempo, TempoSource::Recording);
}

TEST(ConverterOptions, JobsDefaultToOneAndZeroMeansOnePerCore) {
    EXPECT_EQ(parse({"a.wav"}).options->jobs, 1);
    EXPECT_EQ(parse({"--jobs", "3", "a.wav"}).options->jobs, 3);
    EXPECT_EQ(parse({"-j", "0", "a.wav"}).options->jobs,
              static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

TEST(ConverterOptions, ListingDevicesNeedsNoInput) {
    const ParseResult result = parse({"--list-devices"});
    ASSERT_TRUE(result.options) << result.err;
    EXPECT_TRUE(result.options->listDevices);
}

TEST(ConverterOptions, HelpAndVersionGoToStandardOutputWithStatusZero) {
    const ParseResult help = parse({"--help"});
    EXPECT_EQ(help.exitStatus, kExitOk);
    EXPECT_FALSE(help.options);
    EXPECT_NE(help.out.find("--block-size"), std::string::npos);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    EXPECT_TRUE(help.err.empty());

    const ParseResult version = parse({"--version"});
    EXPECT_EQ(version.exitStatus, kExitOk);
    EXPECT_EQ(version.out, "selvik-convert 1.0.0.1\n");
}

TEST(ConverterOptions, ThresholdTextIsRoundedOnceToSinglePrecision) {
    EXPECT_EQ(parseThreshold("0.1"), 0.1f);
    EXPECT_EQ(parseThreshold("1"), 1.0f);
    EXPECT_EQ(parseThreshold("0"), 0.0f);
    EXPECT_FALSE(parseThreshold(""));
    EXPECT_FALSE(parseThreshold("1.0000001"));
}

TEST(ConverterOptions, EverySliderPositionAndItsThresholdTextGiveTheSameFloat) {
    for (int p = 0; p <= 100; ++p) {
        app::AnalysisSettings settings;
        settings.thresholdPosition = p;
        const auto desktop = app::resolveAnalysisParameters(settings);
        ASSERT_TRUE(desktop);
        char text[16];
        std::snprintf(text, sizeof text, "%d.%02d", (100 - p) / 100, (100 - p) % 100);
        const auto typed = parseThreshold(text);
        ASSERT_TRUE(typed) << text;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(*typed),
                  std::bit_cast<std::uint32_t>(desktop->threshold))
            << "slider " << p << ", text " << text;
    }
}

struct OutputPathRow {
    const char* input;
    const char* output;
};

TEST(ConverterOptions, DefaultOutputReplacesTheExtensionOnly) {
    const OutputPathRow rows[] = {
        {"song.wav", "song.mid"},
        {"dir/LOUD.WAV", "dir/LOUD.mid"},
        {"dir.v2/take", "dir.v2/take.mid"},
        {".hidden", ".hidden.mid"},
        {"a.b.wav", "a.b.mid"},
    };
    for (const auto& row : rows) EXPECT_EQ(defaultOutputPath(row.input), row.output) << row.input;
}

}  // namespace
}  // namespace selvik::cli
