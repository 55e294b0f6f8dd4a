#pragma once

#include <cstdint>
#include <vector>

#include "core/BeatGrid.h"
#include "core/RecognizedNote.h"
#include "rhythm/BeatPlacer.h"
#include "rhythm/TempoTracker.h"

namespace selvik::rhythm {

struct BeatTrackerSettings {
    TempoSettings tempo;
    BeatSettings beats;
    // The second placement, on the periods the first one showed, keeps to
    // them more tightly.
    BeatSettings refinedBeats{300.0};
    // The notes' onsets count this much beside the recording's.
    double noteWeight = 1.0;
    // Below this clarity (TempoPath::clarity) there is no steady pulse.
    double leastClarity = 0.15;
    // Fewer onsets than this, or fewer beats, are no steady pulse either.
    std::int32_t leastOnsets = 4;
    // With fewer than this many note starts on the beats for each one half
    // way between them (and 16 notes or more), the beat is taken to be
    // twice as fast.
    double fasterBelow = 1.2;
};

// The beat tracker: the pulse, tempo, meter and downbeats of a recording
// (mono samples at `sampleRate`; may be empty) and of the notes recognised
// in it (may be empty). The onset envelope of the recording and that of the
// notes are added (OnsetEnvelope.h), the tempo is followed over time
// (followTempo), the beats are placed by dynamic programming (placeBeats),
// placed again on the periods they show, doubled in rate when the notes say
// the beat is twice as fast (fasterBelow), evened out (evenBeats), and the
// meter guessed from them (guessMeter). Silence, a drone, free time
// or fewer than four onsets give a grid that is not steady: no beats, 120
// beats per minute, 4/4. Never fails.
BeatGrid trackBeats(const float* samples, std::int32_t count, std::int32_t sampleRate,
                    const std::vector<RecognizedNote>& notes, const BeatTrackerSettings& settings = BeatTrackerSettings{});

}  // namespace selvik::rhythm
