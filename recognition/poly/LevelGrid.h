#pragma once

#include <cstdint>
#include <vector>

namespace selvik::poly {

// The input of the polyphonic network: a log-frequency magnitude spectrogram
// with three bins per semitone.
//
// Frame m describes the sound around sample m * kHop of a 44100 Hz recording
// (11.6 ms apart); a recording of n samples has n / kHop + 1 frames.
// Bin b is centred on MIDI note kFirstBinNote + b / 3 (fractional notes), so
// bin 3 (k - 21) + 1 is centred on note k; bins 0 .. 263 cover notes 21 .. 108
// and the bins above them reach the fifth harmonic of note 108 (~21.5 kHz),
// which the network's harmonic stacking needs.
//
// Each octave band comes from its own Hann-windowed transform of 1024 samples
// of the recording resampled to 44100 / 2^level Hz, so the window is 23 ms
// above ~945 Hz and doubles for every octave below (743 ms below ~59 Hz):
// about 22 to 44 periods of the bin's frequency, an approximate constant-Q
// transform made of plain FFTs.
//
// A value is the bin's amplitude in dB relative to a full-scale sinusoid,
// mapped to 1 + dB / 80 and floored at 0 (-80 dB): about 0..1 for a
// recording normalised to a peak of 1.
inline constexpr int kSampleRate = 44100;
inline constexpr int kHop = 512;
inline constexpr int kBinsPerSemitone = 3;
inline constexpr double kFirstBinNote = 21.0 - 1.0 / 3.0;
inline constexpr int kLevelGridBins = 348;
inline constexpr int kNoteBins = 264;  // bins of notes 21 .. 108
inline constexpr int kLowestNote = 21;
inline constexpr int kNoteCount = 88;

struct LevelGrid {
    std::int64_t frames = 0;
    // frames * kLevelGridBins values, frame after frame.
    std::vector<float> values;

    const float* frame(std::int64_t m) const {
        return values.data() + m * kLevelGridBins;
    }
};

// Frames of a recording of `count` samples (count >= 0).
inline std::int64_t frameCountFor(std::int64_t count) { return count / kHop + 1; }

// Computes the spectrogram of `count` mono samples at 44100 Hz. Samples
// outside the recording count as silence. Deterministic: the same samples give
// the same values on the same build. `frameDone`, when given, is called with
// the number of frames finished so far (every block of frames) and may
// return false to stop early; the result is then empty.
// Frames are made in blocks of this many (a multiple of the eight frames
// transformed together), each from the samples it reads alone.
inline constexpr std::int64_t kLevelGridBlock = 512;

// Frames firstFrame .. firstFrame + frameCount - 1 (those that exist) of the
// spectrogram of `count` samples into `out` (frameCount * kLevelGridBins
// floats). firstFrame must be a multiple of 8; the values are then exactly
// those of computeLevelGrid, wherever the recording is split. Memory is
// that of the frames' own samples, not of the recording.
void computeLevelGridFrames(const float* samples, std::int64_t count, std::int64_t firstFrame,
                              std::int64_t frameCount, float* out);

LevelGrid computeLevelGrid(const float* samples, std::int64_t count,
                               bool (*frameDone)(void* context, std::int64_t framesDone) = nullptr,
                               void* context = nullptr);

}  // namespace selvik::poly
