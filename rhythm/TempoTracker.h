#pragma once

#include <vector>

#include "rhythm/OnsetEnvelope.h"

namespace selvik::rhythm {

// The tempo of a recording over time, as beat periods in frames.
struct TempoPath {
    // The beat period at every frame of the envelope, in frames (fractional).
    std::vector<double> period;
    // The period heard most, in frames; 0 when the envelope is too short.
    double mainPeriod = 0.0;
    // How periodic the envelope is at its tempo: the mean, over its windows,
    // of the correlation of each window with itself one period later
    // (about 0 for sound without a pulse, towards 1 for a click track).
    double clarity = 0.0;
};

struct TempoSettings {
    double slowestBpm = 30.0;
    double fastestBpm = 300.0;
    // The prior: a bell over log tempo centred on `preferredBpm`, `spread`
    // octaves wide to either side (one standard deviation), so that 60-180
    // beats per minute are favoured.
    double preferredBpm = 120.0;
    double spreadOctaves = 0.8;
    // The envelope is read in windows of this many seconds, one every `hop`.
    double windowSeconds = 8.0;
    double hopSeconds = 1.0;
    // The cost of a change of tempo between windows, per unit of |ln ratio|,
    // against window scores of 0..1.
    double changeCost = 8.0;
};

// Follows the tempo: the autocorrelation of each window of the envelope
// (less its mean) over the lags of the tempo range, weighted by the prior;
// then the path of periods through the windows that best balances the
// windows' scores against the cost of changing tempo (Viterbi). Each
// window's period is refined between lags; frames between window centres
// take the period of the nearer centre.
TempoPath followTempo(const OnsetEnvelope& envelope, const TempoSettings& settings = TempoSettings{});

// The prior weight of a period of `periodFrames` frames (0..1).
double tempoPrior(double periodFrames, const TempoSettings& settings);

}  // namespace selvik::rhythm
