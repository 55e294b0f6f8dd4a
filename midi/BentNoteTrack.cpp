#include "midi/BentNoteTrack.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>

#include "midi/NoteTrack.h"

namespace selvik {

namespace {

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kPitchBend = 0xE0;
// Every channel but the tenth, which General MIDI keeps for percussion.
constexpr std::array<std::uint8_t, 15> kChannels = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15};
constexpr double kLeastChangeCents = 3.0;
constexpr double kLeastGapSeconds = 0.010;
constexpr int kDefaultRange = 2;
constexpr int kWidestRange = 24;
// An offset this far past a whole number of semitones still fits that range:
// the bend is clamped by less than the smallest change worth sending.
constexpr double kRangeSlackCents = 3.0;

// The order of events at one tick: the range declarations, the endings, a
// note's starting bend, its note-on, then the bends within notes.
enum class Order : int { Setup, Ending, StartBend, NoteOn, Bend };

struct Pending {
    MidiEvent event;
    Order order;
    bool dropped = false;
};

struct Point {
    std::uint32_t tick;
    double seconds;  // of the tick, as the song plays it
    double cents;
};

struct Placement {
    int channel = 0;       // index into kChannels
    bool bent = false;     // the note's bends are written
    bool startBend = true; // its note-on is preceded by its starting offset
    std::vector<Point> points;  // its pitch inside the note, in time order
};

struct Channel {
    std::int64_t busyUntil = std::numeric_limits<std::int64_t>::min();  // end of its last sounding note
    std::int64_t bentUntil = std::numeric_limits<std::int64_t>::min();  // end of its last bent note
    bool used = false;
    double lastBendSeconds = -std::numeric_limits<double>::infinity();
    double lastCents = 0.0;
    std::vector<std::size_t> recentBends;  // in-note bends of its previous note, in events
};

std::uint16_t bendValue(double cents, int range) {
    const double value = 8192.0 + std::round(cents / (100.0 * range) * 8192.0);
    return static_cast<std::uint16_t>(std::clamp(value, 0.0, 16383.0));
}

MidiEvent bendEvent(std::uint32_t tick, int channel, double cents, int range) {
    const std::uint16_t value = bendValue(cents, range);
    return {tick, static_cast<std::uint8_t>(kPitchBend | kChannels[static_cast<std::size_t>(channel)]),
            static_cast<std::uint8_t>(value & 0x7F), static_cast<std::uint8_t>(value >> 7)};
}

std::vector<Point> pointsInside(const BentSpan& bent, const TempoMap& map) {
    std::vector<Point> points;
    if (bent.pitch == nullptr) return points;
    for (const PitchPoint& point : *bent.pitch) {
        if (!std::isfinite(point.seconds) || !std::isfinite(point.cents)) continue;
        const std::uint32_t tick = map.tickAt(point.seconds);
        if (tick < static_cast<std::uint32_t>(bent.span.startTick)) continue;
        if (tick >= static_cast<std::uint32_t>(bent.span.endTick)) break;
        points.push_back({tick, map.secondsAt(tick), static_cast<double>(point.cents)});
    }
    return points;
}

bool hasBend(const std::vector<Point>& points) {
    return std::any_of(points.begin(), points.end(),
                       [](const Point& p) { return std::abs(p.cents) > kLeastChangeCents; });
}

// Channels in start order: the lowest free one; with none free, the one
// whose notes end first, among those without a bent note sounding if any.
std::vector<Placement> placeNotes(const std::vector<BentSpan>& spans, const TempoMap& map,
                                  std::array<Channel, kChannels.size()>& channels) {
    std::vector<Placement> placements(spans.size());
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const NoteSpan& span = spans[i].span;
        Placement& placement = placements[i];
        placement.points = pointsInside(spans[i], map);
        const bool wantsBend = hasBend(placement.points);
        int chosen = -1;
        for (std::size_t c = 0; c < channels.size() && chosen < 0; ++c) {
            if (channels[c].busyUntil <= span.startTick) chosen = static_cast<int>(c);
        }
        if (chosen >= 0) {
            placement.bent = wantsBend;
        } else {
            int plain = -1;
            int any = 0;
            for (std::size_t c = 0; c < channels.size(); ++c) {
                const Channel& channel = channels[c];
                if (channel.busyUntil < channels[static_cast<std::size_t>(any)].busyUntil) any = static_cast<int>(c);
                if (channel.bentUntil <= span.startTick &&
                    (plain < 0 || channel.busyUntil < channels[static_cast<std::size_t>(plain)].busyUntil)) {
                    plain = static_cast<int>(c);
                }
            }
            chosen = plain >= 0 ? plain : any;
            placement.bent = false;
            placement.startBend = false;
        }
        placement.channel = chosen;
        Channel& channel = channels[static_cast<std::size_t>(chosen)];
        channel.used = true;
        channel.busyUntil = std::max<std::int64_t>(channel.busyUntil, span.endTick);
        if (placement.bent) channel.bentUntil = std::max<std::int64_t>(channel.bentUntil, span.endTick);
    }
    return placements;
}

