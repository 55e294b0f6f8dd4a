#include "plot/RollBeats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "midi/TempoMap.h"

namespace selvik {

std::vector<RollBeat> rollBeats(const Song& song) {
    std::vector<RollBeat> beats;
    if (!song.timeSignature || song.division == 0) return beats;
    const TimeSignature& meter = *song.timeSignature;
    const auto beatTicks = static_cast<std::uint64_t>(std::max(1L, std::lround(song.division * meter.quartersPerBeat())));
    const auto perBar = static_cast<std::uint64_t>(std::max(1, meter.beatsPerBar()));
    const TempoMap map = TempoMap::of(song);
    for (std::uint64_t beat = 0; beat * beatTicks <= song.endTime; ++beat) {
        beats.push_back({map.secondsAt(static_cast<std::uint32_t>(beat * beatTicks)), beat % perBar == 0});
    }
    return beats;
}

}  // namespace selvik
