#pragma once

#include <cstdint>
#include <string_view>

#include "midi/MidiResult.h"
#include "midi/Song.h"

namespace selvik {

class ByteWriter;

// Writes the Song as a format-1 Standard MIDI File: a texts-and-tempo track
// (the texts, the time signature when the song has one, the first tempo,
// then the tempo changes at their ticks, a change that lies before the one
// written before it left out), then one track per SongTrack with
// events, running status throughout.
// Success, NoSong, NoTrackWithEvents (no file touched) or CannotCreateFile
// (also when any write or the close fails; the previous file is then kept).
// The file is replaced as OutputFile describes: a regular file or a new path
// through a temporary file and a rename, a pipe or device in place.
// The song is only read. A tempo whose value in microseconds per quarter note
// does not fit three bytes (below about 3.58 beats per minute, zero, negative
// or not a number) is written as 0xFFFFFF, the slowest the file can hold.
MidiResult writeMidiFile(const char* path, const Song* song);

// Size in bytes of the variable-length quantity of `value` (1..4 for values
// up to 0x0FFFFFFF, 5 above).
int varLenSize(std::uint32_t value);

// Writes `value` as a Standard MIDI File variable-length quantity: 7 bits a
// byte, most significant group first, bit 7 set on all but the last byte.
void writeVarLen(ByteWriter& out, std::uint32_t value);

// Writes the length of `text` as a variable-length quantity, then its bytes.
void writeVarLenText(ByteWriter& out, std::string_view text);

// The number of data bytes that follow an event with this status byte in a
// track chunk.
int dataByteCount(std::uint8_t status);

}  // namespace selvik
