#include "rhythm/BeatPlacer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace selvik::rhythm {

namespace {

// An onset counts as clear from this share of the envelope's largest value.
constexpr double kClearOnset = 0.15;
constexpr std::int64_t kPeakReach = 2;

// The envelope's peak within kPeakReach frames of `frame`, refined between
// frames; the frame itself when there is none.
double onPeak(const std::vector<float>& o, std::int64_t frame) {
    const auto n = static_cast<std::int64_t>(o.size());
    std::int64_t best = frame;
    for (std::int64_t t = std::max<std::int64_t>(1, frame - kPeakReach); t <= std::min(n - 2, frame + kPeakReach); ++t) {
        if (o[static_cast<std::size_t>(t)] > o[static_cast<std::size_t>(best)]) best = t;
    }
    if (best <= 0 || best >= n - 1) return static_cast<double>(frame);
    const double a = o[static_cast<std::size_t>(best - 1)], b = o[static_cast<std::size_t>(best)],
                 c = o[static_cast<std::size_t>(best + 1)];
    if (!(b > 0.0) || b < a || b < c) return static_cast<double>(frame);
    const double curvature = a - 2.0 * b + c;
    const double shift = curvature < 0.0 ? std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5) : 0.0;
    return static_cast<double>(best) + shift;
}

}  // namespace

std::vector<double> placeBeats(const OnsetEnvelope& envelope, const std::vector<double>& period,
                               const BeatSettings& settings) {
    const std::vector<float>& o = envelope.values;
    const auto frames = static_cast<std::int64_t>(o.size());
    std::vector<double> beats;
    if (frames == 0 || period.size() != o.size()) return beats;
    const float top = *std::max_element(o.begin(), o.end());
    if (!(top > 0.0f)) return beats;

    std::vector<double> score(o.size());
    std::vector<std::int64_t> back(o.size(), -1);
    std::vector<double> cost;  // per interval, for the period it was made for
    double costPeriod = -1.0;
    for (std::int64_t t = 0; t < frames; ++t) {
        const double p = period[static_cast<std::size_t>(t)];
        const auto longest = static_cast<std::int64_t>(std::lround(2.0 * p));
        const auto shortest = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::lround(0.5 * p)));
        if (p != costPeriod) {
            cost.assign(static_cast<std::size_t>(longest + 1), 0.0);
            for (std::int64_t d = 1; d <= longest; ++d) {
                const double ratio = std::log(static_cast<double>(d) / p);
                cost[static_cast<std::size_t>(d)] = settings.tightness * ratio * ratio;
            }
            costPeriod = p;
        }
        // A chain may start anywhere: 0 stands for no beat before.
        double best = 0.0;
        std::int64_t from = -1;
        for (std::int64_t d = shortest; d <= longest && d <= t; ++d) {
            const double value = score[static_cast<std::size_t>(t - d)] - cost[static_cast<std::size_t>(d)];
            if (value > best) {
                best = value;
                from = t - d;
            }
        }
        score[static_cast<std::size_t>(t)] = o[static_cast<std::size_t>(t)] + best;
        back[static_cast<std::size_t>(t)] = from;
    }

    // The last beat: the best-scoring frame within the last period.
    const auto lastPeriod = static_cast<std::int64_t>(std::lround(period.back()));
    std::int64_t last = frames - 1;
    for (std::int64_t t = std::max<std::int64_t>(0, frames - lastPeriod); t < frames; ++t) {
        if (score[static_cast<std::size_t>(t)] > score[static_cast<std::size_t>(last)]) last = t;
    }
    std::vector<std::int64_t> chain;
    for (std::int64_t t = last; t >= 0; t = back[static_cast<std::size_t>(t)]) chain.push_back(t);
    std::reverse(chain.begin(), chain.end());

    // Only the beats between the first and the last clear onset, give or
    // take a quarter of a period, belong to the music.
    std::int64_t firstOnset = 0, lastOnset = frames - 1;
    while (firstOnset < frames && o[static_cast<std::size_t>(firstOnset)] < kClearOnset * top) ++firstOnset;
    while (lastOnset > 0 && o[static_cast<std::size_t>(lastOnset)] < kClearOnset * top) --lastOnset;
    for (std::int64_t t : chain) {
        const double reach = 0.25 * period[static_cast<std::size_t>(t)];
        if (t < firstOnset - reach || t > lastOnset + reach) continue;
        beats.push_back(onPeak(o, t));
    }
    // Refinement never reorders beats half a period apart, but keep them rising.
    for (std::size_t i = 1; i < beats.size(); ++i) beats[i] = std::max(beats[i], beats[i - 1] + 1e-3);
    return beats;
}

std::vector<double> evenBeats(const std::vector<double>& beats, const std::vector<double>& period) {
    std::vector<double> even;
    if (beats.empty() || period.empty()) return beats;
    auto periodAt = [&period](double frame) {
        return period[static_cast<std::size_t>(std::clamp(std::lround(frame), 0L, static_cast<long>(period.size()) - 1))];
    };
    even.push_back(beats.front());
    for (std::size_t i = 1; i < beats.size(); ++i) {
        const double gap = beats[i] - even.back();
        const double p = periodAt(0.5 * (beats[i] + even.back()));
        const double ratio = gap / p;
        if (ratio < 0.6) continue;
        const auto missing = static_cast<int>(std::lround(ratio)) - 1;
        if (ratio >= 1.6) {
            const double start = even.back();
            for (int k = 1; k <= missing; ++k) even.push_back(start + gap * k / (missing + 1));
        }
        even.push_back(beats[i]);
    }
    return even;
}

std::vector<double> periodsOfBeats(const std::vector<double>& beats, const std::vector<double>& period,
                                   double reachSeconds) {
    std::vector<double> refined = period;
    if (beats.size() < 3) return refined;
    // Each interval, at the frame between its beats, if it is close to the period there.
    std::vector<std::pair<double, double>> intervals;
    for (std::size_t i = 1; i < beats.size(); ++i) {
        const double middle = 0.5 * (beats[i] + beats[i - 1]);
        const auto frame = static_cast<std::size_t>(std::clamp(std::lround(middle), 0L, static_cast<long>(period.size()) - 1));
        const double interval = beats[i] - beats[i - 1];
        const double ratio = interval / period[frame];
        if (ratio > 0.75 && ratio < 1.33) intervals.push_back({middle, interval});
    }
    const double reach = reachSeconds * kFramesPerSecond;
    std::vector<double> near;
    std::size_t first = 0;
    for (std::size_t t = 0; t < refined.size(); ++t) {
        while (first < intervals.size() && intervals[first].first < static_cast<double>(t) - reach) ++first;
        near.clear();
        for (std::size_t i = first; i < intervals.size() && intervals[i].first <= static_cast<double>(t) + reach; ++i) {
            near.push_back(intervals[i].second);
        }
        if (near.size() < 2) continue;
        std::nth_element(near.begin(), near.begin() + static_cast<std::ptrdiff_t>(near.size() / 2), near.end());
        refined[t] = near[near.size() / 2];
    }
    return refined;
}

}  // namespace selvik::rhythm
