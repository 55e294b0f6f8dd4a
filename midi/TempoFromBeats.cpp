#include "midi/TempoFromBeats.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

namespace selvik {

namespace {

// A tempo that moves by more than this share, the same way, for two beats is a new tempo.
constexpr double kTempoTolerance = 0.03;
// A beat further than this share of a beat from its stretch's line is left
// out of the line's fit.
constexpr double kOffTheLine = 0.15;

double median(std::vector<double> values) {
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    return values[middle];
}

// The anchors (indices of beats from the first downbeat on) at which a new
// tempo starts; the first is 0.
std::vector<std::size_t> stretchStarts(const std::vector<double>& periods) {
    std::vector<std::size_t> starts{0};
    double sum = periods[0];
    std::size_t counted = 1;
    for (std::size_t j = 1; j < periods.size(); ++j) {
        const double mean = sum / static_cast<double>(counted);
        const double deviation = periods[j] / mean - 1.0;
        if (std::abs(deviation) > kTempoTolerance && j + 1 < periods.size()) {
            const double next = periods[j + 1] / mean - 1.0;
            if (std::abs(next) > kTempoTolerance && (next > 0.0) == (deviation > 0.0)) {
                // The new tempo is that of the beats that follow: the middle
                // of the next three periods. A first period that is neither
                // the old tempo nor the new one holds a beat placed between
                // them: the new tempo starts after it.
                std::vector<double> following(periods.begin() + static_cast<std::ptrdiff_t>(j),
                                              periods.begin() + static_cast<std::ptrdiff_t>(std::min(j + 3, periods.size())));
                const double newPeriod = median(following);
                const bool between = std::abs(periods[j] / newPeriod - 1.0) > kTempoTolerance;
                if (between) ++j;
                starts.push_back(j);
                sum = newPeriod;
                counted = 1;
                continue;
            }
        }
        // A single beat off the pulse is a wobble of the beat, not of the
        // tempo: it does not move the mean.
        if (std::abs(deviation) <= kTempoTolerance) {
            sum += periods[j];
            ++counted;
        }
    }
    return starts;
}

// The seconds per beat of a stretch of beats that starts at `start` seconds
// (the time the grid gives its first beat): the least-squares slope through
// the beats, with beats more than 15 % of a beat off the line left out and
// the line fitted again. With `start` empty the line's start is fitted too
// and returned through it.
double beatSeconds(const double* beats, std::size_t count, std::optional<double>& start) {
    std::vector<bool> used(count, true);
    double slope = (beats[count - 1] - beats[0]) / static_cast<double>(count - 1);
    double origin = start ? *start : beats[0];
    for (int round = 0; round < 3; ++round) {
        double n = 0, sk = 0, st = 0, skk = 0, skt = 0;
        for (std::size_t k = 0; k < count; ++k) {
            if (!used[k]) continue;
            const double x = static_cast<double>(k);
            n += 1;
            sk += x;
            st += beats[k];
            skk += x * x;
            skt += x * beats[k];
        }
        if (start) {
            // Through the fixed start: minimise the squares of t - start - slope * k.
            if (skk > 0.0) slope = (skt - *start * sk) / skk;
        } else if (n >= 2 && n * skk - sk * sk > 0.0) {
            slope = (n * skt - sk * st) / (n * skk - sk * sk);
            origin = (st - slope * sk) / n;
        }
        std::vector<bool> near(count);
        std::size_t kept = 0;
        for (std::size_t k = 0; k < count; ++k) {
            near[k] = std::abs(beats[k] - origin - slope * static_cast<double>(k)) <= kOffTheLine * slope;
            kept += near[k] ? 1 : 0;
        }
        // A line needs two beats besides a fixed start.
        if (kept < 2 || near == used) break;
        used = near;
    }
    if (!start) start = origin;
    return slope;
}

}  // namespace

SongTempo tempoFromBeats(const BeatGrid& grid, std::uint16_t division) {
    SongTempo result;
    if (division == 0) return result;
    const std::vector<double>& beats = grid.beats;
    const std::size_t first = grid.firstDownbeat;
    if (!grid.steady || first >= beats.size() || beats.size() - first < 2) return result;
    result.meter = grid.meter;

    const double quartersPerBeat = grid.meter.quartersPerBeat();
    const auto beatTicks = static_cast<std::uint32_t>(std::lround(division * quartersPerBeat));
    const std::uint32_t barTicks = beatTicks * static_cast<std::uint32_t>(std::max(1, grid.meter.beatsPerBar()));
    std::vector<double> periods;
    for (std::size_t i = first; i + 1 < beats.size(); ++i) periods.push_back(beats[i + 1] - beats[i]);
    if (!std::all_of(periods.begin(), periods.end(), [](double p) { return p > 0.0 && std::isfinite(p); })) {
        return result;
    }
    const double mainTempo = 60.0 * quartersPerBeat / median(periods);

    // The time of each point is carried as the song's tempo map will compute
    // it, so that each stretch starts where the one before it ends.
    auto secondsAfter = [division](double from, std::uint32_t ticks, double tempo) {
        return from + ticks / (division * tempo / 60.0);
    };
    // The beats before the first downbeat (an upbeat) lie on the grid too,
    // at the end of the bar before it, when there is time for that bar's
    // start before them; otherwise they share the time before the first
    // downbeat.
    const double tickSeconds = 60.0 / (mainTempo * division);
    const double barSeconds = barTicks * tickSeconds;
    std::size_t anchor = first;
    if (first > 0 && beats[0] >= 0.5 * tickSeconds) anchor = 0;
    const auto upbeatTicks = static_cast<std::uint32_t>(first - anchor) * beatTicks;
    const double upbeatSeconds = (first - anchor) * 60.0 * quartersPerBeat / mainTempo;
    for (std::size_t i = first; i > anchor; --i) periods.insert(periods.begin(), beats[i] - beats[i - 1]);
    const std::vector<std::size_t> starts = stretchStarts(periods);
    const std::size_t lastAnchor = periods.size();

    // The first stretch's line gives the time of its first beat, which the
    // segment before it leads to.
    std::optional<double> origin;
    {
        const std::size_t to = starts.size() > 1 ? starts[1] : lastAnchor;
        beatSeconds(beats.data() + anchor, to + 1, origin);
    }
    std::uint32_t tick = 0;
    double seconds = 0.0;
    if (beats[anchor] >= 0.5 * tickSeconds) {
        const double before = std::max(0.5 * tickSeconds, *origin);
        // Whole bars, as many as fit that time best, and room for the upbeat.
        const auto fewest = static_cast<double>(upbeatTicks / barTicks + 1);
        const auto bars = static_cast<std::uint32_t>(std::max(fewest, std::round((before + upbeatSeconds) / barSeconds)));
        tick = bars * barTicks - upbeatTicks;
        result.tempo = 60.0 * tick / (division * before);
        seconds = secondsAfter(0.0, tick, result.tempo);
    }
    for (std::size_t s = 0; s < starts.size(); ++s) {
        const std::size_t from = starts[s];
        const std::size_t to = s + 1 < starts.size() ? starts[s + 1] : lastAnchor;
        const auto ticks = static_cast<std::uint32_t>(to - from) * beatTicks;
        std::optional<double> start = seconds;
        const double perBeat = beatSeconds(beats.data() + anchor + from, to - from + 1, start);
        const double tempo = 60.0 * quartersPerBeat / perBeat;
        if (!(tempo > 0.0) || !std::isfinite(tempo)) break;
        if (tick == 0) {
            result.tempo = tempo;
        } else {
            result.changes.push_back({tick, tempo});
        }
        seconds = secondsAfter(seconds, ticks, tempo);
        tick += ticks;
    }
    return result;
}

}  // namespace selvik
