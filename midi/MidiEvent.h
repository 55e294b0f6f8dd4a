#pragma once

#include <cstdint>

namespace selvik {

// One timed MIDI channel event. Copied by value.
struct MidiEvent {
    std::uint32_t time;   // ticks from the start of the song
    std::uint8_t status;  // MIDI status byte (0x90: note-on, first channel)
    std::uint8_t data1;   // for 0x90: note number
    std::uint8_t data2;   // for 0x90: velocity, 0 ends the note
};

}  // namespace selvik
