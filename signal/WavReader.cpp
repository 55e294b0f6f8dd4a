// Signal::readWav and Signal::readWavBytes: RIFF/WAVE PCM input.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "signal/Signal.h"
#include "signal/WavByteSource.h"
#include "signal/WavLayout.h"

namespace selvik {

namespace {

SignalStatus fail(std::string* detail, SignalStatus status, const std::string& why) {
    if (detail != nullptr) *detail = why;
    return status;
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

    WavFileSource source(file, static_cast<std::uint64_t>(end));
    return readWavFrom(source, detail);
}

SignalStatus Signal::readWavBytes(const unsigned char* data, std::size_t size,
                                  std::string* detail) {
    clear();
    if (detail != nullptr) detail->clear();
    if (data == nullptr && size != 0) {
        return fail(detail, SignalStatus::BadParameter, "no bytes given");
    }
    WavMemorySource source(data, size);
    return readWavFrom(source, detail);
}

SignalStatus Signal::readWavFrom(WavByteSource& source, std::string* detail) {
    clear();
    if (detail != nullptr) detail->clear();
    WavLayout layout;
    const SignalStatus parsed = parseWavLayout(source, layout, detail);
    if (parsed != SignalStatus::NoError) return parsed;

    const std::uint64_t frames = layout.frameCount;
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

    // The frames go through a small buffer straight into the samples, so a
    // long file is never held in memory twice.
    unsigned char buffer[kWavChunkBytes];
    const std::uint64_t framesPerChunk = kWavChunkBytes / layout.frameBytes();
    std::uint64_t offset = layout.dataOffset;
    for (std::uint64_t done = 0; done < frames;) {
        const std::uint64_t n = frames - done < framesPerChunk ? frames - done : framesPerChunk;
        const auto bytes = static_cast<std::size_t>(n * layout.frameBytes());
        const std::size_t got = source.read(offset, buffer, bytes);
        if (got != bytes) {
            const std::uint64_t size = source.size();
            clear();
            return fail(detail, SignalStatus::FileError, wavReadFailure(offset + got, size));
        }
        convertWavFrames(layout, buffer, static_cast<std::size_t>(n), samples_.get() + done);
        offset += bytes;
        done += n;
    }
    return SignalStatus::NoError;
}

}  // namespace selvik
