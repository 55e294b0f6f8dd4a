#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "plot/LevelGrid.h"

namespace selvik {
namespace {

std::vector<float> sine(double frequency, double seconds, double startSeconds = 0.0) {
    const auto count = static_cast<std::size_t>((startSeconds + seconds) * 44100);
    std::vector<float> samples(count, 0.0f);
    for (auto i = static_cast<std::size_t>(startSeconds * 44100); i < count; ++i) {
        samples[i] = static_cast<float>(0.8 * std::sin(2.0 * std::numbers::pi * frequency * double(i) / 44100.0));
    }
    return samples;
}

// The row with the largest level summed over the frames [first, last).
std::int32_t loudestRow(const LevelGrid& s, std::int32_t first, std::int32_t last) {
    std::int32_t best = -1;
    long bestSum = -1;
    for (std::int32_t row = 0; row < s.rowCount; ++row) {
        long sum = 0;
        for (std::int32_t f = first; f < last; ++f) sum += s.level(f, row);
        if (sum > bestSum) {
            bestSum = sum;
            best = row;
        }
    }
    return best;
}

// The note whose rows hold `row`.
std::int32_t noteOfRow(const LevelGrid& s, std::int32_t row) { return s.lowestNote + row / s.rowsPerNote; }

std::int32_t frameAt(const LevelGrid& s, double seconds) {
    return static_cast<std::int32_t>(std::lround(seconds / s.secondsPerFrame()));
}

TEST(LevelGrid, A440HzSinePeaksOnA4sRow) {
    const std::vector<float> samples = sine(440.0, 2.0);
    const LevelGrid s = computeLevelGrid(samples.data(), static_cast<std::int32_t>(samples.size()), 44100);
    ASSERT_FALSE(s.empty());
    const std::int32_t row = loudestRow(s, frameAt(s, 0.5), frameAt(s, 1.5));
    EXPECT_EQ(noteOfRow(s, row), 69);
    // The middle of the note's rows: the frequency lies at the centre of its row span.
    EXPECT_NEAR(s.lowestPitch() + (row + 0.5) / s.rowsPerNote, 69.0, 0.5 / s.rowsPerNote + 1e-9);
}

TEST(LevelGrid, LowAndHighSinesPeakOnTheirNotesRows) {
    for (const auto& [frequency, note] : std::vector<std::pair<double, int>>{{110.0, 45}, {1760.0, 93}, {7040.0, 117}}) {
        const std::vector<float> samples = sine(frequency, 1.0);
        const LevelGrid s = computeLevelGrid(samples.data(), static_cast<std::int32_t>(samples.size()), 44100);
        EXPECT_EQ(noteOfRow(s, loudestRow(s, frameAt(s, 0.3), frameAt(s, 0.7))), note) << frequency << " Hz";
    }
}

TEST(LevelGrid, ColumnsFollowTheRecordingsTime) {
    // Silence, then A4 from 1 s on: columns before 0.9 s are dark on A4's
    // rows, columns after 1.1 s bright.
    const std::vector<float> samples = sine(440.0, 1.0, 1.0);
    const LevelGrid s = computeLevelGrid(samples.data(), static_cast<std::int32_t>(samples.size()), 44100);
    ASSERT_NEAR(s.frameCount * s.secondsPerFrame(), 2.0, 0.02);
    const std::int32_t row = (69 - s.lowestNote) * s.rowsPerNote + s.rowsPerNote / 2;
    EXPECT_EQ(s.level(frameAt(s, 0.8), row), 0);
    EXPECT_GT(s.level(frameAt(s, 1.2), row), 200);
    EXPECT_GT(s.level(frameAt(s, 1.8), row), 200);
}

TEST(LevelGrid, RowsSpanTheNotesFromLowestToHighest) {
    const std::vector<float> samples = sine(440.0, 0.5);
    LevelGridParameters p;
    p.lowestNote = 40;
    p.highestNote = 90;
    p.rowsPerNote = 3;
    const LevelGrid s = computeLevelGrid(samples.data(), static_cast<std::int32_t>(samples.size()), 44100, p);
    EXPECT_EQ(s.rowCount, 51 * 3);
    EXPECT_DOUBLE_EQ(s.lowestPitch(), 39.5);
    EXPECT_DOUBLE_EQ(s.highestPitch(), 90.5);
    EXPECT_EQ(noteOfRow(s, loudestRow(s, 5, s.frameCount - 5)), 69);
}

TEST(LevelGrid, TheSameResultWithOneThreadOrSeveral) {
    const std::vector<float> samples = sine(523.25, 3.0);
    LevelGridParameters one;
    one.threads = 1;
    LevelGridParameters three;
    three.threads = 3;
    const auto n = static_cast<std::int32_t>(samples.size());
    EXPECT_EQ(computeLevelGrid(samples.data(), n, 44100, one).levels,
              computeLevelGrid(samples.data(), n, 44100, three).levels);
}

TEST(LevelGrid, ALongRecordingGetsALongerHopAndKeepsItsTimes) {
    const std::vector<float> samples = sine(440.0, 1.0, 3.0);
    LevelGridParameters p;
    p.maxFrames = 100;
    const LevelGrid s = computeLevelGrid(samples.data(), static_cast<std::int32_t>(samples.size()), 44100, p);
    EXPECT_LE(s.frameCount, 100);
    EXPECT_GE(s.hop, 4 * 44100 / 100);
    EXPECT_NEAR(s.frameCount * s.secondsPerFrame(), 4.0, 0.05);
    const std::int32_t row = (69 - s.lowestNote) * s.rowsPerNote + s.rowsPerNote / 2;
    EXPECT_EQ(s.level(frameAt(s, 2.0), row), 0);
    EXPECT_GT(s.level(frameAt(s, 3.6), row), 200);
}

TEST(LevelGrid, NothingToComputeGivesAnEmptyLevelGrid) {
    const float one = 0.5f;
    EXPECT_TRUE(computeLevelGrid(nullptr, 0, 44100).empty());
    EXPECT_TRUE(computeLevelGrid(&one, 1, 0).empty());
    LevelGridParameters odd;
    odd.fftLength = 1000;
    EXPECT_TRUE(computeLevelGrid(&one, 1, 44100, odd).empty());
}

TEST(LevelGrid, ACancelledComputationGivesAnEmptyLevelGrid) {
    const std::vector<float> samples = sine(440.0, 1.0);
    const std::atomic<bool> cancel{true};
    EXPECT_TRUE(computeLevelGrid(samples.data(), static_cast<std::int32_t>(samples.size()), 44100, {}, &cancel).empty());
}

}  // namespace
}  // namespace selvik
