#pragma once

#include <array>
#include <cstdint>

namespace selvik {

// Equal-tempered frequencies in Hz of MIDI notes 0..127: 440 * 2^((n - 69) / 12).
const std::array<double, 128>& noteFrequencyTable();

// The note whose frequency is nearest to `frequency` (Hz) in log frequency;
// ties go to the lower note. -1 for a frequency not above 1e-6 (NaN included).
std::int32_t nearestNote(double frequency);

// The lowest table frequency whose gap to the next note exceeds the bin width
// sampleRate / factor / blockSize; -1.0 when there is none.
double lowestResolvableFrequency(std::int32_t sampleRate, std::int32_t blockSize,
                                 std::int32_t factor);

}  // namespace selvik
