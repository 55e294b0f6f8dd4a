#include "rhythm/TempoTracker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace selvik::rhythm {

namespace {

struct Window {
    std::size_t start;
    std::size_t length;
    std::vector<double> correlation;  // per lag from the shortest period
    std::vector<double> score;        // correlation (at least 0) times the prior
};

double median(std::vector<double> values) {
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    return values[middle];
}

void correlate(const std::vector<float>& values, Window& window, std::size_t shortest, std::size_t longest,
               const TempoSettings& settings) {
    std::vector<double> x(window.length);
    double mean = 0.0;
    for (std::size_t i = 0; i < window.length; ++i) mean += values[window.start + i];
    mean /= static_cast<double>(window.length);
    for (std::size_t i = 0; i < window.length; ++i) x[i] = values[window.start + i] - mean;
    // Running sums of squares give each lag's normalisation at once.
    std::vector<double> squares(window.length + 1, 0.0);
    for (std::size_t i = 0; i < window.length; ++i) squares[i + 1] = squares[i] + x[i] * x[i];
    const std::size_t lags = longest - shortest + 1;
    window.correlation.assign(lags, 0.0);
    window.score.assign(lags, 0.0);
    for (std::size_t l = shortest; l <= longest && l < window.length; ++l) {
        const std::size_t n = window.length - l;
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) sum += x[i] * x[i + l];
        const double norm = std::sqrt(squares[n] * (squares[window.length] - squares[l]));
        const double r = norm > 1e-12 ? sum / norm : 0.0;
        window.correlation[l - shortest] = r;
        window.score[l - shortest] = std::max(0.0, r) * tempoPrior(static_cast<double>(l), settings);
    }
}

// The lag of the peak at index i, refined between lags by a parabola.
double refinedLag(const std::vector<double>& score, std::size_t i, std::size_t shortest) {
    double lag = static_cast<double>(shortest + i);
    if (i > 0 && i + 1 < score.size()) {
        const double a = score[i - 1], b = score[i], c = score[i + 1];
        const double curvature = a - 2.0 * b + c;
        if (curvature < 0.0) lag += std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5);
    }
    return lag;
}

}  // namespace

double tempoPrior(double periodFrames, const TempoSettings& settings) {
    if (!(periodFrames > 0.0)) return 0.0;
    const double bpm = 60.0 * kFramesPerSecond / periodFrames;
    const double octaves = std::log2(bpm / settings.preferredBpm) / settings.spreadOctaves;
    return std::exp(-0.5 * octaves * octaves);
}

TempoPath followTempo(const OnsetEnvelope& envelope, const TempoSettings& settings) {
    TempoPath path;
    const std::vector<float>& values = envelope.values;
    const std::size_t frames = values.size();
    const auto shortest = static_cast<std::size_t>(std::floor(60.0 * kFramesPerSecond / settings.fastestBpm));
    const auto longest = static_cast<std::size_t>(std::ceil(60.0 * kFramesPerSecond / settings.slowestBpm));
    if (shortest < 2 || frames < 3 * shortest) return path;

    const auto windowFrames = static_cast<std::size_t>(settings.windowSeconds * kFramesPerSecond);
    const auto hopFrames = std::max<std::size_t>(1, static_cast<std::size_t>(settings.hopSeconds * kFramesPerSecond));
    std::vector<Window> windows;
    if (frames <= windowFrames) {
        windows.push_back({0, frames, {}, {}});
    } else {
        for (std::size_t start = 0; start + windowFrames <= frames; start += hopFrames) {
            windows.push_back({start, windowFrames, {}, {}});
        }
        if (windows.back().start + windowFrames < frames) windows.push_back({frames - windowFrames, windowFrames, {}, {}});
    }
    // At least two periods must fit a window.
    const std::size_t usableLongest = std::min(longest, windows.front().length / 2);
    if (usableLongest < shortest) return path;
    for (Window& window : windows) correlate(values, window, shortest, usableLongest, settings);

    // Viterbi over the windows: each window's scores scaled to 0..1, a
    // change of tempo costing changeCost per unit of |ln ratio|.
    const std::size_t lags = usableLongest - shortest + 1;
    std::vector<double> logLag(lags);
    for (std::size_t i = 0; i < lags; ++i) logLag[i] = std::log(static_cast<double>(shortest + i));
    std::vector<double> total(lags, 0.0), next(lags);
    std::vector<std::vector<std::uint16_t>> from(windows.size(), std::vector<std::uint16_t>(lags, 0));
    for (std::size_t w = 0; w < windows.size(); ++w) {
        const std::vector<double>& score = windows[w].score;
        const double top = *std::max_element(score.begin(), score.end());
        const double scale = top > 0.0 ? 1.0 / top : 0.0;
        for (std::size_t i = 0; i < lags; ++i) {
            double best = w == 0 ? 0.0 : -std::numeric_limits<double>::infinity();
            std::uint16_t bestFrom = static_cast<std::uint16_t>(i);
            if (w > 0) {
                for (std::size_t j = 0; j < lags; ++j) {
                    const double value = total[j] - settings.changeCost * std::abs(logLag[i] - logLag[j]);
                    if (value > best) {
                        best = value;
                        bestFrom = static_cast<std::uint16_t>(j);
                    }
                }
            }
            next[i] = best + score[i] * scale;
            from[w][i] = bestFrom;
        }
        total.swap(next);
    }
    std::vector<std::size_t> chosen(windows.size());
    chosen.back() = static_cast<std::size_t>(std::max_element(total.begin(), total.end()) - total.begin());
    for (std::size_t w = windows.size() - 1; w > 0; --w) chosen[w - 1] = from[w][chosen[w]];

    std::vector<double> periods(windows.size());
    double clarity = 0.0;
    for (std::size_t w = 0; w < windows.size(); ++w) {
        periods[w] = refinedLag(windows[w].score, chosen[w], shortest);
        clarity += windows[w].correlation[chosen[w]];
    }
    path.clarity = clarity / static_cast<double>(windows.size());
    path.mainPeriod = median(periods);
    path.period.assign(frames, periods.front());
    // Each frame takes the window whose centre is nearest; the centres rise,
    // so the nearest one only moves on.
    auto centre = [&windows](std::size_t w) { return static_cast<double>(windows[w].start) + windows[w].length / 2.0; };
    std::size_t nearest = 0;
    for (std::size_t t = 0; t < frames; ++t) {
        const double here = static_cast<double>(t);
        while (nearest + 1 < windows.size() && std::abs(centre(nearest + 1) - here) <= std::abs(centre(nearest) - here)) {
            ++nearest;
        }
        path.period[t] = periods[nearest];
    }
    return path;
}

}  // namespace selvik::rhythm
