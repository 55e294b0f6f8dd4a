#pragma once

#include <cstdint>

namespace selvik {

// The score grid: a contiguous array of rows of kSlotsPerRow bytes, one row per
// analysis block. A slot holds a MIDI note number 0..127 or kEmptySlot.
// Readers examine all slots of a row and pass over every byte of 0x80 and above.
inline constexpr int kSlotsPerRow = 16;
inline constexpr std::uint8_t kEmptySlot = 0xFF;

}  // namespace selvik
