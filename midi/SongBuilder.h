#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/BeatGrid.h"
#include "core/RecognizedNote.h"
#include "midi/QuantizeGrid.h"
#include "midi/Song.h"

namespace selvik {

// How a song's notes are laid on its ticks. The defaults are the fixed grid
// every song had before the recording's tempo was followed: 120 quarter
// notes per minute, 384 ticks per quarter note (768 ticks per second), no
// time signature, no quantizing, no bends.
struct SongTiming {
    double tempo = 120.0;           // quarter notes per minute, when `beats` is not given
    std::uint16_t division = 384;   // ticks per quarter note
    // The recording's pulse: when given, the tempo map and the time
    // signature come from it (tempoFromBeats) and `tempo` is not read.
    std::optional<BeatGrid> beats;
    // With one tempo, the time signature the song states (none by default).
    std::optional<TimeSignature> timeSignature;
    QuantizeGrid quantize;
    // The notes' pitch contours as pitch bends, each sounding note on a
    // channel of its own (buildBentNoteTrack).
    bool pitchBends = false;
};

// Replaces `song` with the notes: the song is cleared and reset, gets the
// timing's tempo map, its time signature and no texts, and its first track
// holds a note-on / velocity-0 note-on pair per note, in the order of `notes`
// for equal times; then its events are counted, its end time set and its
// tracks sorted. A note starts at its start's tick through the tempo map (0
// for a time before the start of the recording), so that it sounds at its
// own time within a tick, and lasts at least one tick; velocities are kept
// within 1..127, and a note number above 127 is left out. With a quantize
// grid the ticks are then snapped to it (quantizeSpans). Without pitch bends
// every note is on the first channel; with them, the notes' ticks, numbers
// and velocities are the same and only channels and events are added.
// False when memory runs out; the song is then left empty (cleared and reset).
[[nodiscard]] bool buildSong(const std::vector<RecognizedNote>& notes, Song& song,
                             const SongTiming& timing = SongTiming{});

}  // namespace selvik
