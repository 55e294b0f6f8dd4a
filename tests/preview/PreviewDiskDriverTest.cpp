// Runs with SDL_AUDIODRIVER=disk and SDL_DISKAUDIODELAY=0: everything played
// lands in a raw 16-bit file, which the tests read back.

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "PreviewTestSupport.h"

namespace selvik {
namespace {

using testing_support::CountingSoundOutput;
using testing_support::signalOf;
using testing_support::waitUntilFinished;

class DiskDriver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_STREQ(std::getenv("SDL_AUDIODRIVER"), "disk");
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::path(SELVIK_BINARY_DIR) / "tests" / "preview" / "disk" /
               info->name();
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        file_ = dir_ / "played.raw";
        setenv("SDL_DISKAUDIOFILE", file_.c_str(), 1);
    }

    // The 16-bit frames written so far (complete once the output is closed).
    // SDL2 opens every device paused and hands a paused device's backend
    // silence, so one whole silent buffer may come before the preview starts;
    // it is dropped here. Every preview in these tests starts with a sound.
    std::vector<std::int16_t> played() const {
        std::ifstream in(file_, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::vector<std::int16_t> frames(bytes.size() / 2);
        std::memcpy(frames.data(), bytes.data(), frames.size() * 2);
        constexpr std::size_t kDeviceBuffer = 2048;
        while (frames.size() > kDeviceBuffer &&
               std::all_of(frames.begin(), frames.begin() + kDeviceBuffer,
                           [](std::int16_t f) { return f == 0; })) {
            frames.erase(frames.begin(), frames.begin() + kDeviceBuffer);
        }
        return frames;
    }

    std::filesystem::path dir_;
    std::filesystem::path file_;
};

// Index just past the last non-zero frame.
std::size_t soundEnd(const std::vector<std::int16_t>& frames) {
    std::size_t end = frames.size();
    while (end > 0 && frames[end - 1] == 0) --end;
    return end;
}

TEST_F(DiskDriver, WritesTheConvertedValuesThenOnlySilence) {
    PreviewPlayer player(std::make_unique<SdlSoundOutput>());
    ASSERT_TRUE(player.soundReady());
    const Signal signal = signalOf({1.0f, -1.0f, -0.5f, 0.00001f, 0.25f, 1.0f});
    player.play(&signal);
    EXPECT_NE(player.channel(), -1);
    EXPECT_TRUE(player.hasSample());
    ASSERT_TRUE(waitUntilFinished(player));
    player.close();

    const std::vector<std::int16_t> frames = played();
    ASSERT_GE(frames.size(), 6u);
    const std::vector<std::int16_t> expected = {32767, -32767, -16383, 0, 8191, 32767};
    EXPECT_EQ(std::vector<std::int16_t>(frames.begin(), frames.begin() + 6), expected);
    EXPECT_EQ(soundEnd(frames), 6u) << "only silence may follow the preview";
}

TEST_F(DiskDriver, PlaysTheCountNotThePadding) {
    std::vector<float> values(1000, 0.5f);
    Signal signal = signalOf(values);
    ASSERT_EQ(signal.paddedLength(), 1024);
    // Padding that is not silent shows at once if it is played.
    for (int i = 1000; i < 1024; ++i) signal.samples()[i] = 0.9f;

    PreviewPlayer player(std::make_unique<SdlSoundOutput>());
    ASSERT_TRUE(player.soundReady());
    player.play(&signal);
    ASSERT_TRUE(waitUntilFinished(player));
    player.close();

    const std::vector<std::int16_t> frames = played();
    ASSERT_GE(frames.size(), 1000u);
    for (std::size_t i = 0; i < 1000; ++i) ASSERT_EQ(frames[i], 16383) << "frame " << i;
    EXPECT_EQ(soundEnd(frames), 1000u);
}

TEST_F(DiskDriver, PlayingAgainStopsTheFirstAndStartsTheSecondFromItsBeginning) {
    // The first preview is long and marked by its index; the second is short
    // and marked negative, so each frame tells which preview it came from.
    std::vector<float> first(44100 * 4);
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<float>(1 + i % 1000) / 32767.0f + 1e-7f;
    }
    std::vector<float> second(3000);
    for (std::size_t i = 0; i < second.size(); ++i) {
        second[i] = -static_cast<float>(1 + i % 2000) / 32767.0f - 1e-7f;
    }
    const Signal a = signalOf(first);
    const Signal b = signalOf(second);

    auto counting = std::make_unique<CountingSoundOutput>(std::make_unique<SdlSoundOutput>());
    auto counts = counting->counts;
    auto released = counting->released;
    PreviewPlayer player(std::move(counting));
    ASSERT_TRUE(player.soundReady());
    player.play(&a);
    const int startsBefore = counts->start;
    player.play(&b);
    // The first sample was freed before the second was started.
    ASSERT_EQ(released->size(), 1u);
    EXPECT_EQ(counts->start, startsBefore + 1);
    ASSERT_TRUE(waitUntilFinished(player));
    player.close();

    const std::vector<std::int16_t> frames = played();
    const std::size_t end = soundEnd(frames);
    ASSERT_GE(end, second.size());
    const std::size_t secondStart = end - second.size();
    for (std::size_t i = 0; i < second.size(); ++i) {
        ASSERT_EQ(frames[secondStart + i], previewValue(second[i])) << "second preview frame " << i;
    }
    // Whatever came before is a beginning of the first preview, cut short,
    // possibly followed by silence.
    std::size_t i = 0;
    while (i < secondStart && frames[i] != 0) {
        ASSERT_EQ(frames[i], previewValue(first[i])) << "first preview frame " << i;
        ++i;
    }
    EXPECT_LT(i, first.size()) << "the first preview played to its end";
    for (; i < secondStart; ++i) ASSERT_EQ(frames[i], 0) << "frame " << i;
}

TEST_F(DiskDriver, WritesNothingWhileIdle) {
    PreviewPlayer player(std::make_unique<SdlSoundOutput>());
    ASSERT_TRUE(player.soundReady());
    const Signal signal = signalOf(std::vector<float>(500, 0.5f));
    player.play(&signal);
    ASSERT_TRUE(waitUntilFinished(player));
    // Once the preview has ended the output stops writing, though it stays ready.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto size = std::filesystem::file_size(file_);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(std::filesystem::file_size(file_), size);
    player.close();
    EXPECT_LT(played().size(), 44100u) << "an idle output kept writing silence";
}

TEST_F(DiskDriver, UpsamplesASignalOfAnotherRate) {
    Signal signal = signalOf(std::vector<float>(1000, 0.5f));
    signal.setSampleRate(22050);
    PreviewPlayer player(std::make_unique<SdlSoundOutput>());
    player.play(&signal);
    ASSERT_TRUE(waitUntilFinished(player));
    player.close();
    const std::size_t end = soundEnd(played());
    EXPECT_EQ(end, 2000u);
}

}  // namespace
}  // namespace selvik
