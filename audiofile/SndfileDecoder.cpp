#include "audiofile/SndfileDecoder.h"

#include <sndfile.h>

#include <cmath>

namespace selvik {

namespace {

SndfileDecoder& decoderOf(void* user) { return *static_cast<SndfileDecoder*>(user); }

sf_count_t fileLength(void* user) {
    return static_cast<sf_count_t>(decoderOf(user).source().size());
}

sf_count_t seekTo(sf_count_t offset, int whence, void* user) {
    SndfileDecoder& decoder = decoderOf(user);
    const auto size = static_cast<sf_count_t>(decoder.source().size());
    const auto here = static_cast<sf_count_t>(decoder.cursor());
    sf_count_t base = 0;
    if (whence == SEEK_CUR) {
        base = here;
    } else if (whence == SEEK_END) {
        base = size;
    } else if (whence != SEEK_SET) {
        return -1;
    }
    // Guard the sum against overflow from a nonsense offset.
    if ((offset > 0 && base > SF_COUNT_MAX - offset) || base + offset < 0) return -1;
    decoder.cursor() = static_cast<std::uint64_t>(base + offset);
    return base + offset;
}

sf_count_t readBytes(void* out, sf_count_t count, void* user) {
    SndfileDecoder& decoder = decoderOf(user);
    if (count <= 0) return 0;
    const std::size_t got = decoder.source().read(
        decoder.cursor(), static_cast<unsigned char*>(out), static_cast<std::size_t>(count));
    decoder.cursor() += got;
    return static_cast<sf_count_t>(got);
}

sf_count_t writeNothing(const void*, sf_count_t, void*) { return 0; }

sf_count_t tellPosition(void* user) { return static_cast<sf_count_t>(decoderOf(user).cursor()); }

SF_VIRTUAL_IO virtualIo() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = &fileLength;
    io.seek = &seekTo;
    io.read = &readBytes;
    io.write = &writeNothing;
    io.tell = &tellPosition;
    return io;
}

std::string formatPart(SNDFILE* file, int format) {
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(file, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) {
        return "format " + std::to_string(format);
    }
    return info.name;
}

// libsndfile's reasons may start with "Error : " and end in a full stop;
// ours are parts of a line.
std::string plainReason(const char* text) {
    std::string reason = text != nullptr ? text : "";
    const std::string prefix = "Error : ";
    if (reason.compare(0, prefix.size(), prefix) == 0) reason.erase(0, prefix.size());
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
    return reason.empty() ? "unknown error" : reason;
}

float tame(float value) {
    if (!std::isfinite(value)) return 0.0f;
    if (value > SndfileDecoder::kLargest) return SndfileDecoder::kLargest;
    if (value < -SndfileDecoder::kLargest) return -SndfileDecoder::kLargest;
    return value;
}

}  // namespace

SndfileDecoder::~SndfileDecoder() { close(); }

void SndfileDecoder::close() {
    if (sndfile_ != nullptr) sf_close(static_cast<SNDFILE*>(sndfile_));
    sndfile_ = nullptr;
}

bool SndfileDecoder::open(std::string& error) {
    close();
    position_ = 0;
    failure_.clear();
    SF_VIRTUAL_IO io = virtualIo();
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, this);
    if (file == nullptr) {
        error = plainReason(sf_strerror(nullptr));
        return false;
    }
    sndfile_ = file;
    channels_ = info.channels;
    rate_ = info.samplerate;
    frames_ = info.frames;
    formatName_ = formatPart(file, info.format & SF_FORMAT_TYPEMASK) + ", " +
                  formatPart(file, info.format & SF_FORMAT_SUBMASK);
    return true;
}

std::int64_t SndfileDecoder::claimedFrames() const {
    // Debian's libsndfile gives INT64_MAX where a stream does not say (Ogg,
    // an empty FLAC). A count needing less than one byte per 4096 frames
    // cannot be true even of compressed silence.
    if (frames_ <= 0 || frames_ == SF_COUNT_MAX) return -1;
    if (static_cast<std::uint64_t>(frames_) / 4096 > source_.size()) return -1;
    return frames_;
}

std::size_t SndfileDecoder::chunkFrames() const {
    const std::size_t perChunk = 65536 / static_cast<std::size_t>(channels_ > 0 ? channels_ : 1);
    return perChunk > 0 ? perChunk : 1;
}

std::size_t SndfileDecoder::read(std::size_t frames, float* mix, float* const* planes) {
    if (sndfile_ == nullptr || !failure_.empty() || frames == 0) return 0;
    if (frames > chunkFrames()) frames = chunkFrames();
    auto* file = static_cast<SNDFILE*>(sndfile_);
    const auto channels = static_cast<std::size_t>(channels_);
    interleaved_.resize(frames * channels);
    const sf_count_t got =
        sf_readf_float(file, interleaved_.data(), static_cast<sf_count_t>(frames));
    const std::size_t n = got > 0 ? static_cast<std::size_t>(got) : 0;
    // A truncated or corrupt stream ends like a normal one unless asked.
    if (n < frames && sf_error(file) != SF_ERR_NO_ERROR) {
        failure_ = plainReason(sf_strerror(file));
    }
    const float* in = interleaved_.data();
    if (channels == 1) {
        for (std::size_t i = 0; i < n; ++i) mix[i] = tame(in[i]);
        return n;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < channels; ++c) {
            const float value = tame(in[i * channels + c]);
            if (planes != nullptr) planes[c][i] = value;
            sum += value;
        }
        mix[i] = static_cast<float>(sum / static_cast<double>(channels));
    }
    return n;
}

bool SndfileDecoder::rewind() {
    std::string error;
    if (open(error)) return true;
    failure_ = error;
    return false;
}

}  // namespace selvik
