#pragma once

#include <cstdint>
#include <vector>

#include "recognition/melody/PitchCandidates.h"

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
    // How voiced a frame above the floor is taken to be when it has no
    // periodicity at all: breathy, bowed and brass attacks are loud long
    // before they are periodic. Its candidates share the frame's voicing in
    // proportion to their probabilities. 0: voiced only as far as periodic.
    double loudVoicing = 0.8;
};

// The most likely state per frame, by Viterbi over silence and one state per
// semitone from kLowestNote to kHighestNote: -1 for silence, else the MIDI note.
//
// A frame is voiced as far as it is periodic (its candidates' total
// probability), raised towards loudVoicing for the rest, and scaled by how
// far it rises above the silence floor; a state's likelihood is that share
// of the candidates' probability near its pitch, silence's is the rest.
// Leaving a state costs changeProbability, so a note holds through vibrato,
// decay and brief misestimates, while a clear new pitch takes over within a
// frame or two.
std::vector<std::int32_t> trackNoteStates(const std::vector<PitchFrame>& frames,
                                          const NoteStateSettings& settings);

}  // namespace selvik::melody
