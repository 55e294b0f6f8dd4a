// selvik-convert --plot: the options, and the pictures the built converter writes.

#include <gtest/gtest.h>

#include <functional>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/ConverterOptions.h"
#include "support/TestWav.h"

namespace selvik::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::sine;
using testing_support::writeWav16;

TEST(PlotOptions, APlotTakesItsPathAndTheDefaultSize) {
    const ParseResult parsed = parseConverterOptions({"a.wav", "--plot", "roll.PNG"});
    ASSERT_TRUE(parsed.options) << parsed.err;
    EXPECT_EQ(parsed.options->plot, "roll.PNG");
    EXPECT_EQ(parsed.options->plotWidth, 1600);
    EXPECT_EQ(parsed.options->plotHeight, 900);
    EXPECT_FALSE(parseConverterOptions({"a.wav"}).options->plot);
}

TEST(PlotOptions, APlotSizeIsWidthByHeight) {
    const ParseResult parsed = parseConverterOptions({"a.wav", "--plot", "r.svg", "--plot-size", "640x480"});
    ASSERT_TRUE(parsed.options) << parsed.err;
    EXPECT_EQ(parsed.options->plotWidth, 640);
    EXPECT_EQ(parsed.options->plotHeight, 480);
}

TEST(PlotOptions, WrongPlotRequestsAreUsageErrors) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"a.wav", "--plot", "roll.jpg"}, "does not end in .png or .svg"},
        {{"a.wav", "--plot", "roll"}, "does not end in .png or .svg"},
        {{"a.wav", "b.wav", "--plot", "roll.png"}, "--plot takes a single input"},
        {{"a.wav", "--plot-size", "640x480"}, "--plot-size is for --plot"},
        {{"a.wav", "--plot", "r.png", "--plot-size", "640"}, "WIDTHxHEIGHT"},
        {{"a.wav", "--plot", "r.png", "--plot-size", "10x480"}, "64..16384"},
        {{"a.wav", "--plot", "r.png", "--plot-size", "640x480x2"}, "WIDTHxHEIGHT"},
        {{"a.wav", "--listen", "--plot", "r.png"}, "drop --plot"},
    };
    for (const auto& [arguments, expected] : rows) {
        const ParseResult parsed = parseConverterOptions(arguments);
        EXPECT_FALSE(parsed.options) << arguments.back();
        EXPECT_EQ(parsed.exitStatus, 2) << arguments.back();
        EXPECT_NE(parsed.err.find(expected), std::string::npos) << parsed.err;
    }
}

TEST(PlotOptions, TheHelpNamesThePlotOptions) {
    const ParseResult parsed = parseConverterOptions({"--help"});
    EXPECT_NE(parsed.out.find("--plot OUT.png|OUT.svg"), std::string::npos) << parsed.out;
    EXPECT_NE(parsed.out.find("--plot-size WxH"), std::string::npos);
    EXPECT_NE(parsed.out.find("1600x900"), std::string::npos);
}

// The size a PNG's header gives, or {-1, -1} when the file is no PNG.
std::pair<int, int> pngSize(const std::string& bytes) {
    static const std::string kSignature = "\x89PNG\r\n\x1a\n";
    if (bytes.size() < 24 || bytes.compare(0, 8, kSignature) != 0 || bytes.compare(12, 4, "IHDR") != 0) {
        return {-1, -1};
    }
    auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
    };
    return {be32(16), be32(20)};
}

// Whether an independent XML reader accepts the file as an <svg> document.
bool wellFormedSvg(const fs::path& path) {
    const std::string command = "/usr/bin/python3 -c \"import sys, xml.etree.ElementTree as E; "
                                "sys.exit(0 if E.parse(sys.argv[1]).getroot().tag.endswith('svg') else 1)\" '" +
                                path.string() + "'";
    return std::system(command.c_str()) == 0;
}

class PlotRun : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/selvik-plot-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::vector<std::int16_t> samples = sine(440.0, 44100);
        const std::vector<std::int16_t> second = sine(659.26, 44100);
        samples.insert(samples.end(), second.begin(), second.end());
        writeWav16(dir_ / "melody.wav", samples);
    }
    void TearDown() override { fs::remove_all(dir_); }

    testing_support::ProcessResult convert(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), SELVIK_CONVERT_PATH);
        return runProgram(arguments, dir_);
    }

    fs::path dir_;
};

