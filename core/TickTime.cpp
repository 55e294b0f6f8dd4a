#include "core/TickTime.h"

#include <cmath>

namespace selvik {

std::uint32_t secondsToTicks(double seconds, double tempo, std::int32_t division) {
    const double secondsPerTick = (60.0 / tempo) / static_cast<double>(division);
    const double ticks = std::trunc(seconds / secondsPerTick + 0.5);
    // Out-of-range results (absurd inputs, a zero tempo or division) must not be
    // undefined behaviour: NaN gives 0, the rest wraps like a 32-bit register.
    if (std::isnan(ticks)) return 0;
    constexpr double kLimit = 9.2e18;  // inside the range of int64
    if (ticks >= kLimit) return static_cast<std::uint32_t>(static_cast<std::int64_t>(kLimit));
    if (ticks <= -kLimit) return static_cast<std::uint32_t>(static_cast<std::int64_t>(-kLimit));
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(ticks));
}

}  // namespace selvik
