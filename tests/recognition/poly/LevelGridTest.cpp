// The network's input: where tones land on the log-frequency grid and when.
#include "recognition/poly/LevelGrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace selvik::poly {
namespace {

constexpr double kTwoPi = 6.283185307179586;

double hz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

std::vector<float> tone(double frequency, double seconds, double startSeconds = 0.0) {
    std::vector<float> x(static_cast<std::size_t>(seconds * kSampleRate), 0.0f);
    for (std::size_t i = static_cast<std::size_t>(startSeconds * kSampleRate); i < x.size(); ++i) {
        x[i] = static_cast<float>(std::sin(kTwoPi * frequency * static_cast<double>(i) / kSampleRate));
    }
    return x;
}

TEST(LevelGrid, ASineLandsOnItsNotesBinInEveryOctave) {
    // Notes from the lowest octave band (743 ms windows) to the top one.
    for (int note : {21, 28, 33, 40, 47, 55, 62, 69, 76, 84, 93, 100, 108, 120}) {
        const std::vector<float> x = tone(hz(note), 2.0);
        const LevelGrid s = computeLevelGrid(x.data(), static_cast<std::int64_t>(x.size()));
        ASSERT_EQ(s.frames, static_cast<std::int64_t>(x.size()) / kHop + 1);
        const float* row = s.frame(s.frames / 2);
        const int peak = static_cast<int>(std::max_element(row, row + kLevelGridBins) - row);
        EXPECT_EQ(peak, 3 * (note - kLowestNote) + 1) << "note " << note;
        // A full-scale sine reads about 0 dB (1.0); a bin an octave away is far down.
        EXPECT_NEAR(row[peak], 1.0f, 0.04f) << "note " << note;
        EXPECT_LT(row[std::min(peak + 36, kLevelGridBins - 1)], 0.5f) << "note " << note;
    }
}

TEST(LevelGrid, AToneStartsInTheSameFrameInEveryOctaveBand) {
    // The resampled bands must stay aligned with the recording: the level of
    // a tone that starts at 1 s crosses half its final value in the frame of
    // 1 s, whatever the window length of its band.
    const std::int64_t startFrame = static_cast<std::int64_t>(1.0 * kSampleRate / kHop + 0.5);
    for (int note : {26, 38, 50, 62, 74, 86, 98}) {
        const std::vector<float> x = tone(hz(note), 3.0, 1.0);
        const LevelGrid s = computeLevelGrid(x.data(), static_cast<std::int64_t>(x.size()));
        const int bin = 3 * (note - kLowestNote) + 1;
        const float final = s.frame(startFrame + 150)[bin];
        std::int64_t crossing = 0;
        while (crossing < s.frames && s.frame(crossing)[bin] < final - 0.0753f) ++crossing;  // -6 dB
        EXPECT_NEAR(static_cast<double>(crossing), static_cast<double>(startFrame), 1.0) << "note " << note;
    }
}

TEST(LevelGrid, SilenceIsZeroAndAnEmptyRecordingHasOneFrame) {
    const std::vector<float> x(44100, 0.0f);
    const LevelGrid s = computeLevelGrid(x.data(), 44100);
    EXPECT_TRUE(std::all_of(s.values.begin(), s.values.end(), [](float v) { return v == 0.0f; }));
    const LevelGrid empty = computeLevelGrid(nullptr, 0);
    EXPECT_EQ(empty.frames, 1);
    EXPECT_EQ(empty.values.size(), static_cast<std::size_t>(kLevelGridBins));
}

}  // namespace
}  // namespace selvik::poly
