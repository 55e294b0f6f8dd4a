#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audiofile/FrameDecoder.h"
#include "signal/WavByteSource.h"

namespace selvik {

// Any file libsndfile reads (WAV in every encoding, AIFF, FLAC, Ogg Vorbis,
// Opus, MP3, ...), through libsndfile's virtual I/O on a byte source, so a
// file and bytes in memory take the same path. The source must outlive the
// decoder. Values are libsndfile's floats (integer formats scaled to -1..1);
// a value that is not finite becomes 0, and magnitudes above kLargest are
// cut to it, so every later sum stays finite.
class SndfileDecoder final : public FrameDecoder {
public:
    static constexpr float kLargest = 1.0e6f;  // 120 dB above full scale

    explicit SndfileDecoder(WavByteSource& source) : source_(source) {}
    ~SndfileDecoder() override;
    SndfileDecoder(const SndfileDecoder&) = delete;
    SndfileDecoder& operator=(const SndfileDecoder&) = delete;

    // Opens the source; false with `error` set to libsndfile's reason when it
    // does not read it.
    bool open(std::string& error);

    std::int32_t channels() const override { return channels_; }
    std::int32_t sampleRate() const override { return rate_; }
    std::int64_t claimedFrames() const override;
    std::string formatName() const override { return formatName_; }
    std::size_t chunkFrames() const override;

    std::size_t read(std::size_t frames, float* mix, float* const* planes) override;
    const std::string& failure() const override { return failure_; }
    std::uint64_t position() const override { return position_; }
    std::uint64_t sourceBytes() const override { return source_.size(); }
    bool rewind() override;

    // The virtual I/O's view of the source; public for libsndfile's callbacks.
    WavByteSource& source() { return source_; }
    std::uint64_t& cursor() { return position_; }

private:
    void close();

    WavByteSource& source_;
    void* sndfile_ = nullptr;  // SNDFILE*
    std::uint64_t position_ = 0;
    std::int32_t channels_ = 0;
    std::int32_t rate_ = 0;
    std::int64_t frames_ = -1;
    std::string formatName_;
    std::string failure_;
    std::vector<float> interleaved_;
};

}  // namespace selvik
