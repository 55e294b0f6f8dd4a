#pragma once

#include <cstdint>
#include <vector>

#include "recognition/OnsetDetector.h"
#include "recognition/PitchCandidates.h"

namespace selvik::melody {

// One note on the frame grid: frames [startFrame, endFrame).
struct MelodyNote {
    std::int32_t note = 0;
    std::int32_t startFrame = 0;
    std::int32_t endFrame = 0;
    bool startsAtOnset = false;  // the start was placed on a detected onset
    float levelDb = -200.0f;     // loudest frame of the note's first 100 ms
};

struct SegmentSettings {
    std::int32_t minimumFrames = 10;  // shortest note kept
    // A run of one pitch is split at an onset inside it (a repeated note) when
    // the level rises by at least this much across the onset.
    double repeatRiseDb = 2.0;
    // A note's start moves to an onset this many frames before or after it.
    std::int32_t snapBefore = 8;
    std::int32_t snapAfter = 4;
    // A note ends where its level has fallen this far below its loudest frame
    // for good: reverberation and a slow release are not part of the note.
    double tailDropDb = 15.0;
    // A piece no longer than this whose pitch moves by at least glideDrift
    // semitones from its first to its last third is a passage of a glide.
    std::int32_t glideFrames = 26;
    double glideDrift = 0.5;
};

// Turns the per-frame note states (-1: silence) into notes: runs of one state,
// split at onsets where a note repeats, starts moved onto nearby onsets,
// tails that fall tailDropDb below the note's loudest frame cut off, the
// passages of a glide joined to the note the glide leaves, then pieces
// shorter than minimumFrames merged into a note they touch (the
// following one when the piece is the attack of it) or dropped.
std::vector<MelodyNote> segmentNotes(const std::vector<std::int32_t>& states,
                                     const OnsetFunction& onsets,
                                     const std::vector<PitchFrame>& frames,
                                     const SegmentSettings& settings);

}  // namespace selvik::melody
