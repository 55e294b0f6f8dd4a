#pragma once

#include <cstdint>
#include <vector>

#include "core/RecognizedNote.h"
#include "midi/Song.h"

namespace selvik {

// The tick grid a song is laid on: `tempo` quarter notes per minute and
// `division` ticks per quarter note. Every recognition method's song uses
// 120 BPM and 384 ticks per quarter note (768 ticks per second).
struct SongTiming {
    double tempo = 120.0;
    std::uint16_t division = 384;
};

// Replaces `song` with the notes: the song is cleared and reset, gets the
// timing and no texts, and its first track holds a note-on / velocity-0
// note-on pair per note on the first channel, in the order of `notes` for
// equal times; then its events are counted, its end time set and its tracks
// sorted. A note starts at its start's tick (0 for a time before the start of
// the recording) and lasts at least one tick; velocities are kept within
// 1..127, and a note number above 127 is left out.
// False when memory runs out; the song is then left empty (cleared and reset).
[[nodiscard]] bool buildSong(const std::vector<RecognizedNote>& notes, Song& song,
                             const SongTiming& timing = SongTiming{});

}  // namespace selvik
