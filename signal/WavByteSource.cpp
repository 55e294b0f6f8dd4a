#include "signal/WavByteSource.h"

#include <climits>
#include <cstring>

namespace selvik {

std::size_t WavMemorySource::read(std::uint64_t offset, unsigned char* out, std::size_t count) {
    if (offset >= size_) return 0;
    const std::uint64_t available = size_ - offset;
    const std::size_t n = available < count ? static_cast<std::size_t>(available) : count;
    if (n > 0) std::memcpy(out, data_ + offset, n);
    return n;
}

std::size_t WavFileSource::read(std::uint64_t offset, unsigned char* out, std::size_t count) {
    constexpr std::uint64_t kUnknown = UINT64_MAX;
    if (offset != position_) {
        if (offset > static_cast<std::uint64_t>(LONG_MAX) ||
            std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
            position_ = kUnknown;
            return 0;
        }
        position_ = offset;
    }
    const std::size_t got = std::fread(out, 1, count, file_);
    position_ = got == count ? position_ + got : kUnknown;
    return got;
}

}  // namespace selvik
