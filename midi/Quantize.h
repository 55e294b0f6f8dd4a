#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/NoteSpan.h"

namespace selvik {

// One note laid on the song's ticks, with the index of the recognised note
// it came from.
struct PlacedSpan {
    NoteSpan span;
    std::size_t source;
};

// Snaps every start and end to the nearest multiple of `step` ticks (halves
// round up) and keeps every note at least one step long. Two starts of one
// note number that land on the same tick stay a step apart (the later one
// moves on), and a note that would still sound when the next one of its
// number starts ends there, so no note is lost or swallowed. The spans end up
// ordered by start, equal starts in their former order. A step of 0 changes
// nothing.
void quantizeSpans(std::vector<PlacedSpan>& spans, std::uint32_t step);

}  // namespace selvik
