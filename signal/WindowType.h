#pragma once

#include <cstdint>

namespace selvik {

// Analysis window kinds; any other value gives a window of zeros.
enum WindowType : std::int32_t {
    Gaussian = 0,  // e^(-18 x^2)
    Hanning = 1,   // cos^2(pi x)
    Blackman = 2,  // 0.42 + 0.5 cos(2 pi x) + 0.08 cos(4 pi x)
};

}  // namespace selvik
