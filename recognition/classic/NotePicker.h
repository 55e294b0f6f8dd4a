#pragma once

// Steps of one recognition pass that are kept apart from the transform so that
// they can be exercised on chosen values. Internal to recognition/.

#include <cstdint>

namespace selvik::detail {

inline constexpr int kNoteCount = 128;

// Frequency in Hz of bin k of an N-point block at decimation factor f:
// (k + 0.5) * 44100 / (N * f).
double binFrequency(std::int32_t bin, std::int32_t blockSize, std::int32_t factor);

// Picks up to `polyphony` notes from `noteEnergy` (kNoteCount averaged
// energies), strongest first, the lower note winning a tie; only energies above
// 0 are chosen. A chosen note is accepted when its energy is at least
// threshold * peakPower; the first rejection ends the picking. Accepted notes
// are written to `notes` in order and their energy set to 0.
// Returns the number of accepted notes (0..polyphony).
int pickNotes(double* noteEnergy, std::int32_t polyphony, float threshold, double peakPower,
              std::uint8_t* notes);

// Writes `count` notes, in order, into each of the rows firstRow ..
// firstRow + rowCount - 1 of `grid` (16 slots per row), after the slots that
// rowNoteCounts says are filled; a row holding 16 notes is left unchanged.
void writeNotes(std::uint8_t* grid, std::int32_t* rowNoteCounts, std::int64_t firstRow,
                std::int32_t rowCount, const std::uint8_t* notes, int count);

}  // namespace selvik::detail
