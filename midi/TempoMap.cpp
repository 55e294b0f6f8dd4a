#include "midi/TempoMap.h"

#include <algorithm>
#include <cmath>

#include "core/TickTime.h"

namespace selvik {

namespace {

constexpr double kFallbackTempo = 120.0;
constexpr std::uint16_t kFallbackDivision = 384;

double usableTempo(double tempo) { return tempo > 0.0 && std::isfinite(tempo) ? tempo : kFallbackTempo; }

double ticksPerSecond(double tempo, std::uint16_t division) { return division * tempo / 60.0; }

}  // namespace

TempoMap::TempoMap(double tempo, const std::vector<TempoChange>& changes, std::uint16_t division)
    : division_(division > 0 ? division : kFallbackDivision) {
    segments_.push_back({0, 0.0, usableTempo(tempo)});
    for (const TempoChange& change : changes) {
        const Segment& last = segments_.back();
        // A change at the tick of the one before replaces it; one out of
        // order is ignored, so that the times laid out so far stay.
        if (change.tick == last.tick) {
            segments_.back().tempo = usableTempo(change.tempo);
            continue;
        }
        if (change.tick < last.tick) continue;
        const double seconds = last.seconds + (change.tick - last.tick) / ticksPerSecond(last.tempo, division_);
        segments_.push_back({change.tick, seconds, usableTempo(change.tempo)});
    }
}

const TempoMap::Segment& TempoMap::segmentAt(std::uint32_t tick) const {
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                        [](std::uint32_t t, const Segment& s) { return t < s.tick; });
    return *(after - 1);
}

double TempoMap::secondsAt(std::uint32_t tick) const {
    const Segment& segment = segmentAt(tick);
    if (segment.tick == 0) return tick / ticksPerSecond(segment.tempo, division_);
    return segment.seconds + (tick - segment.tick) / ticksPerSecond(segment.tempo, division_);
}

std::uint32_t TempoMap::tickAt(double seconds) const {
    if (!(seconds > 0.0)) return 0;
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), seconds,
                                        [](double s, const Segment& segment) { return s < segment.seconds; });
    const Segment& segment = *(after - 1);
    if (segment.tick == 0) return secondsToTicks(seconds, segment.tempo, division_);
    return segment.tick + secondsToTicks(seconds - segment.seconds, segment.tempo, division_);
}

}  // namespace selvik
