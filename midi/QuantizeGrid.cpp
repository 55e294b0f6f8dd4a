#include "midi/QuantizeGrid.h"

#include <algorithm>

namespace selvik {

std::uint32_t QuantizeGrid::stepTicks(std::uint16_t division) const {
    if (!on()) return 0;
    // A whole note is four quarters; a triplet step is two thirds of the plain one.
    const std::uint64_t whole = 4ull * division * (triplet ? 2u : 3u);
    const std::uint64_t step = whole / (static_cast<std::uint64_t>(noteValue) * 3u);
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(step, 1));
}

std::string QuantizeGrid::name() const {
    if (!on()) return "off";
    return "1/" + std::to_string(noteValue) + (triplet ? "t" : "");
}

std::optional<QuantizeGrid> quantizeGridNamed(std::string_view name) {
    for (const QuantizeGrid& grid : kQuantizeGrids) {
        if (grid.name() == name) return grid;
    }
    return std::nullopt;
}

}  // namespace selvik
