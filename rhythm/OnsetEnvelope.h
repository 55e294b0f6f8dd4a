#pragma once

#include <cstdint>
#include <vector>

#include "core/RecognizedNote.h"

namespace selvik::rhythm {

// Frames of the beat tracker: 100 a second (10 ms).
inline constexpr double kFramesPerSecond = 100.0;

inline double frameSeconds(double frame) { return frame / kFramesPerSecond; }

// How strongly sound starts in each 10 ms frame: frame n stands for the time
// n / 100 s. Values are 0 or more, scaled so that their standard deviation
// is 1 (all 0 when nothing starts anywhere).
struct OnsetEnvelope {
    std::vector<float> values;
};

// The envelopes of a recording: of all its bands, and of the bass alone.
struct RecordingOnsets {
    OnsetEnvelope all;
    OnsetEnvelope low;  // the bands below 250 Hz: bass notes and kick drums
};

// The envelopes of a recording (mono samples at `sampleRate`): the rise of
// log-compressed spectral energy in bands of about a third of an octave
// (50 Hz to 11 kHz), each band compared with the louder of itself and its
// neighbours 20 ms before (so that vibrato and glides rise less than attacks
// do), summed over the bands, less its mean over the surrounding second, and
// clipped at 0. Both empty for an empty recording.
RecordingOnsets recordingOnsets(const float* samples, std::int32_t count, std::int32_t sampleRate);

// The envelope of recognised notes over `frames` frames: a short bump at each
// start, higher for louder and longer notes.
OnsetEnvelope noteOnsets(const std::vector<RecognizedNote>& notes, std::int32_t frames);

// a + weight * b, frame by frame (the shorter one padded with 0), rescaled
// to a standard deviation of 1.
OnsetEnvelope combineOnsets(const OnsetEnvelope& a, const OnsetEnvelope& b, double weight);

// Local peaks of the envelope that stand out (at least `share` of its
// largest value, and at least 50 ms apart): a count of what starts.
std::int32_t countOnsets(const OnsetEnvelope& envelope, double share = 0.1);

}  // namespace selvik::rhythm
