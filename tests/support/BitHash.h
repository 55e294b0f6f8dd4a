#pragma once

// A fingerprint of exact bits (64-bit FNV-1a over the values' bytes, as a
// little-endian machine stores them), for tests that pin results recorded
// once, so that a change on another processor, compiler or C library shows.

#include <cstddef>
#include <cstdint>

namespace selvik::test {

inline constexpr std::uint64_t kBitHashStart = 14695981039346656037ull;

template <class T>
std::uint64_t bitHash(const T* values, std::size_t count, std::uint64_t hash = kBitHashStart) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(values);
    for (std::size_t i = 0; i < count * sizeof(T); ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace selvik::test
