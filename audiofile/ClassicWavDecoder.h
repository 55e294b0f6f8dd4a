#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audiofile/FrameDecoder.h"
#include "signal/WavByteSource.h"
#include "signal/WavLayout.h"

namespace selvik {

// The frames of a file the classic WAV reader accepts, converted exactly as
// that reader converts them (signal/WavLayout.h): the mix is bit for bit the
// reader's sample. Reads the source in pieces of kWavChunkBytes; the source
// must outlive the decoder.
class ClassicWavDecoder final : public FrameDecoder {
public:
    ClassicWavDecoder(WavByteSource& source, const WavLayout& layout)
        : source_(source), layout_(layout), offset_(layout.dataOffset) {}

    std::int32_t channels() const override { return static_cast<std::int32_t>(layout_.channels); }
    std::int32_t sampleRate() const override { return 44100; }
    // The data chunk cut to the file: always the true count.
    std::int64_t claimedFrames() const override {
        return static_cast<std::int64_t>(layout_.frameCount);
    }
    std::string formatName() const override;
    std::size_t chunkFrames() const override { return kWavChunkBytes / layout_.frameBytes(); }

    std::size_t read(std::size_t frames, float* mix, float* const* planes) override;
    const std::string& failure() const override { return failure_; }
    std::uint64_t position() const override { return offset_; }
    std::uint64_t sourceBytes() const override { return source_.size(); }
    bool rewind() override;

private:
    WavByteSource& source_;
    WavLayout layout_;
    std::uint64_t offset_;
    std::uint64_t framesDone_ = 0;
    std::string failure_;
    unsigned char buffer_[kWavChunkBytes];
};

}  // namespace selvik
