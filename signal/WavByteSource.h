#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace selvik {

// Where the classic WAV reader takes its bytes from: a known number of bytes,
// read at any offset. The reader never asks for bytes past size().
class WavByteSource {
public:
    virtual ~WavByteSource() = default;

    // Bytes in the source.
    virtual std::uint64_t size() const = 0;
    // Copies up to `count` bytes from `offset` on into `out` and returns how
    // many it copied: all of them unless the source ends first or fails.
    virtual std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t count) = 0;
};

// Bytes already in memory; the caller keeps them alive while the source is used.
class WavMemorySource final : public WavByteSource {
public:
    WavMemorySource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t count) override;

private:
    const unsigned char* data_;
    std::size_t size_;
};

// An open file read with seeks and reads; the caller owns (and closes) the
// FILE. `size` is the file's length as found when it was opened.
class WavFileSource final : public WavByteSource {
public:
    WavFileSource(std::FILE* file, std::uint64_t size) : file_(file), size_(size) {}

    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t count) override;

private:
    std::FILE* file_;
    std::uint64_t size_;
    // Where the next fread starts, so reads in order need no seek; unknown
    // (past any offset) after a failed seek or read.
    std::uint64_t position_ = 0;
};

}  // namespace selvik