int rangeFor(const std::vector<Placement>& placements) {
    double widest = 0.0;
    for (const Placement& placement : placements) {
        if (!placement.bent) continue;
        for (const Point& point : placement.points) widest = std::max(widest, std::abs(point.cents));
    }
    const int needed = static_cast<int>(std::ceil((widest - kRangeSlackCents) / 100.0));
    return std::clamp(needed, kDefaultRange, kWidestRange);
}

void declareRange(std::vector<Pending>& events, int channel, int range) {
    const auto status = static_cast<std::uint8_t>(kControlChange | channel);
    const std::uint8_t declarations[][2] = {
        {101, 0}, {100, 0}, {6, static_cast<std::uint8_t>(range)}, {38, 0}, {101, 127}, {100, 127}};
    for (const auto& [controller, value] : declarations) {
        events.push_back({{0, status, controller, value}, Order::Setup});
    }
}

}  // namespace

bool buildBentNoteTrack(SongTrack& track, const std::vector<BentSpan>& spans, const TempoMap& map) {
    clearNoteTrack(track);
    if (spans.empty()) return true;
    try {
        std::array<Channel, kChannels.size()> channels{};
        const std::vector<Placement> placements = placeNotes(spans, map, channels);
        const int range = rangeFor(placements);

        std::vector<Pending> events;
        for (std::size_t c = 0; c < channels.size(); ++c) {
            if (channels[c].used) declareRange(events, kChannels[c], range);
        }
        for (std::size_t i = 0; i < spans.size(); ++i) {
            const NoteSpan& span = spans[i].span;
            const Placement& placement = placements[i];
            Channel& channel = channels[static_cast<std::size_t>(placement.channel)];
            const auto start = static_cast<std::uint32_t>(span.startTick);
            const auto end = static_cast<std::uint32_t>(span.endTick);
            const std::uint8_t number = kChannels[static_cast<std::size_t>(placement.channel)];
            if (placement.startBend) {
                const double startSeconds = map.secondsAt(start);
                const double offset = placement.bent && !placement.points.empty() ? placement.points.front().cents : 0.0;
                // The previous note's last bends must not crowd this one.
                for (std::size_t at : channel.recentBends) {
                    const double seconds = map.secondsAt(events[at].event.time);
                    if (startSeconds - seconds < kLeastGapSeconds) events[at].dropped = true;
                }
                channel.recentBends.clear();
                events.push_back({bendEvent(start, placement.channel, offset, range), Order::StartBend});
                channel.lastBendSeconds = startSeconds;
                channel.lastCents = offset;
            }
            events.push_back({{start, static_cast<std::uint8_t>(kNoteOn | number), span.note, span.velocity},
                              Order::NoteOn});
            if (placement.bent) {
                for (const Point& point : placement.points) {
                    if (point.tick >= end) break;
                    if (std::abs(point.cents - channel.lastCents) <= kLeastChangeCents) continue;
                    if (point.seconds - channel.lastBendSeconds < kLeastGapSeconds) continue;
                    channel.recentBends.push_back(events.size());
                    events.push_back({bendEvent(point.tick, placement.channel, point.cents, range), Order::Bend});
                    channel.lastBendSeconds = point.seconds;
                    channel.lastCents = point.cents;
                }
            }
            // A note ends with a note-on of velocity 0, as the song is streamed.
            events.push_back({{end, static_cast<std::uint8_t>(kNoteOn | number), span.note, 0}, Order::Ending});
        }

        std::stable_sort(events.begin(), events.end(), [](const Pending& a, const Pending& b) {
            if (a.event.time != b.event.time) return a.event.time < b.event.time;
            return static_cast<int>(a.order) < static_cast<int>(b.order);
        });
        const auto kept = static_cast<std::size_t>(
            std::count_if(events.begin(), events.end(), [](const Pending& p) { return !p.dropped; }));
        if (kept > std::numeric_limits<std::uint32_t>::max()) return false;
        std::unique_ptr<MidiEvent[]> written(new (std::nothrow) MidiEvent[kept]);
        if (!written) return false;
        std::size_t n = 0;
        for (const Pending& pending : events) {
            if (!pending.dropped) written[n++] = pending.event;
        }
        track.events = std::move(written);
        track.eventCount = static_cast<std::uint32_t>(kept);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace selvik
