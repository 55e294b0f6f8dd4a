// selvik-convert --listen, run as a process on SDL's own audio drivers (the
// driver is chosen per process through SDL_AUDIODRIVER).

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "preview/PreviewPlayer.h"
#include "recognition/classic/Recognizer.h"
#include "support/TestWav.h"

namespace selvik::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::sine;
using testing_support::writeWav16;

class Listen : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/selvik-listen-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIODELAY");
        fs::remove_all(dir_);
    }

    testing_support::ProcessResult listen(const std::string& input) {
        return runProgram({SELVIK_CONVERT_PATH, "--listen", input}, dir_);
    }

    bool anyMidiFile() const {
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.path().extension() == ".mid") return true;
        }
        return false;
    }

    fs::path dir_;
};

TEST_F(Listen, PlaysTheNormalisedRecordingToTheEndAndWritesNoMidiFile) {
    writeWav16(dir_ / "tone.wav", sine(440.0, 22050, 12000.0));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (dir_ / "played.raw").c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);

    const auto result = listen("tone.wav");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(anyMidiFile());

    // What was played is the recording as the program loads it: normalised,
    // then converted to 16 bits.
    Recognizer recognizer;
    recognizer.loadWav((dir_ / "tone.wav").c_str());
    const Signal& signal = recognizer.signal();
    const std::string bytes = readFile(dir_ / "played.raw");
    ASSERT_GE(bytes.size(), static_cast<std::size_t>(signal.count()) * 2);
    std::vector<std::int16_t> frames(bytes.size() / 2);
    std::memcpy(frames.data(), bytes.data(), frames.size() * 2);
    // SDL2 opens devices paused and writes a paused device's silence: one
    // whole silent buffer of 2048 frames may come first.
    while (frames.size() > 2048 &&
           std::all_of(frames.begin(), frames.begin() + 2048, [](std::int16_t f) { return f == 0; })) {
        frames.erase(frames.begin(), frames.begin() + 2048);
    }
    for (std::int32_t i = 0; i < signal.count(); ++i) {
        ASSERT_EQ(frames[static_cast<std::size_t>(i)], previewValue(signal.samples()[i]))
            << "frame " << i;
    }
    for (std::size_t i = static_cast<std::size_t>(signal.count()); i < frames.size(); ++i) {
        ASSERT_EQ(frames[i], 0) << "frame " << i << " after the end";
    }
}

TEST_F(Listen, WithoutAnAudioOutputSaysSoAndExitsFour) {
    writeWav16(dir_ / "tone.wav", sine(440.0, 4410));
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    const auto result = listen("tone.wav");
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.err.rfind("tone.wav: cannot play: no audio output could be opened", 0), 0u)
        << result.err;
    EXPECT_FALSE(anyMidiFile());
}

TEST_F(Listen, AnUnreadableInputGivesTheLoadersMessageAndExitsOne) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const auto result = listen("missing.wav");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("missing.wav: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find("cannot play"), std::string::npos);
}

TEST_F(Listen, CtrlCStopsThePreviewWithStatus130) {
    writeWav16(dir_ / "long.wav", sine(440.0, 44100 * 60));
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // Time to load and start; the interrupt must stop it either way.
    EXPECT_EQ(testing_support::runAndInterrupt({SELVIK_CONVERT_PATH, "--listen", "long.wav"}, dir_,
                                               std::chrono::milliseconds(700)),
              130);
    EXPECT_FALSE(anyMidiFile());
}

}  // namespace
}  // namespace selvik::cli
