#pragma once

#include <cstdint>
#include <vector>

#include "midi/Song.h"

namespace selvik {

// One note of a Song: a note-on of velocity above 0 and the velocity-0
// note-on (or note-off) of the same number that ends it.
struct SongNote {
    int number;
    std::uint32_t startTick;
    std::uint32_t endTick;  // the start when the note is never ended

    bool operator==(const SongNote&) const = default;
};

// The song's notes from the note messages of every track, track by track in
// event order; each ending closes the earliest open note of its number on its
// channel. For a converted song (one sorted track) that is the order of the
// starts.
std::vector<SongNote> songNotes(const Song& song);

}  // namespace selvik
