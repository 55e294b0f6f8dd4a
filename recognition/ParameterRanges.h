#pragma once

// The ranges and defaults of the recognition settings, in one place: the
// methods' own checks, the converter's options and their help, and the
// window's controls all read them from here.

#include <array>
#include <cstdint>
#include <string_view>

namespace selvik::parameters {

// Samples per analysis block of the classic method.
inline constexpr std::array<std::int32_t, 4> kBlockSizes = {1024, 2048, 4096, 8192};
inline constexpr std::int32_t kDefaultBlockSize = 2048;

// Most notes per block and pass of the classic method.
inline constexpr std::int32_t kMinPolyphony = 1;
inline constexpr std::int32_t kMaxPolyphony = 16;
inline constexpr std::int32_t kDefaultPolyphony = 1;

// The threshold, 0..1, as --threshold and the slider give it.
inline constexpr float kMinThreshold = 0.0f;
inline constexpr float kMaxThreshold = 1.0f;
inline constexpr float kDefaultThreshold = 0.8f;

// The classic method's analysis windows, named in the order of WindowType.
inline constexpr std::array<std::string_view, 3> kWindowNames = {"gaussian", "hanning", "blackman"};
inline constexpr std::int32_t kDefaultWindowType = 2;

// Window positions per block of the classic method.
inline constexpr std::array<std::int32_t, 5> kSubsamplings = {1, 2, 4, 8, 16};
inline constexpr std::int32_t kDefaultSubsampling = 4;

// Passes of the classic method, at decimation 1, 2, 4 and 8.
inline constexpr std::int32_t kMinPasses = 1;
inline constexpr std::int32_t kMaxPasses = 4;
inline constexpr std::int32_t kDefaultPasses = 2;

// The shortest note our methods keep, in milliseconds.
inline constexpr std::int32_t kMinNoteMsLow = 1;
inline constexpr std::int32_t kMinNoteMsHigh = 10000;
inline constexpr std::int32_t kDefaultMinNoteMs = 60;

template <typename T, std::size_t N>
constexpr bool isOneOf(const std::array<T, N>& choices, const T& value) {
    for (const T& choice : choices) {
        if (choice == value) return true;
    }
    return false;
}

}  // namespace selvik::parameters
