#pragma once

#include <cstdint>

namespace selvik {

// One note laid on a song's tick grid: the record from which a note track is
// built (one note-on and one ending per span).
struct NoteSpan {
    std::uint8_t note;      // 0..127
    std::uint8_t velocity;  // 1..127
    std::int32_t startTick; // tick at which the note starts
    std::int32_t endTick;   // tick at which it ends
};

}  // namespace selvik
