#pragma once

#include <cstdint>

namespace selvik {

// Result of every Signal operation that can fail.
enum class SignalStatus : std::int32_t {
    NoError = 0,
    BadFileFormat = 1,
    NoData = 2,
    FileError = 3,
    OutOfMemory = 4,
    BadParameter = 5,
};

inline constexpr int kSignalStatusCount = 6;

// The fixed user-facing text of a status ("Bad file format", ...). Codes
// outside the table give an empty text.
const char* statusMessage(SignalStatus status);

}  // namespace selvik
