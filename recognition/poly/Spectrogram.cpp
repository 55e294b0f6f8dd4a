#include "recognition/poly/Spectrogram.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "signal/Complex.h"
#include "signal/Fft.h"

namespace selvik::poly {

namespace {

constexpr int kLevels = 6;
constexpr int kWindow = 1024;
constexpr int kHalfWindow = kWindow / 2;
constexpr int kBatch = 8;  // frames transformed together (two AVX2 lane groups)
// The shortest window that still gives about 1.3 transform bins per semitone
// at a frequency f is 21.85 / f seconds; above this frequency the 23 ms window
// of level 0 is long enough.
constexpr double kLevelZeroLowestHz = 21.85 * kSampleRate / kWindow;
constexpr int kDecimationHalfTaps = 11;
constexpr double kPi = 3.14159265358979323846;

double binHz(double bin) {
    const double note = kFirstBinNote + bin / kBinsPerSemitone;
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// Which transforms feed which bins, with what weights: each bin sums the power
// of the transform bins under a triangle of its own width on the frequency
// axis (at least one transform bin wide, so a narrow bin interpolates).
struct Plan {
    std::array<float, kWindow> window{};
    std::array<float, 2 * kDecimationHalfTaps + 1> lowpass{};
    std::array<int, kSpectrogramBins> level{};
    std::array<int, kSpectrogramBins> first{};    // first transform bin
    std::array<int, kSpectrogramBins> offset{};   // into weights
    std::array<int, kSpectrogramBins> length{};
    std::vector<float> weights;
    std::array<int, kLevels> lowestBin{};   // range of transform bins a level needs
    std::array<int, kLevels> highestBin{};

    Plan() {
        for (int i = 0; i < kWindow; ++i) {
            window[static_cast<std::size_t>(i)] =
                static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * i / kWindow));
        }
        // Half-band windowed sinc (Blackman): flat far past the highest band a
        // level keeps (4 % of its rate) and more than 70 dB down above 37 %.
        double sum = 0.0;
        std::array<double, 2 * kDecimationHalfTaps + 1> taps{};
        for (int j = -kDecimationHalfTaps; j <= kDecimationHalfTaps; ++j) {
            const double x = 0.5 * j;
            const double sinc = j == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
            const double t = static_cast<double>(j + kDecimationHalfTaps) / (2 * kDecimationHalfTaps);
            const double blackman = 0.42 - 0.5 * std::cos(2.0 * kPi * t) + 0.08 * std::cos(4.0 * kPi * t);
            taps[static_cast<std::size_t>(j + kDecimationHalfTaps)] = sinc * blackman;
            sum += sinc * blackman;
        }
        for (std::size_t j = 0; j < taps.size(); ++j) lowpass[j] = static_cast<float>(taps[j] / sum);

        lowestBin.fill(kHalfWindow);
        highestBin.fill(-1);
        for (int b = 0; b < kSpectrogramBins; ++b) {
            const double hz = binHz(b);
            int l = static_cast<int>(std::ceil(std::log2(kLevelZeroLowestHz / hz)));
            l = std::clamp(l, 0, kLevels - 1);
            const double spacing = static_cast<double>(kSampleRate) / (1 << l) / kWindow;
            const double centre = hz / spacing;
            const double halfWidth = std::max(1.0, 0.5 * (binHz(b + 1) - binHz(b - 1)) / spacing);
            const int lo = std::max(0, static_cast<int>(std::ceil(centre - halfWidth)));
            const int hi = std::min(kHalfWindow, static_cast<int>(std::floor(centre + halfWidth)));
            level[static_cast<std::size_t>(b)] = l;
            first[static_cast<std::size_t>(b)] = lo;
            offset[static_cast<std::size_t>(b)] = static_cast<int>(weights.size());
            for (int k = lo; k <= hi; ++k) {
                weights.push_back(static_cast<float>(std::max(0.0, 1.0 - std::abs(k - centre) / halfWidth)));
            }
            length[static_cast<std::size_t>(b)] = static_cast<int>(weights.size()) - offset[static_cast<std::size_t>(b)];
            lowestBin[static_cast<std::size_t>(l)] = std::min(lowestBin[static_cast<std::size_t>(l)], lo);
            highestBin[static_cast<std::size_t>(l)] = std::max(highestBin[static_cast<std::size_t>(l)], hi);
        }
    }
};

const Plan& plan() {
    static const Plan instance;
    return instance;
}

// y[n] = sum_j h[j] x[2n + j]: the half-rate signal whose sample n sits at the
// time of x[2n], so every level stays aligned with the recording.
std::vector<float> decimate(const std::vector<float>& x, const Plan& p) {
    const std::int64_t n = static_cast<std::int64_t>(x.size());
    std::vector<float> y(static_cast<std::size_t>((n + 1) / 2));
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(y.size()); ++i) {
        const std::int64_t c = 2 * i;
        float acc = 0.0f;
        if (c >= kDecimationHalfTaps && c + kDecimationHalfTaps < n) {
            const float* s = x.data() + (c - kDecimationHalfTaps);
            for (int j = 0; j <= 2 * kDecimationHalfTaps; ++j) acc += p.lowpass[static_cast<std::size_t>(j)] * s[j];
        } else {
            for (int j = -kDecimationHalfTaps; j <= kDecimationHalfTaps; ++j) {
                const std::int64_t at = c + j;
                if (at >= 0 && at < n) {
                    acc += p.lowpass[static_cast<std::size_t>(j + kDecimationHalfTaps)] *
                           x[static_cast<std::size_t>(at)];
                }
            }
        }
        y[static_cast<std::size_t>(i)] = acc;
    }
    return y;
}

}  // namespace

