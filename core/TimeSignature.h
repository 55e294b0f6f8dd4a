#pragma once

#include <cstdint>

namespace selvik {

// A time signature as the Standard MIDI File writes it: `numerator` over
// `denominator` (a power of two).
struct TimeSignature {
    std::uint8_t numerator = 4;
    std::uint8_t denominator = 4;

    bool operator==(const TimeSignature&) const = default;

    // Counted beats per bar: 2, 3 or 4 for the simple meters, numerator / 3
    // for a compound one (6/8 has two dotted-quarter beats).
    std::int32_t beatsPerBar() const {
        return compound() ? numerator / 3 : numerator;
    }
    // Quarter notes per counted beat: 4 / denominator, times 3 when compound
    // (1.5 in 6/8).
    double quartersPerBeat() const {
        const double unit = 4.0 / static_cast<double>(denominator);
        return compound() ? 3.0 * unit : unit;
    }
    // A meter of 6, 9 or 12 eighths (or sixteenths) counts its beats in threes.
    bool compound() const { return denominator >= 8 && numerator % 3 == 0 && numerator > 3; }
};

}  // namespace selvik
