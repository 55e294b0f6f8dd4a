#pragma once

#include <cstdint>
#include <vector>

#include "recognition/melody/OnsetDetector.h"
#include "recognition/melody/PitchCandidates.h"

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
    // the level rises by at least this much across the onset...
    double repeatRiseDb = 3.0;
    // ...or where its periodicity (the frame's total candidate probability)
    // drops below dipVoiced for at most four frames between steadyVoiced
    // stretches; 0 turns these dips off.
    double dipVoiced = 0.2;
    double steadyVoiced = 0.8;
    // A split waits at least this long after the last start (107 ms), so that
    // the second bump of one attack does not become a note.
    std::int32_t repeatGapFrames = 18;
    // Where one pitch runs into another, the change moves back, by at most
    // fadeFrames, to where the old pitch had fallen below fadeRatio of its
    // median strength; 0 turns this off.
    std::int32_t fadeFrames = 20;
    double fadeRatio = 0.5;
    // A note's start moves to an onset this many frames before or after it;
    // across silence before the note, up to snapBeforeSilence frames back.
    std::int32_t snapBefore = 8;
    std::int32_t snapAfter = 2;
    std::int32_t snapBeforeSilence = 24;
    // A note ends where its level has fallen this far below its loudest frame
    // for good: reverberation and a slow release are not part of the note.
    double tailDropDb = 15.0;
    // A piece an octave, a twelfth or two octaves from a note it runs into
    // without an attack, and shorter than slipRatio of that note, joins it;
    // 0 turns this off.
    double slipRatio = 0.7;
    // A piece no longer than this whose pitch moves by at least glideDrift
    // semitones from its first to its last third is a passage of a glide.
    std::int32_t glideFrames = 26;
    double glideDrift = 0.5;
};

// Turns the per-frame note states (-1: silence) into notes: runs of one state,
// split where a note repeats, pitch changes moved back to where the old pitch
// faded, starts moved onto nearby onsets, tails that fall tailDropDb below
// the note's loudest frame cut off, harmonic slips and the passages of a
// glide joined to their note, then pieces shorter than minimumFrames merged
// into a note they touch (the following one when the piece is the attack of
// it) or dropped.
std::vector<MelodyNote> segmentNotes(const std::vector<std::int32_t>& states,
                                     const OnsetFunction& onsets,
                                     const std::vector<PitchFrame>& frames,
                                     const SegmentSettings& settings);

}  // namespace selvik::melody
