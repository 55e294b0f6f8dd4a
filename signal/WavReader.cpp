// Signal::readWav and Signal::readWavBytes: RIFF/WAVE PCM input.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "signal/Signal.h"

namespace selvik {

namespace {

// Reads little-endian fields out of a byte buffer. Offsets are 64-bit so that a
// skip by a 32-bit chunk size can never wrap around, and a read fails instead
// of going past the end.
class ByteCursor {
public:
    ByteCursor(const unsigned char* data, std::uint64_t size) : data_(data), size_(size) {}

    std::uint64_t position() const { return position_; }
    std::uint64_t remaining() const { return position_ < size_ ? size_ - position_ : 0; }
    const unsigned char* here() const { return data_ + position_; }

    bool readId(char (&id)[4]) {
        if (remaining() < 4) return false;
        for (int i = 0; i < 4; ++i) id[i] = static_cast<char>(data_[position_ + i]);
        position_ += 4;
        return true;
    }

    bool readU16(std::uint32_t& value) {
        if (remaining() < 2) return false;
        value = static_cast<std::uint32_t>(data_[position_]) |
                (static_cast<std::uint32_t>(data_[position_ + 1]) << 8);
        position_ += 2;
        return true;
    }

    bool readU32(std::uint32_t& value) {
        if (remaining() < 4) return false;
        value = static_cast<std::uint32_t>(data_[position_]) |
                (static_cast<std::uint32_t>(data_[position_ + 1]) << 8) |
                (static_cast<std::uint32_t>(data_[position_ + 2]) << 16) |
                (static_cast<std::uint32_t>(data_[position_ + 3]) << 24);
        position_ += 4;
        return true;
    }

    // May move past the end; the next read then fails.
    void skip(std::uint64_t bytes) { position_ += bytes; }

    // RIFF pads an odd-sized chunk with one zero byte, but some writers leave the
    // pad out. A chunk id never starts with a zero byte, so a zero here can only
    // be the pad.
    void skipPadAfter(std::uint32_t chunkSize) {
        if ((chunkSize & 1u) != 0 && remaining() > 0 && data_[position_] == 0) ++position_;
    }

private:
    const unsigned char* data_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
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

SignalStatus cutOff(std::string* detail, const char* where, const ByteCursor& cursor,
                    const char* field) {
    return fail(detail, SignalStatus::BadFileFormat,
                std::string("file ends inside the ") + where + " at byte " +
                    std::to_string(cursor.position()) + ", in the " + field + " field");
}

SignalStatus noDataChunk(std::string* detail, std::uint64_t headerAt, std::size_t size) {
    return fail(detail, SignalStatus::BadFileFormat,
                "no data chunk before the end of the file (chunk header at byte " +
                    std::to_string(headerAt) + ", file size " + std::to_string(size) + ")");
}

}  // namespace

SignalStatus Signal::readWav(const char* path, std::string* detail) {
    clear();
    if (detail != nullptr) detail->clear();
    if (path == nullptr) return fail(detail, SignalStatus::BadParameter, "no path given");

    // A directory opens for reading on some systems and then reports a
    // nonsense size; it is not a file to read.
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return fail(detail, SignalStatus::FileError,
                    std::string("\"") + path + "\" is a directory");
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return fail(detail, SignalStatus::FileError,
                    std::string("cannot open \"") + path + "\" for reading");
    }
    // The file is closed on every path below, whatever happens.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);

    if (std::fseek(file, 0, SEEK_END) != 0) {
        return fail(detail, SignalStatus::FileError, "cannot seek to the end of the file");
    }
    const long end = std::ftell(file);
    if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        return fail(detail, SignalStatus::FileError, "cannot find the size of the file");
    }
    const auto size = static_cast<std::size_t>(end);

    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size == 0 ? 1 : size]);
    if (!buffer) {
        return fail(detail, SignalStatus::OutOfMemory,
                    "cannot allocate " + std::to_string(size) + " bytes for the file");
    }
    const std::size_t got = size == 0 ? 0 : std::fread(buffer.get(), 1, size, file);
    if (got != size) {
        return fail(detail, SignalStatus::FileError,
                    "read " + std::to_string(got) + " of " + std::to_string(size) + " bytes");
    }
    closer.reset();

    return readWavBytes(buffer.get(), size, detail);
}

SignalStatus Signal::readWavBytes(const unsigned char* data, std::size_t size,
                                  std::string* detail) {
    clear();
    if (detail != nullptr) detail->clear();
    if (data == nullptr && size != 0) {
        return fail(detail, SignalStatus::BadParameter, "no bytes given");
    }

    constexpr SignalStatus kBad = SignalStatus::BadFileFormat;
    ByteCursor cursor(data, size);
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
                    "chunk id " + printableId(id) + " at byte 12; the format chunk must come first");
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
        if (!cursor.readId(id)) return noDataChunk(detail, headerAt, size);
        if (!cursor.readU32(dataSize)) return noDataChunk(detail, headerAt, size);
        if (idIs(id, "data", 4)) break;
        cursor.skip(dataSize);
        cursor.skipPadAfter(dataSize);
    }

    // An interrupted recorder leaves a size that runs past the end of the file:
    // keep the whole frames that are there.
    const std::uint64_t present = dataSize < cursor.remaining() ? dataSize : cursor.remaining();
    const std::uint64_t frameBytes = std::uint64_t{bytesPerSample} * channels;
    const std::uint64_t frames = present / frameBytes;
    if (frames > static_cast<std::uint64_t>(kMaxCount)) {
        return fail(detail, SignalStatus::OutOfMemory,
                    std::to_string(frames) + " frames; at most " + std::to_string(kMaxCount) +
                        " are read");
    }

    const SignalStatus allocated = allocateSamples(static_cast<std::int64_t>(frames));
    if (allocated != SignalStatus::NoError) {
        return fail(detail, allocated,
                    "cannot allocate the sample array for " + std::to_string(frames) + " frames");
    }
    sampleRate_ = 44100;

    // The scale factors are powers of two and the sums stay within 17 bits, so
    // every value below is exact in single precision.
    constexpr float kScale8 = 0.0078125f;           // 1/128
    constexpr float kScale16 = 1.0f / 32768.0f;     // 2^-15
    const unsigned char* in = cursor.here();
    float* out = samples_.get();
    const auto n = static_cast<std::size_t>(frames);
    if (bytesPerSample == 1 && channels == 1) {
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<float>(static_cast<int>(in[i]) - 128) * kScale8;
        }
    } else if (bytesPerSample == 1) {
        for (std::size_t i = 0; i < n; ++i) {
            const int sum = static_cast<int>(in[2 * i]) + static_cast<int>(in[2 * i + 1]) - 256;
            out[i] = static_cast<float>(sum) * kScale8 * 0.5f;
        }
    } else {
        auto value16 = [in](std::size_t k) {
            return static_cast<int>(static_cast<std::int16_t>(
                static_cast<std::uint16_t>(in[2 * k] | (in[2 * k + 1] << 8))));
        };
        if (channels == 1) {
            for (std::size_t i = 0; i < n; ++i) {
                out[i] = static_cast<float>(value16(i)) * kScale16;
            }
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                const int sum = value16(2 * i) + value16(2 * i + 1);
                out[i] = static_cast<float>(sum) * kScale16 * 0.5f;
            }
        }
    }
    return SignalStatus::NoError;
}

}  // namespace selvik
