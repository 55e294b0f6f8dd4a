#pragma once

#include <vector>

#include "core/NoteSpan.h"
#include "core/RecognizedNote.h"
#include "midi/Song.h"
#include "midi/TempoMap.h"

namespace selvik {

// One note of the song with the sounding pitch it follows (may be empty).
struct BentSpan {
    NoteSpan span;
    const std::vector<PitchPoint>* pitch = nullptr;  // not owned; may be null
};

// Fills a cleared track with the notes and pitch bends that follow each
// note's pitch within the note (`spans` in order of their starts, ticks
// through `map`):
//   - each note gets a channel of its own among the 15 that are not channel
//     10 (the lowest one free at its start), so that a bend never moves
//     another note; with all 15 in use, a note shares the channel whose notes
//     end first, preferring one whose sounding notes have no bend, and then
//     plays without a bend itself;
//   - at tick 0, before anything else, every channel used declares the bend
//     range with RPN 0 (CC101 0, CC100 0, CC6 semitones, CC38 0, then the
//     null RPN CC101 127, CC100 127): 2 semitones, or as many whole
//     semitones as the widest offset needs (at most 24);
//   - at each note-on the channel's bend is first set to the note's starting
//     offset (after the endings at that tick), except on a channel shared
//     with a sounding bent note;
//   - within the note a new bend goes out only after a change of more than
//     3 cents from the last one sent, at most one per 10 ms per channel (a
//     bend closer than 10 ms before the next note's starting bend on the
//     channel is left out), and never at or after the note's end.
// A note whose offsets all lie within 3 cents counts as a note without a
// bend. Note events are those buildNoteTrack writes, on their channels.
// False when memory runs out (the track is left empty).
[[nodiscard]] bool buildBentNoteTrack(SongTrack& track, const std::vector<BentSpan>& spans, const TempoMap& map);

}  // namespace selvik
