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

// The beat period at every frame as placed beats show it: the median of the
// intervals between beats within `reachSeconds` of the frame that lie within
// a quarter of the period they were placed with (`period`, per frame), so
// that a skipped or an extra beat does not count; `period` where no interval
// does. Placing the beats again with these periods corrects a tempo that the
// tempogram's lags could only give to a frame or so.
std::vector<double> periodsOfBeats(const std::vector<double>& beats, const std::vector<double>& period,
                                   double reachSeconds = 4.0);

// The beats with every gap of about two or more periods filled by beats
// spaced evenly across it, and every beat less than 0.6 of a period after
// the one before it dropped: a song's grid counts its beats, so a skipped or
// an extra one would stretch the bars around it. `period` per frame.
std::vector<double> evenBeats(const std::vector<double>& beats, const std::vector<double>& period);

}  // namespace selvik::rhythm
