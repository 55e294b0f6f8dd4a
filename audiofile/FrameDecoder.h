#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace selvik {

// One reader of audio frames, as the loader drives it: chunk by chunk from
// the first frame, each chunk as the mean of the channels and as the single
// channels.
class FrameDecoder {
public:
    virtual ~FrameDecoder() = default;

    virtual std::int32_t channels() const = 0;
    virtual std::int32_t sampleRate() const = 0;
    // The frame count the header gives, when it is one to act on before
    // decoding (to refuse a long file); -1 when there is none or it cannot
    // be right. Never used to end the decoding.
    virtual std::int64_t claimedFrames() const = 0;
    // What the file is, e.g. "FLAC (Free Lossless Audio Codec), Signed 16 bit PCM".
    virtual std::string formatName() const = 0;
    // Most frames one read() call takes.
    virtual std::size_t chunkFrames() const = 0;

    // Decodes up to `frames` (1..chunkFrames()) frames: `mix` receives the
    // mean of the channels, and when channels() > 1 and `planes` is not
    // null, planes[c] the values of channel c, each `frames` floats. Returns
    // the frames decoded: fewer than asked only at the end of the stream or
    // when decoding failed; failure() then tells which.
    virtual std::size_t read(std::size_t frames, float* mix, float* const* planes) = 0;
    // Why decoding stopped early; empty at a normal end.
    virtual const std::string& failure() const = 0;
    // Bytes of the source passed so far, of sourceBytes(), for progress.
    virtual std::uint64_t position() const = 0;
    virtual std::uint64_t sourceBytes() const = 0;
    // Starts again at the first frame; false (failure() set) when that fails.
    virtual bool rewind() = 0;
};

}  // namespace selvik
