#pragma once

#include <cstdint>
#include <memory>

#include "midi/Song.h"

namespace selvik {

// One recognised note with its extent in ticks.
struct NoteSpan {
    std::uint8_t note;      // 0..127
    std::uint8_t velocity;  // always 100
    std::int32_t startTick; // tick of the first row in which the note sounds
    std::int32_t endTick;   // tick of the first row after its run
};

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

// Fills a cleared track with a note-on / velocity-0 note-on pair per span,
// sorted by time. False when memory runs out (the track is left empty).
[[nodiscard]] bool buildNoteTrack(SongTrack& track, const NoteSpan* spans, std::int32_t count);

}  // namespace selvik
