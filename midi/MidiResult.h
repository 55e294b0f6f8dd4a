#pragma once

#include <cstdint>

namespace selvik {

// Result codes shared by the MIDI file writer and the playback engine.
enum class MidiResult : std::int32_t {
    Success = 0,
    NoTrackWithEvents = 3,
    CannotCreateFile = 4,
    MergeBufferFull = 5,
    NoSong = 6,
    OutOfMemory = 7,
    NoEventsInWindow = 8,
    LastBufferQueued = 9,
    DeviceError = 11,
};

}  // namespace selvik