TEST_F(PlotRun, APngOfTheAskedSizeIsWrittenBesideTheMidiFile) {
    const auto result = convert({"-q", "melody.wav", "--plot", "roll.png", "--plot-size", "800x450"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(pngSize(readFile(dir_ / "roll.png")), std::make_pair(800, 450));
    EXPECT_TRUE(fs::exists(dir_ / "melody.mid"));
}

TEST_F(PlotRun, WithoutASizeThePictureIs1600By900) {
    const auto result = convert({"-q", "melody.wav", "--plot", "roll.png"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(pngSize(readFile(dir_ / "roll.png")), std::make_pair(1600, 900));
}

TEST_F(PlotRun, AnSvgIsWellFormedAndOfTheAskedSizeInPixels) {
    const auto result = convert({"-q", "melody.wav", "--plot", "roll.svg", "--plot-size", "1024x512"});
    EXPECT_EQ(result.status, 0) << result.err;
    ASSERT_TRUE(wellFormedSvg(dir_ / "roll.svg"));
    const std::string text = readFile(dir_ / "roll.svg");
    EXPECT_NE(text.find("<svg width=\"1024\" height=\"512\""), std::string::npos);
    EXPECT_NE(text.find("viewBox=\"0 0 1024 512\""), std::string::npos);
    EXPECT_NE(text.find("A4"), std::string::npos) << "the recognised A4's row is named";
}

TEST_F(PlotRun, APlotThatCannotBeWrittenIsReportedAndTheMidiFileStillWritten) {
    const auto result = convert({"-q", "melody.wav", "--plot", "no/such/folder/roll.png"});
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("melody.wav: Unable to write the plot."), std::string::npos) << result.err;
    EXPECT_TRUE(fs::exists(dir_ / "melody.mid"));
}

// QT_DEBUG_PLUGINS makes Qt report every plugin it loads, starting with the
// platform's, on standard error: a run that starts a GUI says so.
class GuiProbe {
public:
    GuiProbe() {
        setenv("QT_DEBUG_PLUGINS", "1", 1);
        // A display platform that cannot start here; --plot must not need it.
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        unsetenv("DISPLAY");
    }
    ~GuiProbe() {
        unsetenv("QT_DEBUG_PLUGINS");
        unsetenv("QT_QPA_PLATFORM");
    }
};

TEST_F(PlotRun, APlainConversionStartsNoGui) {
    const GuiProbe probe;
    const auto result = convert({"-q", "melody.wav"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err.find("plugin"), std::string::npos) << result.err;
}

TEST_F(PlotRun, APlotStartsQtOnTheOffscreenPlatformWhateverTheEnvironmentSays) {
    const GuiProbe probe;
    const auto result = convert({"-q", "melody.wav", "--plot", "roll.png", "--plot-size", "320x200"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("plugin"), std::string::npos) << "the probe sees a GUI start";
    EXPECT_NE(result.err.find("offscreen"), std::string::npos) << result.err.substr(0, 2000);
    EXPECT_EQ(pngSize(readFile(dir_ / "roll.png")), std::make_pair(320, 200));
}

// The dynamic loader names every library it loads when LD_DEBUG=files is set.
std::string librariesLoadedBy(const std::function<testing_support::ProcessResult()>& run) {
    setenv("LD_DEBUG", "files", 1);
    const testing_support::ProcessResult result = run();
    unsetenv("LD_DEBUG");
    return result.err;
}

TEST_F(PlotRun, APlainConversionLoadsNeitherTheGuiNorTheSoundLibraries) {
    const std::string plain = librariesLoadedBy([&] { return convert({"-q", "melody.wav"}); });
    EXPECT_NE(plain.find("libstdc++"), std::string::npos) << "the loader reports what it loads";
    for (const char* library : {"libQt6", "libfluidsynth", "librtmidi", "libjack", "libSDL2", "libasound"}) {
        EXPECT_EQ(plain.find(library), std::string::npos) << library << " was loaded";
    }
    const std::string plotted =
        librariesLoadedBy([&] { return convert({"-q", "melody.wav", "--plot", "roll.png", "--plot-size", "64x64"}); });
    EXPECT_NE(plotted.find("libQt6Gui"), std::string::npos);
    EXPECT_EQ(plotted.find("libfluidsynth"), std::string::npos);
}

}  // namespace
}  // namespace selvik::cli
