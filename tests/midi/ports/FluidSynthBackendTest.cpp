// The built-in synthesizer as a device-list backend. The test program runs
// with a PulseAudio server address that leads nowhere and an ALSA
// configuration without devices (see CMakeLists.txt), so that which audio
// driver starts is decided here, through SDL_AUDIODRIVER, on any machine.

#include <gtest/gtest.h>

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiDeviceList.h"
#include "midi/ports/DefaultMidiBackends.h"
#include "midi/ports/FluidSynthBackend.h"
#include "support/TestWav.h"

namespace selvik {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class BuiltInSynthesizer : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("SELVIK_SOUNDFONT");
        char pattern[] = "/tmp/selvik-synth-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        unsetenv("SELVIK_SOUNDFONT");
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        fs::remove_all(dir_);
    }

    fs::path dir_;
    FluidSynthBackend backend_;
};

TEST_F(BuiltInSynthesizer, ListsItsOnePortWhenASoundFontIsInstalled) {
    EXPECT_EQ(backend_.portNames(), std::vector<std::string>{"Built-in synthesizer"});
}

TEST_F(BuiltInSynthesizer, IsNotListedWhenTheSoundFontSettingNamesAMissingFile) {
    setenv("SELVIK_SOUNDFONT", (dir_ / "missing.sf2").c_str(), 1);
    EXPECT_TRUE(backend_.portNames().empty());
    EXPECT_EQ(backend_.openPort(0, FluidSynthBackend::kPortName), nullptr);
    EXPECT_NE(backend_.lastError().find("soundfont"), std::string::npos) << backend_.lastError();
}

// Listing only looks for the file: a file that is no soundfont is listed and
// refused only when opened.
TEST_F(BuiltInSynthesizer, ListingDoesNotLoadTheSoundFontOpeningDoes) {
    const fs::path bogus = dir_ / "bogus.sf2";
    std::ofstream(bogus) << "not a soundfont";
    setenv("SELVIK_SOUNDFONT", bogus.c_str(), 1);
    EXPECT_EQ(backend_.portNames().size(), 1u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(backend_.openPort(0, FluidSynthBackend::kPortName), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(backend_.lastError().find("not a soundfont"), std::string::npos) << backend_.lastError();
}

TEST_F(BuiltInSynthesizer, RefusesAnyOtherIndexOrName) {
    EXPECT_EQ(backend_.openPort(1, FluidSynthBackend::kPortName), nullptr);
    EXPECT_NE(backend_.lastError(), "");
    EXPECT_EQ(backend_.openPort(0, "Built-in synthesizer 2"), nullptr);
    EXPECT_NE(backend_.lastError(), "");
}

TEST_F(BuiltInSynthesizer, WithoutAnyAudioOutputOpeningFailsQuietlyNamingEachDriverTried) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(backend_.openPort(0, FluidSynthBackend::kPortName), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const std::string why = backend_.lastError();
    EXPECT_NE(why.find("pulseaudio"), std::string::npos) << why;
    EXPECT_NE(why.find("alsa"), std::string::npos) << why;
    EXPECT_NE(why.find("sdl2"), std::string::npos) << why;
    EXPECT_EQ(why.find("jack"), std::string::npos) << why;
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "the failed SDL attempt must quit SDL's audio again";
}

// Reads the SDL disk driver's output: raw native 16-bit stereo.
std::vector<std::int16_t> diskAudio(const fs::path& path) {
    const std::string bytes = testing_support::readFile(path);
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

TEST_F(BuiltInSynthesizer, OverSdlsDiskDriverPlaysTheNotesItIsSent) {
    const fs::path output = dir_ / "sdl-disk.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    testing::internal::CaptureStderr();
    std::unique_ptr<MidiOutputPort> port = backend_.openPort(0, FluidSynthBackend::kPortName);
    ASSERT_NE(port, nullptr) << backend_.lastError();
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    // The driver plays in real time: let some silence through, then a note.
    std::this_thread::sleep_for(200ms);
    const std::size_t before = diskAudio(output).size();
    port->sendShortMessage(0xC0 | 73 << 8);
    port->sendShortMessage(0x90 | 72 << 8 | 100 << 16);
    std::this_thread::sleep_for(400ms);
    port->sendShortMessage(0x90 | 72 << 8);
    std::this_thread::sleep_for(100ms);
    port.reset();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "closing the port must quit SDL's audio";

    const std::vector<std::int16_t> samples = diskAudio(output);
    ASSERT_GT(samples.size(), before);
    int silentPeak = 0;
    for (std::size_t i = 0; i < before; ++i) silentPeak = std::max(silentPeak, std::abs(int{samples[i]}));
    int notePeak = 0;
    for (std::size_t i = before; i < samples.size(); ++i) notePeak = std::max(notePeak, std::abs(int{samples[i]}));
    EXPECT_LE(silentPeak, 8) << "sound before any note";
    EXPECT_GT(notePeak, 3000) << "the note did not reach the driver";
}

// With no JACK server and no ALSA devices (this program's environment) the
// device list holds the synthesizer alone, first.
TEST_F(BuiltInSynthesizer, DefaultBackendsPutTheSynthesizerFirstInTheDeviceList) {
    const auto backends = defaultMidiBackends();
    ASSERT_EQ(backends.size(), 2u);
    EXPECT_NE(dynamic_cast<FluidSynthBackend*>(backends[0].get()), nullptr);
    setMidiBackends(backends);
    testing::internal::CaptureStderr();
    enumerateMidiDevices();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(midiDeviceCount(), 1);
    EXPECT_EQ(midiDevices()[0].name, "Built-in synthesizer");
    freeMidiDevices();
    setMidiBackends({});
}

}  // namespace
}  // namespace selvik
