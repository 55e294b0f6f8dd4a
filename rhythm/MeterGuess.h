#pragma once

#include <cstddef>
#include <vector>

#include "core/RecognizedNote.h"
#include "core/TimeSignature.h"
#include "rhythm/OnsetEnvelope.h"

namespace selvik::rhythm {

struct MeterGuess {
    TimeSignature meter;           // 2/4, 3/4, 4/4 or 6/8
    std::size_t firstDownbeat = 0; // index of the first beat that opens a bar
};

// Guesses the time signature and the downbeats from the beats (frames,
// rising) and what happens on them: each beat's accent is the sum of its
// onset strength, its bass onset strength and the weight of the notes that
// start on it (louder, longer and lower notes weigh more), each scaled over
// the piece. Bars of 2, 3 and 4 beats are tried at every phase; a grouping
// scores the mean accent of the beats it makes downbeats less that of the
// others, and 4 is kept unless 2 or 3 scores clearly more. Beats divided in
// three (onsets a third and two thirds of the way to the next beat rather
// than half way) make the meter compound: 6/8, two dotted-quarter beats a bar.
// Fewer than 4 beats give 4/4 from the first beat. `low` and `notes` may be
// empty.
MeterGuess guessMeter(const std::vector<double>& beats, const OnsetEnvelope& all, const OnsetEnvelope& low,
                      const std::vector<RecognizedNote>& notes);

}  // namespace selvik::rhythm
