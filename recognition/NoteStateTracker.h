#pragma once

#include <cstdint>
#include <vector>

#include "recognition/PitchCandidates.h"

namespace selvik::melody {

struct NoteStateSettings {
    // Frames quieter than this (dB relative to full scale; the signal is
    // normalised to a peak of 1) count as silence; the voicing fades in over
    // the next kVoicingRampDb.
    double silenceFloorDb = -60.0;
    // Per-frame probability of leaving a note for another pitch or for silence.
    double changeProbability = 1e-3;
    double startProbability = 1e-2;  // of leaving silence
    // Width of the pitch likelihood around each semitone, in cents: wide
    // enough that vibrato of +-30 cents stays on its note.
    double pitchSpreadCents = 40.0;
};

// The most likely state per frame, by Viterbi over silence and one state per
// semitone from kLowestNote to kHighestNote: -1 for silence, else the MIDI note.
//
// A state's likelihood is the candidates' probability near its pitch, scaled
// by how far the frame rises above the silence floor; leaving a state costs
// changeProbability, so a note holds through vibrato, decay and brief
// misestimates, while a clear new pitch takes over within a frame or two.
std::vector<std::int32_t> trackNoteStates(const std::vector<PitchFrame>& frames,
                                          const NoteStateSettings& settings);

}  // namespace selvik::melody
