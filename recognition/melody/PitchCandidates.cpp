#include "recognition/melody/PitchCandidates.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "recognition/melody/MelodyFrames.h"
#include "signal/Complex.h"
#include "signal/Fft.h"

namespace selvik::melody {

namespace {

// The estimator works at half the sample rate: the highest fundamental
// (C7, 2093 Hz) is still a lag of ten samples, which parabolic interpolation
// refines to a few cents, and every transform is half as long.
constexpr std::int32_t kDecimation = 2;
constexpr std::int32_t kRate = kSampleRate / kDecimation;
constexpr std::int32_t kStep = kHop / kDecimation;
// Integration window: 23 ms holds one and a half periods of the lowest note
// and still follows fast passages.
constexpr std::int32_t kWindow = 512;
constexpr std::int32_t kTransform = 1024;
// Lags of 60 Hz (below C2) to 2300 Hz (above C7).
constexpr std::int32_t kMaxLag = kRate / 60;
constexpr std::int32_t kMinLag = kRate / 2300;
// Half-band low-pass before the decimation: windowed sinc, odd length.
constexpr std::int32_t kTaps = 31;
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
    const double hz = static_cast<double>(kRate) / lag;
    return static_cast<float>(69.0 + 12.0 * std::log2(hz / 440.0));
}

// Samples first .. end - 1 of every second sample of the low-passed signal
// (whose length is count / 2 rounded up), into out[0 .. end - first). Each
// value depends only on its index, so the signal may be decimated a stretch
// at a time.
void decimateRange(const float* x, std::int32_t count, std::int64_t first, std::int64_t end, float* out) {
    static const std::array<float, kTaps> taps = [] {
        std::array<float, kTaps> h{};
        constexpr double kPi = 3.141592653589793;
        double sum = 0.0;
        for (std::int32_t k = 0; k < kTaps; ++k) {
            const double m = k - (kTaps - 1) / 2;
            const double sinc = m == 0 ? 1.0 : std::sin(kPi * m / kDecimation) / (kPi * m / kDecimation);
            const double window = 0.42 - 0.5 * std::cos(2 * kPi * k / (kTaps - 1)) + 0.08 * std::cos(4 * kPi * k / (kTaps - 1));
            h[static_cast<std::size_t>(k)] = static_cast<float>(sinc * window);
            sum += sinc * window;
        }
        for (float& v : h) v = static_cast<float>(v / sum);
        return h;
    }();
    constexpr std::int32_t half = (kTaps - 1) / 2;
    for (std::int64_t n = first; n < end; ++n) {
        const auto centre = static_cast<std::int32_t>(n) * kDecimation;
        float acc = 0.0f;
        if (centre >= half && centre + half < count) {
            for (std::int32_t k = 0; k < kTaps; ++k) acc += taps[static_cast<std::size_t>(k)] * x[centre - half + k];
        } else {
            for (std::int32_t k = 0; k < kTaps; ++k) {
                const std::int32_t i = centre - half + k;
                if (i >= 0 && i < count) acc += taps[static_cast<std::size_t>(k)] * x[i];
            }
        }
        out[n - first] = acc;
    }
}

// The decimated signal a stretch at a time, for frames that move forward:
// only the samples of the current stretch of frames are held, so the memory
// stays the same however long the recording is.
class DecimatedStretch {
public:
    static constexpr std::int32_t kFramesPerStretch = 4096;

    DecimatedStretch(const float* x, std::int32_t count)
        : x_(x), count_(count), decimatedCount_((count + kDecimation - 1) / kDecimation) {}

    std::int64_t count() const { return decimatedCount_; }

    // The decimated samples from `start` on that frame t reads, its stretch
    // decimated first when t starts a new one. Indices below 0 or from
    // count() on are not valid samples; the caller passes over them.
    const float* samplesFrom(std::int32_t t, std::int64_t start) {
        if (t % kFramesPerStretch == 0 || buffer_.empty()) {
            first_ = start;
            const std::int64_t last = start + static_cast<std::int64_t>(kFramesPerStretch) * kStep + kTransform;
            const std::int64_t from = std::clamp<std::int64_t>(first_, 0, decimatedCount_);
            const std::int64_t to = std::clamp<std::int64_t>(last, 0, decimatedCount_);
            buffer_.assign(static_cast<std::size_t>(last - first_), 0.0f);
            if (to > from) decimateRange(x_, count_, from, to, buffer_.data() + (from - first_));
        }
        return buffer_.data() + (start - first_);
    }

private:
    const float* x_;
    std::int32_t count_;
    std::int64_t decimatedCount_;
    std::int64_t first_ = 0;
    std::vector<float> buffer_;
};

}  // namespace

