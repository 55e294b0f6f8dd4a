#include "audiofile/ClassicWavDecoder.h"

namespace selvik {

std::string ClassicWavDecoder::formatName() const {
    return layout_.bytesPerSample == 1 ? "WAV (Microsoft), Unsigned 8 bit PCM"
                                       : "WAV (Microsoft), Signed 16 bit PCM";
}

std::size_t ClassicWavDecoder::read(std::size_t frames, float* mix, float* const* planes) {
    if (!failure_.empty()) return 0;
    const std::uint64_t left = layout_.frameCount - framesDone_;
    if (frames > chunkFrames()) frames = chunkFrames();
    const auto n = static_cast<std::size_t>(left < frames ? left : frames);
    if (n == 0) return 0;
    const std::size_t bytes = n * layout_.frameBytes();
    const std::size_t got = source_.read(offset_, buffer_, bytes);
    // A source that gives less than it holds: keep the whole frames it gave.
    const std::size_t whole = got == bytes ? n : got / layout_.frameBytes();
    if (got != bytes) failure_ = wavReadFailure(offset_ + got, source_.size());
    convertWavFrames(layout_, buffer_, whole, mix);
    if (planes != nullptr && layout_.channels > 1) {
        for (std::uint32_t c = 0; c < layout_.channels; ++c) {
            convertWavChannel(layout_, buffer_, whole, c, planes[c]);
        }
    }
    offset_ += whole * layout_.frameBytes();
    framesDone_ += whole;
    return whole;
}

bool ClassicWavDecoder::rewind() {
    offset_ = layout_.dataOffset;
    framesDone_ = 0;
    failure_.clear();
    return true;
}

}  // namespace selvik
