#pragma once

#include <cstdint>

#include "core/NoteSpan.h"
#include "midi/Song.h"

namespace selvik {

// Empties the track and gives it the defaults of a note track: no name,
// program 0, full volume, centred.
void clearNoteTrack(SongTrack& track);

// Fills a cleared track with a note-on / velocity-0 note-on pair per span, on
// the first channel, sorted by time (equal times keep the order of the spans).
// False when memory runs out (the track is left empty).
[[nodiscard]] bool buildNoteTrack(SongTrack& track, const NoteSpan* spans, std::int32_t count);

}  // namespace selvik
