#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace selvik {

// The grid notes are snapped to: a note value (1/4, 1/8, 1/16, 1/32), or a
// triplet of one (1/8t, 1/16t: three in the time of two). Off by default.
struct QuantizeGrid {
    std::int32_t noteValue = 0;  // 4, 8, 16 or 32; 0: no quantizing
    bool triplet = false;

    bool operator==(const QuantizeGrid&) const = default;
    bool on() const { return noteValue > 0; }
    // Ticks per grid step at `division` ticks per quarter note, at least 1;
    // 0 when off.
    std::uint32_t stepTicks(std::uint16_t division) const;
    // "1/16", "1/8t"; "off" when off.
    std::string name() const;
};

// The grids the converter and the window offer, in their order.
inline constexpr std::array<QuantizeGrid, 6> kQuantizeGrids = {{
    {4, false}, {8, false}, {16, false}, {32, false}, {8, true}, {16, true}}};

// The grid of a name as name() writes it ("1/4" .. "1/16t"); empty for any
// other text ("off" included).
std::optional<QuantizeGrid> quantizeGridNamed(std::string_view name);

}  // namespace selvik
