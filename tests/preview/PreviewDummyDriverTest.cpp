// Runs with SDL_AUDIODRIVER=dummy: a real SDL device that plays in real time
// to nowhere.

#include <SDL.h>

#include <cstdlib>

#include "PreviewTestSupport.h"

namespace selvik {
namespace {

using testing_support::CountingSoundOutput;
using testing_support::signalOf;
using testing_support::waitUntilFinished;

class DummyDriver : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_STREQ(std::getenv("SDL_AUDIODRIVER"), "dummy"); }
};

TEST_F(DummyDriver, PlaysToTheEndThenReportsFinished) {
    PreviewPlayer player(std::make_unique<SdlSoundOutput>());
    ASSERT_TRUE(player.soundReady());
    const Signal signal = signalOf(std::vector<float>(4410, 0.25f));
    player.play(&signal);
    EXPECT_TRUE(player.isPlaying());
    ASSERT_TRUE(waitUntilFinished(player));
    // A preview that ended on its own keeps its sample until the next call.
    EXPECT_TRUE(player.hasSample());
    player.stop();
    EXPECT_FALSE(player.hasSample());
    EXPECT_EQ(player.channel(), -1);
}

TEST_F(DummyDriver, StopSilencesAPlayingPreviewAndFreesItsSample) {
    auto counting = std::make_unique<CountingSoundOutput>(std::make_unique<SdlSoundOutput>());
    auto counts = counting->counts;
    PreviewPlayer player(std::move(counting));
    const Signal signal = signalOf(std::vector<float>(44100 * 10, 0.25f));
    player.play(&signal);
    ASSERT_TRUE(player.isPlaying());
    player.stop();
    EXPECT_EQ(counts->stopVoice, 1);
    EXPECT_EQ(counts->release, 1);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.channel(), -1);
    EXPECT_FALSE(player.hasSample());
}

TEST_F(DummyDriver, StopAfterTheEndDoesNotStopTheVoiceAgain) {
    auto counting = std::make_unique<CountingSoundOutput>(std::make_unique<SdlSoundOutput>());
    auto counts = counting->counts;
    PreviewPlayer player(std::move(counting));
    const Signal signal = signalOf(std::vector<float>(441, 0.25f));
    player.play(&signal);
    ASSERT_TRUE(waitUntilFinished(player));
    player.stop();
    EXPECT_EQ(counts->stopVoice, 0);
    EXPECT_EQ(counts->release, 1);
}

TEST_F(DummyDriver, CloseWhilePlayingStopsFreesAndShutsTheAudioSubsystemDown) {
    ASSERT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    auto counting = std::make_unique<CountingSoundOutput>(std::make_unique<SdlSoundOutput>());
    auto counts = counting->counts;
    PreviewPlayer player(std::move(counting));
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    const Signal signal = signalOf(std::vector<float>(44100 * 10, 0.25f));
    player.play(&signal);
    ASSERT_TRUE(player.isPlaying());
    player.close();
    EXPECT_EQ(counts->stopVoice, 1);
    EXPECT_EQ(counts->release, 1);
    EXPECT_EQ(counts->shutdown, 1);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "each audio init is paired with a quit";
    // A closed player never reaches the output again, not even from its destructor.
    const int before = counts->total();
    player.play(&signal);
    player.close();
    EXPECT_EQ(counts->total(), before);
}

TEST_F(DummyDriver, NullOrEmptySignalsStopThePreviewAndStartNothing) {
    auto counting = std::make_unique<CountingSoundOutput>(std::make_unique<SdlSoundOutput>());
    auto counts = counting->counts;
    PreviewPlayer player(std::move(counting));
    const Signal signal = signalOf(std::vector<float>(44100 * 10, 0.25f));

    player.play(&signal);
    ASSERT_TRUE(player.isPlaying());
    player.play(nullptr);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_FALSE(player.hasSample());

    const Signal empty;
    player.play(&signal);
    player.play(&empty);
    EXPECT_FALSE(player.hasSample());

    Signal unset = signalOf({0.5f, 0.5f});
    unset.setSampleRate(-1);
    player.play(&unset);
    Signal zeroRate = signalOf({0.5f, 0.5f});
    zeroRate.setSampleRate(0);
    player.play(&zeroRate);
    EXPECT_EQ(counts->start, 2);
    EXPECT_EQ(counts->create, 2);
    EXPECT_EQ(player.channel(), -1);
}

TEST_F(DummyDriver, FailuresOnTheWayLeaveThePlayerIdle) {
    const Signal signal = signalOf(std::vector<float>(4410, 0.25f));
    {
        auto counting = std::make_unique<CountingSoundOutput>(std::make_unique<SdlSoundOutput>());
        counting->failCreate = true;
        auto counts = counting->counts;
        PreviewPlayer player(std::move(counting));
        player.play(&signal);
        EXPECT_EQ(counts->upload, 0);
        EXPECT_EQ(counts->start, 0);
        EXPECT_FALSE(player.hasSample());
        EXPECT_EQ(player.channel(), -1);
    }
    {
        auto counting = std::make_unique<CountingSoundOutput>(std::make_unique<SdlSoundOutput>());
        counting->failUpload = true;
        auto counts = counting->counts;
        auto released = counting->released;
        PreviewPlayer player(std::move(counting));
        player.play(&signal);
        // The sample made for the failed upload is freed at once.
        EXPECT_EQ(counts->create, 1);
        EXPECT_EQ(released->size(), 1u);
        EXPECT_EQ(counts->start, 0);
        EXPECT_FALSE(player.hasSample());
        EXPECT_EQ(player.channel(), -1);
    }
    {
        auto counting = std::make_unique<CountingSoundOutput>(std::make_unique<SdlSoundOutput>());
        counting->failStart = true;
        PreviewPlayer player(std::move(counting));
        player.play(&signal);
        EXPECT_EQ(player.channel(), -1);
        EXPECT_FALSE(player.isPlaying());
    }
}

TEST_F(DummyDriver, RestartsAfterTheOutputWentIdle) {
    PreviewPlayer player(std::make_unique<SdlSoundOutput>());
    const Signal signal = signalOf(std::vector<float>(441, 0.25f));
    for (int round = 0; round < 3; ++round) {
        player.play(&signal);
        EXPECT_TRUE(player.isPlaying()) << "round " << round;
        ASSERT_TRUE(waitUntilFinished(player));
        // Long enough for the idle output to close its device.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

}  // namespace
}  // namespace selvik
