#pragma once

#include <cstdint>

namespace selvik::melody {

// The frame grid shared by the melody tracker's stages: frame t is centred on
// sample t * kHop of the 44100 Hz signal.
inline constexpr std::int32_t kSampleRate = 44100;
// 5.8 ms: fine enough for onsets within a few milliseconds, cheap enough for
// far faster than real time.
inline constexpr std::int32_t kHop = 256;

// Lowest and highest note the tracker reports (C2 and C7).
inline constexpr std::int32_t kLowestNote = 36;
inline constexpr std::int32_t kHighestNote = 96;
inline constexpr std::int32_t kNoteCount = kHighestNote - kLowestNote + 1;

inline double frameSeconds(double frame) {
    return frame * static_cast<double>(kHop) / static_cast<double>(kSampleRate);
}

// Frames needed to cover `count` samples (at least one for a non-empty signal).
inline std::int32_t frameCount(std::int32_t count) {
    return count <= 0 ? 0 : count / kHop + 1;
}

}  // namespace selvik::melody
