#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace selvik {

// How a recording is cut into frames and how the frequency axis is laid out.
// Rows follow the notes: each note number owns rowsPerNote rows centred on
// its equal-tempered frequency, so a note's bar and its partial's line meet.
struct LevelGridParameters {
    std::int32_t fftLength = 4096;  // samples per frame (a power of two)
    std::int32_t hop = 441;         // samples between frame centres (10 ms at 44100 Hz)
    // Longer recordings get a longer hop, so that the longest one the
    // program reads (hours) still fits in memory as a few hundred megabytes.
    std::int32_t maxFrames = 32768;
    std::int32_t lowestNote = 21;   // A0; lower notes are not resolved at this length
    std::int32_t highestNote = 127;
    std::int32_t rowsPerNote = 4;
    float rangeDb = 80.0f;          // levels this far below the loudest cell are black
    // Worker threads; 0 asks for one per core, at most four.
    std::int32_t threads = 0;
};

// A magnitude spectrogram on a note axis, as 8-bit levels (0 = rangeDb below
// the loudest cell, 255 = the loudest cell).
//
// Frame f is centred on sample f * hop (the hop used, at least the one
// asked for), so column f belongs to the time
// f * secondsPerFrame(). Row r spans note numbers
// lowestNote - 0.5 + r / rowsPerNote .. lowestNote - 0.5 + (r + 1) / rowsPerNote.
struct LevelGrid {
    std::int32_t sampleRate = 0;
    std::int32_t hop = 0;
    std::int32_t frameCount = 0;
    std::int32_t rowCount = 0;
    std::int32_t lowestNote = 0;
    std::int32_t rowsPerNote = 1;
    // rowCount rows of frameCount levels, lowest pitch first.
    std::vector<std::uint8_t> levels;

    bool empty() const { return frameCount == 0 || rowCount == 0; }
    double secondsPerFrame() const { return sampleRate > 0 ? double(hop) / sampleRate : 0.0; }
    // The note numbers at the lower edge of row 0 and the upper edge of the last row.
    double lowestPitch() const { return lowestNote - 0.5; }
    double highestPitch() const { return lowestPitch() + double(rowCount) / rowsPerNote; }
    std::uint8_t level(std::int32_t frame, std::int32_t row) const {
        return levels[static_cast<std::size_t>(row) * static_cast<std::size_t>(frameCount) +
                      static_cast<std::size_t>(frame)];
    }
};

// The spectrogram of `count` samples at `sampleRate` (Hann window). Returns an
// empty one for no samples, a rate of 0 or less, or unusable parameters, and
// as soon as `cancel` (when given) becomes true.
LevelGrid computeLevelGrid(const float* samples, std::int32_t count, std::int32_t sampleRate,
                               const LevelGridParameters& parameters = {},
                               const std::atomic<bool>* cancel = nullptr);

}  // namespace selvik
