#pragma once

#include <cstdint>
#include <vector>

#include "midi/Song.h"

namespace selvik {

// One recognised note on the piano roll's axes.
struct RollNote {
    std::int32_t number;
    double startSeconds;
    double endSeconds;
};

// The song's notes in seconds (through the song's tempo map), sorted by
// start: each note-on with a velocity above 0 paired with the velocity-0
// note-on of the same number that ends it, the earliest open one first. A
// note left open ends where it starts.
std::vector<RollNote> rollNotes(const Song& song);

}  // namespace selvik
