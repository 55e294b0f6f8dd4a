#pragma once

#include <vector>

#include "rhythm/OnsetEnvelope.h"

namespace selvik::rhythm {

struct BeatSettings {
    // How strongly a beat keeps to the period: the cost of an interval d
    // against the period p is tightness * ln(d / p)^2, against onset
    // strengths of about 1.
    double tightness = 100.0;
};

// The beats that best fit the envelope and the tempo, by dynamic
// programming: a beat at frame t scores the onset strength there plus the
// best score of a beat between half a period and two periods before it, less
// the cost of that interval; the beats are those of the best chain, traced
// back from its last beat within the last period. Beats before the first
// and after the last clear onset are left out. Each beat is then moved to
// the top of an envelope peak within two frames of it, refined between
// frames. `period` holds the period at each frame (TempoPath::period).
// Frames, rising; empty for an envelope without onsets.
std::vector<double> placeBeats(const OnsetEnvelope& envelope, const std::vector<double>& period,
                               const BeatSettings& settings = BeatSettings{});

}  // namespace selvik::rhythm
