#include "signal/WavLayout.h"

#include <cstdint>
#include <string>

#include "core/VectorClones.h"

namespace selvik {

namespace {

// Reads little-endian fields out of a byte source. Offsets are 64-bit so that
// a skip by a 32-bit chunk size can never wrap around, and a read fails
// instead of going past the end. Once the source has failed to give bytes it
// has, every later read fails too, and failed() says so.
class ByteCursor {
public:
    explicit ByteCursor(WavByteSource& source) : source_(source), size_(source.size()) {}

    std::uint64_t position() const { return position_; }
    std::uint64_t remaining() const { return position_ < size_ ? size_ - position_ : 0; }
    std::uint64_t size() const { return size_; }
    bool failed() const { return failed_; }
    // Where the bytes the source did give end, once it has failed.
    std::uint64_t failedAt() const { return failedAt_; }

    bool readId(char (&id)[4]) {
        unsigned char bytes[4];
        if (!take(bytes, 4)) return false;
        for (int i = 0; i < 4; ++i) id[i] = static_cast<char>(bytes[i]);
        return true;
    }

    bool readU16(std::uint32_t& value) {
        unsigned char bytes[2];
        if (!take(bytes, 2)) return false;
        value = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8);
        return true;
    }

    bool readU32(std::uint32_t& value) {
        unsigned char bytes[4];
        if (!take(bytes, 4)) return false;
        value = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                (static_cast<std::uint32_t>(bytes[2]) << 16) |
                (static_cast<std::uint32_t>(bytes[3]) << 24);
        return true;
    }

    // May move past the end; the next read then fails.
    void skip(std::uint64_t bytes) { position_ += bytes; }

    // RIFF pads an odd-sized chunk with one zero byte, but some writers leave the
    // pad out. A chunk id never starts with a zero byte, so a zero here can only
    // be the pad.
    void skipPadAfter(std::uint32_t chunkSize) {
        if ((chunkSize & 1u) == 0 || remaining() == 0 || failed_) return;
        unsigned char byte = 0;
        if (!fetch(&byte, 1)) return;
        if (byte == 0) ++position_;
    }

private:
    // Reads n bytes at the position and moves past them.
    bool take(unsigned char* out, std::size_t n) {
        if (failed_ || remaining() < n) return false;
        if (!fetch(out, n)) return false;
        position_ += n;
        return true;
    }

    // Reads n bytes at the position, which the source has.
    bool fetch(unsigned char* out, std::size_t n) {
        const std::size_t got = source_.read(position_, out, n);
        if (got == n) return true;
        failed_ = true;
        failedAt_ = position_ + got;
        return false;
    }

    WavByteSource& source_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
    bool failed_ = false;
    std::uint64_t failedAt_ = 0;
};

bool idIs(const char (&id)[4], const char* expected, int length) {
    for (int i = 0; i < length; ++i) {
        if (id[i] != expected[i]) return false;
    }
    return true;
}

std::string printableId(const char (&id)[4]) {
    std::string text = "\"";
    for (char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            text += c;
        } else {
            static const char kHex[] = "0123456789abcdef";
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        }
    }
    return text + "\"";
}

SignalStatus fail(std::string* detail, SignalStatus status, const std::string& why) {
    if (detail != nullptr) *detail = why;
    return status;
}

SignalStatus readFailed(std::string* detail, const ByteCursor& cursor) {
    return fail(detail, SignalStatus::FileError,
                wavReadFailure(cursor.failedAt(), cursor.size()));
}

SignalStatus cutOff(std::string* detail, const char* where, const ByteCursor& cursor,
                    const char* field) {
    if (cursor.failed()) return readFailed(detail, cursor);
    return fail(detail, SignalStatus::BadFileFormat,
                std::string("file ends inside the ") + where + " at byte " +
                    std::to_string(cursor.position()) + ", in the " + field + " field");
}

SignalStatus noDataChunk(std::string* detail, std::uint64_t headerAt, const ByteCursor& cursor) {
    if (cursor.failed()) return readFailed(detail, cursor);
    return fail(detail, SignalStatus::BadFileFormat,
                "no data chunk before the end of the file (chunk header at byte " +
                    std::to_string(headerAt) + ", file size " + std::to_string(cursor.size()) +
                    ")");
}

// The scale factors are powers of two and the sums stay within 17 bits, so
// every value below is exact in single precision.
constexpr float kScale8 = 0.0078125f;        // 1/128
constexpr float kScale16 = 1.0f / 32768.0f;  // 2^-15

int value16(const unsigned char* in, std::size_t k) {
    return static_cast<int>(
        static_cast<std::int16_t>(static_cast<std::uint16_t>(in[2 * k] | (in[2 * k + 1] << 8))));
}

}  // namespace

std::string wavReadFailure(std::uint64_t got, std::uint64_t size) {
    return "read " + std::to_string(got) + " of " + std::to_string(size) + " bytes";
}

