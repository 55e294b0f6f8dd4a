#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace selvik {

// A buffered, front-to-back byte sink. Bytes gather in a fixed buffer and are
// handed to a drain function when it fills and on flush(). The first drain
// failure is sticky: later writes are dropped and failed() stays true, so a
// caller can write a whole file and check once at the end.
class ByteWriter {
public:
    // Called with the bytes to pass on; returns false when they could not all be
    // taken. `context` is passed back unchanged.
    using Drain = bool (*)(void* context, const std::uint8_t* data, std::size_t size);

    ByteWriter(Drain drain, void* context) : drain_(drain), context_(context) {}
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    void put(std::uint8_t byte) {
        if (used_ == kCapacity) {
            drainBuffer();
        }
        buffer_[used_++] = byte;
    }

    void write(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        while (size > 0) {
            if (used_ == kCapacity) {
                drainBuffer();
            }
            const std::size_t room = kCapacity - used_;
            const std::size_t part = size < room ? size : room;
            std::memcpy(buffer_ + used_, bytes, part);
            used_ += part;
            bytes += part;
            size -= part;
        }
    }

    void writeBigEndian16(std::uint16_t value) {
        put(static_cast<std::uint8_t>(value >> 8));
        put(static_cast<std::uint8_t>(value));
    }

    void writeBigEndian32(std::uint32_t value) {
        put(static_cast<std::uint8_t>(value >> 24));
        put(static_cast<std::uint8_t>(value >> 16));
        put(static_cast<std::uint8_t>(value >> 8));
        put(static_cast<std::uint8_t>(value));
    }

    // Passes on what is buffered; true when every byte so far reached the drain.
    [[nodiscard]] bool flush() {
        drainBuffer();
        return !failed_;
    }

    [[nodiscard]] bool failed() const { return failed_; }

private:
    static constexpr std::size_t kCapacity = 64 * 1024;

    void drainBuffer() {
        if (used_ > 0 && !failed_ && !drain_(context_, buffer_, used_)) {
            failed_ = true;
        }
        used_ = 0;
    }

    Drain drain_;
    void* context_;
    std::size_t used_ = 0;
    bool failed_ = false;
    std::uint8_t buffer_[kCapacity];
};

}  // namespace selvik
