// Runs with SDL_AUDIODRIVER naming a driver that does not exist: the output
// cannot be opened, as on a machine without any sound output.

#include <SDL.h>

#include <cstdlib>

#include "PreviewTestSupport.h"

namespace selvik {
namespace {

using testing_support::CountingSoundOutput;
using testing_support::signalOf;

TEST(MissingDriver, PlayerIsNotReadyAndNeverCallsTheOutputOrShowsAnything) {
    ASSERT_STREQ(std::getenv("SDL_AUDIODRIVER"), "no-such-driver");
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    {
        auto counting = std::make_unique<CountingSoundOutput>(std::make_unique<SdlSoundOutput>());
        auto counts = counting->counts;
        PreviewPlayer player(std::move(counting));
        EXPECT_FALSE(player.soundReady());
        EXPECT_EQ(counts->open, 1);
        EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);

        const Signal signal = signalOf(std::vector<float>(1000, 0.5f));
        player.play(&signal);
        player.stop();
        player.close();
        EXPECT_FALSE(player.isPlaying());
        EXPECT_EQ(counts->total(), 1) << "only the open attempt may reach the output";
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(MissingDriver, OutputSaysWhyItCouldNotOpen) {
    SdlSoundOutput output;
    EXPECT_FALSE(output.open(44100, 4));
    EXPECT_NE(output.lastError(), "");
    EXPECT_EQ(output.createSample(10, 44100), kNoSample);
    EXPECT_EQ(output.startSample(1), -1);
    EXPECT_FALSE(output.isVoicePlaying(0));
    output.stopVoice(0);
    output.shutdown();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

}  // namespace
}  // namespace selvik
