#include "midi/Quantize.h"

#include <algorithm>
#include <array>
#include <limits>

namespace selvik {

namespace {

std::int32_t snap(std::int32_t tick, std::uint32_t step) {
    const std::int64_t s = step;
    const std::int64_t snapped = (static_cast<std::int64_t>(tick) + s / 2) / s * s;
    return static_cast<std::int32_t>(std::min<std::int64_t>(snapped, std::numeric_limits<std::int32_t>::max()));
}

void orderByStart(std::vector<PlacedSpan>& spans) {
    std::stable_sort(spans.begin(), spans.end(),
                     [](const PlacedSpan& a, const PlacedSpan& b) { return a.span.startTick < b.span.startTick; });
}

}  // namespace

void quantizeSpans(std::vector<PlacedSpan>& spans, std::uint32_t step) {
    if (step == 0) return;
    const auto stepTicks = static_cast<std::int32_t>(std::min<std::uint32_t>(step, 1u << 30));
    for (PlacedSpan& placed : spans) {
        NoteSpan& span = placed.span;
        span.startTick = snap(span.startTick, step);
        span.endTick = std::max(snap(span.endTick, step), span.startTick + stepTicks);
    }
    orderByStart(spans);

    // Per note number, the latest start so far: a start on or before it moves
    // a step past it. Starts only move later, so taking the spans in order of
    // their snapped starts sees each number's starts rise.
    std::array<std::int64_t, 128> lastStart;
    lastStart.fill(-1);
    bool moved = false;
    for (PlacedSpan& placed : spans) {
        NoteSpan& span = placed.span;
        std::int64_t& last = lastStart[span.note & 0x7F];
        if (last >= 0 && span.startTick <= last) {
            span.startTick = static_cast<std::int32_t>(last + stepTicks);
            span.endTick = std::max(span.endTick, span.startTick + stepTicks);
            moved = true;
        }
        last = span.startTick;
    }
    if (moved) orderByStart(spans);

    // A note still sounding at the next start of its number ends there: that
    // start lies at least a step after its own.
    std::array<NoteSpan*, 128> sounding{};
    for (PlacedSpan& placed : spans) {
        NoteSpan& span = placed.span;
        NoteSpan*& before = sounding[span.note & 0x7F];
        if (before != nullptr && before->endTick > span.startTick) before->endTick = span.startTick;
        before = &span;
    }
}

}  // namespace selvik
