#pragma once

#include <cstdint>

namespace selvik {

// The tick nearest to `seconds` on a grid of `tempo` quarter notes per minute
// and `division` ticks per quarter note (halves round up), formed in double
// precision as seconds / (60 / tempo / division), so that a time that lies on
// a tick comes back as exactly that tick. Results that do not fit wrap as a
// 32-bit register would; NaN gives 0.
std::uint32_t secondsToTicks(double seconds, double tempo, std::int32_t division);

}  // namespace selvik
