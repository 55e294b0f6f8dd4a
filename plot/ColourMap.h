#pragma once

#include <array>
#include <cstdint>

namespace selvik {

// The viridis colour map (dark blue through green to yellow): perceptually
// even steps and a lightness that grows with the level, so it reads in grey
// too. Entry i is 0xFFRRGGBB for level i.
const std::array<std::uint32_t, 256>& viridisColours();

}  // namespace selvik
