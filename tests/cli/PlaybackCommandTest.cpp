// selvik-convert --list-devices, --play and --render, run as processes.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "signal/Signal.h"
#include "support/MelodyCheck.h"
#include "support/TestWav.h"

namespace selvik::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::expectMelodyRecognised;
using testing_support::runProgram;
using testing_support::sine;
using testing_support::writeWav16;

class PlaybackCommand : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/selvik-play-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        // No audio server here: the synthesizer's SDL attempt plays to nowhere.
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    void TearDown() override {
        unsetenv("SELVIK_SOUNDFONT");
        unsetenv("SDL_AUDIODRIVER");
        fs::remove_all(dir_);
    }
    testing_support::ProcessResult convert(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), SELVIK_CONVERT_PATH);
        return runProgram(arguments, dir_);
    }
    fs::path dir_;
};

TEST_F(PlaybackCommand, ListsTheBuiltInSynthesizerFirst) {
    const auto result = convert({"--list-devices"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("0: Built-in synthesizer\n", 0), 0u) << result.out;
}

TEST_F(PlaybackCommand, WithoutASoundfontTheSynthesizerIsNotListedAndCannotPlayOrRender) {
    setenv("SELVIK_SOUNDFONT", (dir_ / "missing.sf2").c_str(), 1);
    const auto listed = convert({"--list-devices"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out.find("Built-in synthesizer"), std::string::npos) << listed.out;

    writeWav16(dir_ / "a440.wav", sine(440.0, 44100));
    const auto played = convert({"--play", "a440.wav"});
    EXPECT_EQ(played.status, 4);
    EXPECT_NE(played.err.find("soundfont"), std::string::npos) << played.err;

    const auto rendered = convert({"--render", "out.wav", "a440.wav"});
    EXPECT_EQ(rendered.status, 4);
    EXPECT_NE(rendered.err.find("soundfont"), std::string::npos) << rendered.err;
    EXPECT_FALSE(fs::exists(dir_ / "out.wav"));
}

TEST_F(PlaybackCommand, ADeviceBeyondTheListIsAUsageError) {
    writeWav16(dir_ / "a440.wav", sine(440.0, 44100));
    const auto result = convert({"--play", "--device", "40", "a440.wav"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("--list-devices"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(dir_ / "a440.mid")) << "nothing is converted after a usage error";
}

TEST_F(PlaybackCommand, RenderWritesAWavWhoseNotesOurRecognizerFindsAgain) {
    const fs::path example = fs::path(SELVIK_SOURCE_DIR) / "examples" / "melody_flute.wav";
    const auto result = convert({"--render", "rendered.wav", "--program", "73", "-o",
                                 "transcribed.mid", example.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_TRUE(fs::exists(dir_ / "rendered.wav"));
    Signal rendered;
    ASSERT_EQ(rendered.readWav((dir_ / "rendered.wav").c_str()), SignalStatus::NoError);
    // Each transcribed note of a quarter second or more sounds again where it was.
    expectMelodyRecognised(dir_ / "rendered.wav", dir_ / "transcribed.mid", 0.6, false, 0.25);
}

TEST_F(PlaybackCommand, NoSaveRendersWithoutWritingTheMidiFile) {
    writeWav16(dir_ / "a440.wav", sine(440.0, 44100));
    const auto result = convert({"--render", "out.wav", "--no-save", "a440.wav"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(dir_ / "out.wav"));
    EXPECT_FALSE(fs::exists(dir_ / "a440.mid"));
}

TEST_F(PlaybackCommand, PlaysOnTheBuiltInSynthesizerToTheEnd) {
    writeWav16(dir_ / "a440.wav", sine(440.0, 22050));
    const auto start = std::chrono::steady_clock::now();
    const auto result = convert({"--play", "a440.wav"});
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fs::exists(dir_ / "a440.mid"));
    // It returned after the song, not before: the half-second note was played.
    EXPECT_GE(took, std::chrono::milliseconds(400));
}

TEST_F(PlaybackCommand, CtrlCStopsPlaybackWithStatus130) {
    writeWav16(dir_ / "long.wav", sine(440.0, 44100 * 30));
    EXPECT_EQ(testing_support::runAndInterrupt(
                  {SELVIK_CONVERT_PATH, "--play", "--no-save", "long.wav"}, dir_, std::chrono::seconds(3)),
              130);
}

}  // namespace
}  // namespace selvik::cli
