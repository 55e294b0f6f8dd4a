#pragma once

#include <cstdint>

namespace selvik {

// A short MIDI message packed as status + data1 × 0x100 + data2 × 0x10000.
using ShortMessage = std::uint32_t;

inline constexpr std::uint8_t statusOf(ShortMessage m) { return static_cast<std::uint8_t>(m & 0xFF); }
inline constexpr std::uint8_t data1Of(ShortMessage m) { return static_cast<std::uint8_t>((m >> 8) & 0xFF); }
inline constexpr std::uint8_t data2Of(ShortMessage m) { return static_cast<std::uint8_t>((m >> 16) & 0xFF); }

// Bytes a channel or system message of this status occupies on the wire
// (status included); 0 for a byte that does not start a short message.
inline constexpr int shortMessageLength(std::uint8_t status) {
    if (status < 0x80) return 0;
    switch (status & 0xF0) {
        case 0xC0:
        case 0xD0: return 2;
        case 0xF0:
            if (status == 0xF1 || status == 0xF3) return 2;
            if (status == 0xF2) return 3;
            if (status == 0xF0 || status == 0xF7) return 0;  // system exclusive is not short
            return 1;
        default: return 3;
    }
}

// Where a MIDI stream sends its messages: a system port, a synthesizer or a
// recorder. Called from the stream's own thread only, one message at a time.
class MidiOutputPort {
public:
    virtual ~MidiOutputPort() = default;
    virtual void sendShortMessage(ShortMessage message) = 0;
};

}  // namespace selvik
