#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "signal/SignalStatus.h"
#include "signal/WavByteSource.h"

namespace selvik {

// What the classic WAV reader finds in a file it accepts: a RIFF/WAVE file
// with a PCM format chunk first (tag 1), 1 or 2 channels, 44100 Hz, up to 16
// bits per sample, and a data chunk.
struct WavLayout {
    std::uint32_t channels = 0;        // 1 or 2
    std::uint32_t bytesPerSample = 0;  // 1 (up to 8 bits, unsigned) or 2 (9..16 bits, signed)
    std::uint64_t dataOffset = 0;      // byte offset of the first frame in the source
    // Whole frames present: the data chunk's size, cut to the end of the
    // source when it runs past it, over channels * bytesPerSample. May exceed
    // Signal::kMaxCount; the reader refuses that itself.
    std::uint64_t frameCount = 0;

    std::uint32_t frameBytes() const { return channels * bytesPerSample; }
};

// Walks the header and chunks of `source` by the classic reader's rules.
// NoError fills `layout`. BadFileFormat when the file is not one the reader
// accepts, FileError when the source fails to give bytes it has; `detail`
// (when given) then receives the developer-readable reason and `layout` is
// left as it was. Reads only the header fields and chunk headers.
SignalStatus parseWavLayout(WavByteSource& source, WavLayout& layout,
                            std::string* detail = nullptr);

// The reason given when a source fails part-way: "read N of M bytes".
std::string wavReadFailure(std::uint64_t got, std::uint64_t size);

// Bytes the classic reader converts at a time (a whole number of frames of
// every layout).
inline constexpr std::size_t kWavChunkBytes = 64 * 1024;

// The classic conversion of `frames` frames at `bytes` (frames * frameBytes()
// bytes) into `out` (frames floats): the mean of the channels, 8-bit values
// as (byte - 128) / 128, 16-bit values as value / 32768. Every result is
// exact in single precision.
void convertWavFrames(const WavLayout& layout, const unsigned char* bytes, std::size_t frames,
                      float* out);

// One channel (0 or 1, below layout.channels) of the same frames on the same
// scale: for a stereo file whose mean is no use.
void convertWavChannel(const WavLayout& layout, const unsigned char* bytes, std::size_t frames,
                       std::uint32_t channel, float* out);

}  // namespace selvik
