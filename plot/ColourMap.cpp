#include "plot/ColourMap.h"

#include <algorithm>

namespace selvik {

namespace {

// A degree-6 polynomial fit of viridis per channel, within about 1% of the
// published table.
constexpr double kCoefficients[3][7] = {
    {0.2777273272234177, 0.1050930431085774, -0.3308618287255563, -4.634230498983486, 6.228269936347081,
     4.776384997670288, -5.435455855934631},
    {0.005407344544966578, 1.404613529898575, 0.214847559468213, -5.799100973351585, 14.17993336680509,
     -13.74514537774601, 4.645852612178535},
    {0.3340998053353061, 1.384590162594685, 0.09509516302823659, -19.33244095627987, 56.69055260068105,
     -65.35303263337234, 26.3124352495832},
};

std::uint32_t channel(int c, double t) {
    double value = 0.0;
    for (int k = 6; k >= 0; --k) value = value * t + kCoefficients[c][k];
    return static_cast<std::uint32_t>(std::clamp(value, 0.0, 1.0) * 255.0 + 0.5);
}

std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        const double t = i / 255.0;
        table[static_cast<std::size_t>(i)] = 0xFF000000u | channel(0, t) << 16 | channel(1, t) << 8 | channel(2, t);
    }
    return table;
}

}  // namespace

const std::array<std::uint32_t, 256>& viridisColours() {
    static const std::array<std::uint32_t, 256> table = makeTable();
    return table;
}

}  // namespace selvik
