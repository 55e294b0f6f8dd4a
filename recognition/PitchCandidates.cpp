#include "recognition/PitchCandidates.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "recognition/MelodyFrames.h"
#include "signal/Complex.h"
#include "signal/Fft.h"

namespace selvik::melody {

namespace {

// Integration window: 23 ms holds one and a half periods of the lowest note
// and still follows fast passages.
constexpr std::int32_t kWindow = 1024;
constexpr std::int32_t kTransform = 2048;
// Lags of 60 Hz (below C2) to 2300 Hz (above C7).
constexpr std::int32_t kMaxLag = kSampleRate / 60;
constexpr std::int32_t kMinLag = kSampleRate / 2300;
static_assert(kWindow + kMaxLag + 1 <= kTransform, "linear, not circular, correlation");

constexpr int kThresholds = 100;
// pYIN's weight for a frame whose troughs all lie above a threshold: the
// lowest trough still gets a small share, so that breathy notes stay voiced.
constexpr double kAbsoluteMinimumShare = 0.01;

// Beta(2, 11.33) weights (mean 0.15) of the thresholds 0.01, 0.02, ..., 1.00,
// summing to 1, and their running sums.
struct ThresholdPrior {
    std::array<double, kThresholds> cumulative{};  // cumulative[i]: weights of thresholds 0..i
    ThresholdPrior() {
        constexpr double a = 2.0;
        constexpr double b = 34.0 / 3.0;
        std::array<double, kThresholds> weight{};
        double total = 0.0;
        for (int i = 0; i < kThresholds; ++i) {
            const double s = (i + 1) / 100.0;
            weight[static_cast<std::size_t>(i)] =
                s >= 1.0 ? 0.0 : std::pow(s, a - 1.0) * std::pow(1.0 - s, b - 1.0);
            total += weight[static_cast<std::size_t>(i)];
        }
        double running = 0.0;
        for (int i = 0; i < kThresholds; ++i) {
            running += weight[static_cast<std::size_t>(i)] / total;
            cumulative[static_cast<std::size_t>(i)] = running;
        }
    }
    // Total weight of the thresholds s with s > value (as pYIN's strict "below").
    double above(double value) const {
        // Thresholds are (i + 1) / 100; the first one above value:
        const int first = static_cast<int>(std::floor(value * 100.0 + 1e-9));  // index of threshold > value
        if (first <= 0) return 1.0;
        if (first >= kThresholds) return 0.0;
        return 1.0 - cumulative[static_cast<std::size_t>(first - 1)];
    }
};

const ThresholdPrior& thresholdPrior() {
    static const ThresholdPrior prior;
    return prior;
}

struct Trough {
    double lag;
    double value;
};

float lagToMidi(double lag) {
    const double hz = static_cast<double>(kSampleRate) / lag;
    return static_cast<float>(69.0 + 12.0 * std::log2(hz / 440.0));
}

}  // namespace

std::vector<PitchFrame> estimatePitchCandidates(const Signal& signal) {
    const std::int32_t count = signal.count();
    const std::int32_t frames = frameCount(count);
    std::vector<PitchFrame> result(static_cast<std::size_t>(frames));
    if (frames == 0 || signal.samples() == nullptr) return result;
    const float* x = signal.samples();

    // Running sums of squares, in double, so that window energies cost two reads.
    std::vector<double> squares(static_cast<std::size_t>(count) + 1, 0.0);
    for (std::int32_t i = 0; i < count; ++i) {
        const double v = x[i];
        squares[static_cast<std::size_t>(i) + 1] = squares[static_cast<std::size_t>(i)] + v * v;
    }
    auto energy = [&](std::int64_t from, std::int64_t length) {
        const std::int64_t a = std::clamp<std::int64_t>(from, 0, count);
        const std::int64_t b = std::clamp<std::int64_t>(from + length, 0, count);
        return squares[static_cast<std::size_t>(b)] - squares[static_cast<std::size_t>(a)];
    };

    std::vector<float> head(kTransform), span(kTransform);
    std::vector<Complex> headSpectrum(kTransform), spanSpectrum(kTransform);
    std::vector<double> cmnd(static_cast<std::size_t>(kMaxLag) + 2);
    std::vector<Trough> troughs;
    const ThresholdPrior& prior = thresholdPrior();

    for (std::int32_t t = 0; t < frames; ++t) {
        PitchFrame& frame = result[static_cast<std::size_t>(t)];
        const std::int64_t start = static_cast<std::int64_t>(t) * kHop - kWindow / 2;
        const double e0 = energy(start, kWindow);
        frame.levelDb = static_cast<float>(10.0 * std::log10(e0 / kWindow + 1e-20));
        if (e0 <= 1e-12) continue;  // digital silence: no candidates

        for (std::int32_t j = 0; j < kTransform; ++j) {
            const std::int64_t i = start + j;
            const float v = (i >= 0 && i < count) ? x[i] : 0.0f;
            span[static_cast<std::size_t>(j)] = j < kWindow + kMaxLag + 1 ? v : 0.0f;
            head[static_cast<std::size_t>(j)] = j < kWindow ? v : 0.0f;
        }
        const float* inputs[2] = {head.data(), span.data()};
        Complex* outputs[2] = {headSpectrum.data(), spanSpectrum.data()};
        fftRealMany(inputs, outputs, 2, kTransform);
        // r(lag) = sum head[j] span[j + lag] is the inverse transform of
        // conj(H) S; the inverse is taken as the forward transform of its
        // conjugate H conj(S), whose real part is what is needed.
        for (std::int32_t k = 0; k < kTransform; ++k) {
            const Complex h = headSpectrum[static_cast<std::size_t>(k)];
            const Complex s = spanSpectrum[static_cast<std::size_t>(k)];
            headSpectrum[static_cast<std::size_t>(k)] = Complex{h.re * s.re + h.im * s.im, h.im * s.re - h.re * s.im};
        }
        fft(headSpectrum.data(), kTransform);

        // Cumulative-mean-normalised difference d'(lag) for lag 1..kMaxLag+1.
        double running = 0.0;
        cmnd[0] = 1.0;
        for (std::int32_t lag = 1; lag <= kMaxLag + 1; ++lag) {
            const double r = static_cast<double>(headSpectrum[static_cast<std::size_t>(lag)].re) / kTransform;
            const double d = std::max(0.0, e0 + energy(start + lag, kWindow) - 2.0 * r);
            running += d;
            cmnd[static_cast<std::size_t>(lag)] = running > 0.0 ? d * lag / running : 1.0;
        }

        troughs.clear();
        for (std::int32_t lag = std::max(kMinLag, 2); lag <= kMaxLag; ++lag) {
            const double here = cmnd[static_cast<std::size_t>(lag)];
            const double before = cmnd[static_cast<std::size_t>(lag) - 1];
            const double after = cmnd[static_cast<std::size_t>(lag) + 1];
            if (here < 1.0 && here < before && here <= after) {
                // Parabola through the three points: its vertex refines lag and value.
                const double curvature = before - 2.0 * here + after;
                double shift = curvature > 0.0 ? 0.5 * (before - after) / curvature : 0.0;
                shift = std::clamp(shift, -0.5, 0.5);
                const double value = std::max(0.0, here - 0.25 * (before - after) * shift);
                troughs.push_back({lag + shift, value});
            }
        }
        if (troughs.empty()) continue;

        // A trough is YIN's answer for the thresholds above its value that no
        // earlier trough already reaches.
        std::array<double, 128> share{};
        const std::size_t used = std::min<std::size_t>(troughs.size(), share.size());
        double earliestMinimum = 2.0;
        std::size_t lowest = 0;
        double picked = 0.0;
        for (std::size_t k = 0; k < used; ++k) {
            const double v = troughs[k].value;
            if (v < earliestMinimum) {
                share[k] = prior.above(v) - prior.above(earliestMinimum);
                earliestMinimum = v;
                picked += share[k];
            }
            if (v < troughs[lowest].value) lowest = k;
        }
        share[lowest] += (1.0 - picked) * kAbsoluteMinimumShare;

        // Keep the most likely few.
        for (std::size_t k = 0; k < used; ++k) {
            if (share[k] < 1e-4) continue;
            PitchCandidate candidate{lagToMidi(troughs[k].lag), static_cast<float>(share[k])};
            if (frame.candidateCount < PitchFrame::kMaxCandidates) {
                frame.candidates[static_cast<std::size_t>(frame.candidateCount++)] = candidate;
            } else {
                auto weakest = std::min_element(frame.candidates.begin(), frame.candidates.end(),
                    [](const PitchCandidate& a, const PitchCandidate& b) { return a.probability < b.probability; });
                if (weakest->probability < candidate.probability) *weakest = candidate;
            }
        }
    }
    return result;
}

}  // namespace selvik::melody
