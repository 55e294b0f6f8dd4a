#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "signal/Signal.h"

namespace selvik::melody {

// One possible fundamental of a frame and how likely it is.
struct PitchCandidate {
    float midi = 0.0f;         // fractional MIDI note number (69 = 440 Hz)
    float probability = 0.0f;  // share of the voicing thresholds that pick it
};

// What the pitch estimator found in one frame.
struct PitchFrame {
    static constexpr int kMaxCandidates = 6;
    float levelDb = -200.0f;  // RMS of the integration window, dB relative to full scale
    std::int32_t candidateCount = 0;
    std::array<PitchCandidate, kMaxCandidates> candidates{};

    // The candidates' total probability: how periodic the frame is.
    double periodicity() const {
        double sum = 0.0;
        for (std::int32_t c = 0; c < candidateCount; ++c) sum += candidates[static_cast<std::size_t>(c)].probability;
        return sum;
    }
};

// Frame-wise fundamental-frequency candidates by probabilistic YIN: the
// cumulative-mean-normalised difference function of each frame, its troughs
// refined by parabolic interpolation, and each trough weighted by how many of
// a spread of thresholds (a beta distribution around 0.15) would pick it as
// the first trough below them. The first-trough rule is what makes the
// fundamental win over a louder upper partial; the spread of thresholds turns
// YIN's single answer into candidates for the note model to choose among.
//
// The difference function comes from an FFT cross-correlation, so a frame
// costs two 1024-point transforms (at half the sample rate) whatever the lag
// range.
std::vector<PitchFrame> estimatePitchCandidates(const Signal& signal);

}  // namespace selvik::melody
