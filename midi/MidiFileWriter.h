#pragma once

#include <cstdint>

#include "midi/MidiResult.h"
#include "midi/Song.h"

namespace selvik {

// Writes the Song as a format-1 Standard MIDI File: a texts-and-tempo track,
// then one track per SongTrack with events, running status throughout.
// Success, NoSong, NoTrackWithEvents (no file touched) or CannotCreateFile
// (also when any write or the close fails; the previous file is then kept).
MidiResult writeMidiFile(const char* path, const Song* song);

// Size in bytes of the variable-length quantity of `value` (1..4 for values
// up to 0x0FFFFFFF).
int varLenSize(std::uint32_t value);

}  // namespace selvik
