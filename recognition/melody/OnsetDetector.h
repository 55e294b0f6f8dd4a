#pragma once

#include <cstdint>
#include <vector>

#include "signal/Signal.h"

namespace selvik::melody {

// Note onsets by spectral flux on the melody tracker's frame grid.
struct OnsetFunction {
    std::vector<float> novelty;        // per frame, mean positive log-magnitude rise per bin
    std::vector<std::int32_t> onsets;  // frames of the picked peaks, ascending
};

struct OnsetSettings {
    // How far a peak must rise above the local mean of the novelty.
    float delta = 0.06f;
    // Least distance between two onsets, in frames.
    std::int32_t minimumSpacing = 5;
};

// SuperFlux-style novelty: the log-magnitude spectrum of each 1024-sample
// Hann frame is compared with a frame two hops back that has first been
// widened by a maximum over neighbouring bins, so that vibrato (a partial
// sliding by a bin) adds little while a new attack adds a lot. Peaks are the
// local maxima that stand `delta` above the mean of their neighbourhood.
OnsetFunction detectOnsets(const Signal& signal, const OnsetSettings& settings);

}  // namespace selvik::melody