Spectrogram computeSpectrogram(const float* samples, std::int64_t count,
                               bool (*frameDone)(void*, std::int64_t), void* context) {
    const Plan& p = plan();
    Spectrogram result;
    if (count < 0) count = 0;
    const std::int64_t frames = frameCountFor(count);

    std::array<std::vector<float>, kLevels> levels;
    levels[0].assign(samples, samples + count);
    for (int l = 1; l < kLevels; ++l) levels[static_cast<std::size_t>(l)] = decimate(levels[static_cast<std::size_t>(l - 1)], p);

    result.values.assign(static_cast<std::size_t>(frames * kSpectrogramBins), 0.0f);
    std::vector<float> input(static_cast<std::size_t>(kBatch * kWindow));
    std::vector<Complex> output(static_cast<std::size_t>(kBatch * kWindow));
    std::vector<float> power(static_cast<std::size_t>(kLevels * kBatch * (kHalfWindow + 1)));
    const float* inputs[kBatch];
    Complex* outputs[kBatch];
    for (int i = 0; i < kBatch; ++i) {
        inputs[i] = input.data() + i * kWindow;
        outputs[i] = output.data() + i * kWindow;
    }
    // Amplitude of a full-scale sinusoid at the centre of a transform bin.
    const double reference = 2.0 / kHalfWindow;
    const double powerToDb = 10.0;
    const double referenceDb = 20.0 * std::log10(reference);

    for (std::int64_t m0 = 0; m0 < frames; m0 += kBatch) {
        const int batch = static_cast<int>(std::min<std::int64_t>(kBatch, frames - m0));
        for (int l = 0; l < kLevels; ++l) {
            const std::vector<float>& x = levels[static_cast<std::size_t>(l)];
            const std::int64_t n = static_cast<std::int64_t>(x.size());
            for (int i = 0; i < batch; ++i) {
                const std::int64_t start = ((m0 + i) * kHop >> l) - kHalfWindow;
                float* in = input.data() + i * kWindow;
                for (int j = 0; j < kWindow; ++j) {
                    const std::int64_t at = start + j;
                    in[j] = at >= 0 && at < n ? x[static_cast<std::size_t>(at)] * p.window[static_cast<std::size_t>(j)] : 0.0f;
                }
            }
            fftRealMany(inputs, outputs, batch, kWindow);
            for (int i = 0; i < batch; ++i) {
                float* pw = power.data() + (static_cast<std::size_t>(l) * kBatch + static_cast<std::size_t>(i)) * (kHalfWindow + 1);
                const Complex* X = outputs[i];
                for (int k = p.lowestBin[static_cast<std::size_t>(l)]; k <= p.highestBin[static_cast<std::size_t>(l)]; ++k) {
                    pw[k] = X[k].re * X[k].re + X[k].im * X[k].im;
                }
            }
        }
        for (int i = 0; i < batch; ++i) {
            float* row = result.values.data() + (m0 + i) * kSpectrogramBins;
            for (int b = 0; b < kSpectrogramBins; ++b) {
                const std::size_t bb = static_cast<std::size_t>(b);
                const float* pw = power.data() + (static_cast<std::size_t>(p.level[bb]) * kBatch + static_cast<std::size_t>(i)) * (kHalfWindow + 1) + p.first[bb];
                const float* w = p.weights.data() + p.offset[bb];
                double sum = 0.0;
                for (int k = 0; k < p.length[bb]; ++k) sum += static_cast<double>(w[k]) * pw[k];
                const double db = sum > 0.0 ? powerToDb * std::log10(sum) + referenceDb : -1000.0;
                row[b] = static_cast<float>(std::max(0.0, 1.0 + db / 80.0));
            }
        }
        if (frameDone != nullptr && ((m0 / kBatch) % 64 == 63 || m0 + batch == frames)) {
            if (!frameDone(context, m0 + batch)) return Spectrogram{};
        }
    }
    result.frames = frames;
    return result;
}

}  // namespace selvik::poly
