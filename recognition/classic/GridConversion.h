#pragma once

// The classic method's score grid as note spans: each run of a note through
// consecutive rows is one span from the tick of its first row to the tick of
// the first row after it, velocity 100.

#include <cstdint>
#include <memory>

#include "core/NoteSpan.h"

namespace selvik {

// Empties every later slot of a row that repeats an earlier slot's note.
void removeRepeatedNotes(std::uint8_t* grid, std::int32_t rows);

// Tick of the start of row `row` for blocks of `blockSize` samples at 44100 Hz.
std::uint32_t rowToTicks(std::int32_t row, std::int32_t blockSize, double tempo,
                         std::int32_t division);

struct NoteSpans {
    std::unique_ptr<NoteSpan[]> spans;  // room for 16 spans per row; null when allocation failed
    std::int32_t count = 0;
    bool ok = false;  // false: the span array could not be allocated
};

// Follows each note through the rows after it and turns every run into a span,
// in order of first row and slot. Continuation entries are set to kEmptySlot.
NoteSpans extractNoteSpans(std::uint8_t* grid, std::int32_t rows, std::int32_t blockSize,
                           double tempo, std::int32_t division);

}  // namespace selvik
