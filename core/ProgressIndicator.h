#pragma once

#include <cstdint>

namespace selvik {

// Progress of a long operation, as the recognition pass reports it.
//
// The range and the position are 32-bit values, so recordings with more than
// 65535 blocks still move the indicator across its whole length.
// Called only from the thread that runs the operation (the user-interface
// thread in the desktop program).
class ProgressIndicator {
public:
    virtual ~ProgressIndicator() = default;

    // Sets the range of positions, minimum and maximum inclusive.
    virtual void setRange(std::int32_t minimum, std::int32_t maximum) = 0;
    // Moves the indicator to a position inside the range.
    virtual void setPosition(std::int32_t position) = 0;
};

}  // namespace selvik