SignalStatus parseWavLayout(WavByteSource& source, WavLayout& layout, std::string* detail) {
    constexpr SignalStatus kBad = SignalStatus::BadFileFormat;
    ByteCursor cursor(source);
    char id[4];
    std::uint32_t field = 0;

    if (!cursor.readId(id)) return cutOff(detail, "RIFF header", cursor, "RIFF id");
    if (!idIs(id, "RIFF", 4)) {
        return fail(detail, kBad, "RIFF id " + printableId(id) + "; only \"RIFF\" is read");
    }
    if (!cursor.readU32(field)) return cutOff(detail, "RIFF header", cursor, "RIFF size");
    if (!cursor.readId(id)) return cutOff(detail, "RIFF header", cursor, "form type");
    if (!idIs(id, "WAVE", 4)) {
        return fail(detail, kBad, "form type " + printableId(id) + "; only \"WAVE\" is read");
    }

    if (!cursor.readId(id)) return cutOff(detail, "format chunk", cursor, "chunk id");
    if (!idIs(id, "fmt", 3)) {
        return fail(detail, kBad,
                    "chunk id " + printableId(id) +
                        " at byte 12; the format chunk must come first");
    }
    std::uint32_t formatSize = 0;
    if (!cursor.readU32(formatSize)) return cutOff(detail, "format chunk", cursor, "chunk size");
    std::uint32_t formatTag = 0;
    if (!cursor.readU16(formatTag)) return cutOff(detail, "format chunk", cursor, "format tag");
    if (formatTag != 1) {
        return fail(detail, kBad,
                    "format tag " + std::to_string(formatTag) + "; only PCM (1) is read");
    }
    std::uint32_t channels = 0;
    if (!cursor.readU16(channels)) return cutOff(detail, "format chunk", cursor, "channels");
    if (channels != 1 && channels != 2) {
        return fail(detail, kBad,
                    std::to_string(channels) + " channels; only mono and stereo are read");
    }
    std::uint32_t rate = 0;
    if (!cursor.readU32(rate)) return cutOff(detail, "format chunk", cursor, "sample rate");
    if (rate != 44100) {
        return fail(detail, kBad,
                    "sample rate " + std::to_string(rate) + " Hz; only 44100 Hz PCM is read");
    }
    if (!cursor.readU32(field)) return cutOff(detail, "format chunk", cursor, "byte rate");
    if (!cursor.readU16(field)) return cutOff(detail, "format chunk", cursor, "block align");
    std::uint32_t bits = 0;
    if (!cursor.readU16(bits)) return cutOff(detail, "format chunk", cursor, "bits per sample");
    if (bits > 16) {
        return fail(detail, kBad,
                    std::to_string(bits) + " bits per sample; at most 16 are read");
    }
    const std::uint32_t bytesPerSample = bits <= 8 ? 1 : 2;

    // The fields read so far are the 16 bytes every PCM format chunk has; a
    // shorter chunk would put the next chunk header back inside them.
    if (formatSize < 16) {
        return fail(detail, kBad,
                    "format chunk size " + std::to_string(formatSize) +
                        "; the PCM fields alone take 16 bytes");
    }
    cursor.skip(formatSize - 16);
    cursor.skipPadAfter(formatSize);

    // Each step passes at least one 8-byte header, so the walk ends.
    std::uint32_t dataSize = 0;
    for (;;) {
        const std::uint64_t headerAt = cursor.position();
        if (!cursor.readId(id)) return noDataChunk(detail, headerAt, cursor);
        if (!cursor.readU32(dataSize)) return noDataChunk(detail, headerAt, cursor);
        if (idIs(id, "data", 4)) break;
        cursor.skip(dataSize);
        cursor.skipPadAfter(dataSize);
    }

    // An interrupted recorder leaves a size that runs past the end of the file:
    // keep the whole frames that are there.
    const std::uint64_t present = dataSize < cursor.remaining() ? dataSize : cursor.remaining();
    layout.channels = channels;
    layout.bytesPerSample = bytesPerSample;
    layout.dataOffset = cursor.position();
    layout.frameCount = present / layout.frameBytes();
    return SignalStatus::NoError;
}

SELVIK_VECTOR_CLONES
void convertWavFrames(const WavLayout& layout, const unsigned char* in, std::size_t n,
                      float* out) {
    if (layout.bytesPerSample == 1 && layout.channels == 1) {
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<float>(static_cast<int>(in[i]) - 128) * kScale8;
        }
    } else if (layout.bytesPerSample == 1) {
        for (std::size_t i = 0; i < n; ++i) {
            const int sum = static_cast<int>(in[2 * i]) + static_cast<int>(in[2 * i + 1]) - 256;
            out[i] = static_cast<float>(sum) * kScale8 * 0.5f;
        }
    } else if (layout.channels == 1) {
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<float>(value16(in, i)) * kScale16;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            const int sum = value16(in, 2 * i) + value16(in, 2 * i + 1);
            out[i] = static_cast<float>(sum) * kScale16 * 0.5f;
        }
    }
}

void convertWavChannel(const WavLayout& layout, const unsigned char* in, std::size_t n,
                       std::uint32_t channel, float* out) {
    const std::size_t step = layout.channels;
    if (layout.bytesPerSample == 1) {
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<float>(static_cast<int>(in[step * i + channel]) - 128) * kScale8;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<float>(value16(in, step * i + channel)) * kScale16;
        }
    }
}

}  // namespace selvik
