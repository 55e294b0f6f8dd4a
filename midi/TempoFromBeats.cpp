#include "midi/TempoFromBeats.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace selvik {

namespace {

// A tempo that moves by more than this share, the same way, for two beats is a new tempo.
constexpr double kTempoTolerance = 0.03;

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
                starts.push_back(j);
                sum = periods[j];
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
    // it, so that each stretch ends exactly on its beat.
    auto secondsAfter = [division](double from, std::uint32_t ticks, double tempo) {
        return from + ticks / (division * tempo / 60.0);
    };
    const double downbeat = beats[first];
    std::uint32_t tick = 0;
    double seconds = 0.0;
    const double tickSeconds = 60.0 / (mainTempo * division);
    const bool leadIn = downbeat >= 0.5 * tickSeconds;
    if (leadIn) {
        const double barSeconds = barTicks * tickSeconds;
        const auto bars = static_cast<std::uint32_t>(std::max(1.0, std::round(downbeat / barSeconds)));
        tick = bars * barTicks;
        result.tempo = 60.0 * tick / (division * downbeat);
        seconds = secondsAfter(0.0, tick, result.tempo);
    }

    const std::vector<std::size_t> starts = stretchStarts(periods);
    const std::size_t lastAnchor = periods.size();
    for (std::size_t s = 0; s < starts.size(); ++s) {
        const std::size_t from = starts[s];
        const std::size_t to = s + 1 < starts.size() ? starts[s + 1] : lastAnchor;
        const auto ticks = static_cast<std::uint32_t>(to - from) * beatTicks;
        const double tempo = 60.0 * ticks / (division * (beats[first + to] - seconds));
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