std::vector<PitchFrame> estimatePitchCandidates(const Signal& signal) {
    const std::int32_t count = signal.count();
    const std::int32_t frames = frameCount(count);
    std::vector<PitchFrame> result(static_cast<std::size_t>(frames));
    if (frames == 0 || signal.samples() == nullptr) return result;
    DecimatedStretch decimated(signal.samples(), count);
    const std::int64_t decimatedCount = decimated.count();

    // Both real sequences of a frame travel in one complex transform: the
    // window as the real part, the longer span as the imaginary part.
    std::vector<Complex> packed(kTransform), product(kTransform);
    std::vector<float> span(kTransform);
    std::vector<double> cmnd(static_cast<std::size_t>(kMaxLag) + 2);
    std::vector<Trough> troughs;
    const ThresholdPrior& prior = thresholdPrior();

    for (std::int32_t t = 0; t < frames; ++t) {
        PitchFrame& frame = result[static_cast<std::size_t>(t)];
        const std::int64_t start = static_cast<std::int64_t>(t) * kStep - kWindow / 2;
        const float* x = decimated.samplesFrom(t, start);
        for (std::int32_t j = 0; j < kTransform; ++j) {
            const std::int64_t i = start + j;
            const float v = (j < kWindow + kMaxLag + 1 && i >= 0 && i < decimatedCount) ? x[j] : 0.0f;
            packed[static_cast<std::size_t>(j)] = Complex{j < kWindow ? v : 0.0f, v};
            span[static_cast<std::size_t>(j)] = v;
        }
        // Energies of the window shifted by each lag, slid along in double.
        double e0 = 0.0;
        for (std::int32_t j = 0; j < kWindow; ++j) {
            const double v = packed[static_cast<std::size_t>(j)].im;
            e0 += v * v;
        }
        frame.levelDb = static_cast<float>(10.0 * std::log10(e0 / kWindow + 1e-20));
        if (e0 <= 1e-12) continue;  // digital silence: no candidates
        fft(packed.data(), kTransform);
        // With Z the packed transform, H[k] = (Z[k] + conj Z[-k]) / 2 and
        // S[k] = (Z[k] - conj Z[-k]) / 2i. r(lag) = sum head[j] span[j + lag]
        // is the inverse transform of conj(H) S; the inverse is taken as the
        // forward transform of its conjugate H conj(S), whose real part is
        // what is needed.
        for (std::int32_t k = 0; k < kTransform; ++k) {
            const Complex z = packed[static_cast<std::size_t>(k)];
            const Complex w = packed[static_cast<std::size_t>((kTransform - k) % kTransform)];
            const float hRe = 0.5f * (z.re + w.re), hIm = 0.5f * (z.im - w.im);
            const float sRe = 0.5f * (z.im + w.im), sIm = -0.5f * (z.re - w.re);
            product[static_cast<std::size_t>(k)] = Complex{hRe * sRe + hIm * sIm, hIm * sRe - hRe * sIm};
        }
        fft(product.data(), kTransform);

        // Cumulative-mean-normalised difference d'(lag) for lag 1..kMaxLag+1.
        double running = 0.0;
        double shifted = e0;
        cmnd[0] = 1.0;
        for (std::int32_t lag = 1; lag <= kMaxLag + 1; ++lag) {
            const double leaving = span[static_cast<std::size_t>(lag) - 1];
            const double entering = span[static_cast<std::size_t>(lag + kWindow) - 1];
            shifted += entering * entering - leaving * leaving;
            const double r = static_cast<double>(product[static_cast<std::size_t>(lag)].re) / kTransform;
            const double d = std::max(0.0, e0 + shifted - 2.0 * r);
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
