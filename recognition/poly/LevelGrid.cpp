#include "recognition/poly/LevelGrid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>

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

// Which transforms feed which bins, with what weights. A bin wider than a
// transform bin sums the power under a triangle of its own width on the
// frequency axis; a narrower one (the lower part of every octave band) lies
// between two transform bins k and k + 1 and is interpolated in dB: along a
// parabola through the peak and its neighbours when k or k + 1 is a local
// peak (the shape of a Hann window's main lobe, so a sinusoid lands on the bin
// of its frequency and not on a grid neighbour), else along a straight line.
struct Plan {
    std::array<float, kWindow> window{};
    std::array<float, 2 * kDecimationHalfTaps + 1> lowpass{};
    std::array<int, kLevelGridBins> level{};
    std::array<int, kLevelGridBins> first{};    // first transform bin
    std::array<int, kLevelGridBins> offset{};   // into weights; -1: parabola
    std::array<int, kLevelGridBins> length{};
    std::array<float, kLevelGridBins> delta{};  // interpolated: centre - (first + 1), 0 .. 1
    std::vector<float> weights;
    std::array<int, kLevels> lowestBin{};   // range of transform bins a level needs
    std::array<int, kLevels> highestBin{};
    std::array<int, kLevels> logLow{};      // and those whose log power interpolation reads
    std::array<int, kLevels> logHigh{};

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
        logLow.fill(kHalfWindow);
        logHigh.fill(-1);
        for (int b = 0; b < kLevelGridBins; ++b) {
            const std::size_t bb = static_cast<std::size_t>(b);
            const double hz = binHz(b);
            int l = static_cast<int>(std::ceil(std::log2(kLevelZeroLowestHz / hz)));
            l = std::clamp(l, 0, kLevels - 1);
            const double spacing = static_cast<double>(kSampleRate) / (1 << l) / kWindow;
            const double centre = hz / spacing;
            const double halfWidth = 0.5 * (binHz(b + 1) - binHz(b - 1)) / spacing;
            level[bb] = l;
            int lo, hi;
            if (halfWidth <= 1.0) {
                const int k = static_cast<int>(std::floor(centre));
                lo = k - 1;
                hi = k + 2;
                first[bb] = lo;
                offset[bb] = -1;
                length[bb] = 4;
                delta[bb] = static_cast<float>(centre - k);
                logLow[static_cast<std::size_t>(l)] = std::min(logLow[static_cast<std::size_t>(l)], lo);
                logHigh[static_cast<std::size_t>(l)] = std::max(logHigh[static_cast<std::size_t>(l)], hi);
            } else {
                lo = std::max(0, static_cast<int>(std::ceil(centre - halfWidth)));
                hi = std::min(kHalfWindow, static_cast<int>(std::floor(centre + halfWidth)));
                first[bb] = lo;
                offset[bb] = static_cast<int>(weights.size());
                for (int k = lo; k <= hi; ++k) {
                    weights.push_back(static_cast<float>(std::max(0.0, 1.0 - std::abs(k - centre) / halfWidth)));
                }
                length[bb] = static_cast<int>(weights.size()) - offset[bb];
            }
            lowestBin[static_cast<std::size_t>(l)] = std::min(lowestBin[static_cast<std::size_t>(l)], lo);
            highestBin[static_cast<std::size_t>(l)] = std::max(highestBin[static_cast<std::size_t>(l)], hi);
        }
    }
};

const Plan& plan() {
    static const Plan instance;
    return instance;
}

// Samples [first, first + values.size()) of one level of the recording;
// indices outside 0 .. length - 1 read as silence.
struct LevelSpan {
    std::int64_t first = 0;
    std::int64_t length = 0;  // the level's whole length
    const float* values = nullptr;
    std::size_t size = 0;

    float at(std::int64_t i) const {
        return i >= 0 && i < length ? values[static_cast<std::size_t>(i - first)] : 0.0f;
    }
};

// y[n] = sum_j h[j] x[2n + j] for n in [first, first + y.size()): the
// half-rate signal whose sample n sits at the time of x[2n], so every level
// stays aligned with the recording. The half-band filter is symmetric and
// every even tap but the centre is zero. Each sample is summed in the same
// order wherever a span starts, so spans give the values of the whole level.
void decimate(const LevelSpan& x, std::int64_t first, std::vector<float>& y, const Plan& p) {
    const float* h = p.lowpass.data() + kDecimationHalfTaps;
    const std::int64_t outLength = (x.length + 1) / 2;
    for (std::size_t k = 0; k < y.size(); ++k) {
        const std::int64_t i = first + static_cast<std::int64_t>(k);
        if (i < 0 || i >= outLength) {
            y[k] = 0.0f;
            continue;
        }
        const std::int64_t c = 2 * i;
        float acc = h[0] * x.at(c);
        for (int j = 1; j <= kDecimationHalfTaps; j += 2) acc += h[j] * (x.at(c + j) + x.at(c - j));
        y[k] = acc;
    }
}

// log2 of a positive normal float, within about 1e-7: the exponent, and
// log2 of the mantissa (scaled into 0.71 .. 1.41) from the series of
// atanh((m - 1) / (m + 1)).
float log2Of(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    int exponent = static_cast<int>((bits >> 23) & 0xffu) - 127;
    bits = (bits & 0x7fffffu) | 0x3f800000u;
    float m;
    std::memcpy(&m, &bits, sizeof m);
    if (m > 1.41421356f) {
        m *= 0.5f;
        ++exponent;
    }
    const float t = (m - 1.0f) / (m + 1.0f);
    const float t2 = t * t;
    const float series = t * (2.0f + t2 * (2.0f / 3.0f + t2 * (2.0f / 5.0f + t2 * (2.0f / 7.0f))));
    return static_cast<float>(exponent) + series * 1.44269504f;
}

}  // namespace

void computeLevelGridFrames(const float* samples, std::int64_t count, std::int64_t firstFrame,
                              std::int64_t frameCount, float* out) {
    const Plan& p = plan();
    if (count < 0) count = 0;
    const std::int64_t frames = frameCountFor(count);
    if (firstFrame < 0 || frameCount <= 0 || firstFrame >= frames) return;
    frameCount = std::min(frameCount, frames - firstFrame);

    // The samples of each level these frames read, and those the next level
    // down needs to make them, from the top level down.
    std::array<std::int64_t, kLevels> from{};
    std::array<std::int64_t, kLevels> to{};
    std::array<std::int64_t, kLevels> length{};
    length[0] = count;
    for (int l = 1; l < kLevels; ++l) length[static_cast<std::size_t>(l)] = (length[static_cast<std::size_t>(l - 1)] + 1) / 2;
    for (int l = kLevels - 1; l >= 0; --l) {
        const std::size_t ll = static_cast<std::size_t>(l);
        from[ll] = ((firstFrame * kHop) >> l) - kHalfWindow;
        to[ll] = (((firstFrame + frameCount - 1) * kHop) >> l) - kHalfWindow + kWindow;
        if (l + 1 < kLevels) {
            from[ll] = std::min(from[ll], 2 * from[ll + 1] - kDecimationHalfTaps);
            to[ll] = std::max(to[ll], 2 * (to[ll + 1] - 1) + kDecimationHalfTaps + 1);
        }
    }
    std::array<std::vector<float>, kLevels> storage;
    std::array<LevelSpan, kLevels> levels;
    levels[0] = LevelSpan{0, count, samples, static_cast<std::size_t>(count)};
    for (int l = 1; l < kLevels; ++l) {
        const std::size_t ll = static_cast<std::size_t>(l);
        storage[ll].resize(static_cast<std::size_t>(to[ll] - from[ll]));
        decimate(levels[ll - 1], from[ll], storage[ll], p);
        levels[ll] = LevelSpan{from[ll], length[ll], storage[ll].data(), storage[ll].size()};
    }

    // Two frames share one complex transform: one as the real part, the
    // other as the imaginary part.
    constexpr int kPairs = kBatch / 2;
    std::vector<Complex> buffer(static_cast<std::size_t>(kPairs * kWindow));
    std::vector<float> power(static_cast<std::size_t>(kLevels * kBatch * (kHalfWindow + 1)), 0.0f);
    std::vector<float> logPower(power.size(), 0.0f);
    Complex* arrays[kPairs];
    for (int i = 0; i < kPairs; ++i) arrays[i] = buffer.data() + i * kWindow;
    // Power of a full-scale sinusoid at the centre of a transform bin is
    // (kHalfWindow / 2)^2: values are 1 + (dB re that) / 80, in log2 units.
    const float dbPerLog2 = 10.0f * 0.30103f;
    const float referenceLog2 = -2.0f * std::log2(kHalfWindow / 2.0f);
    // Far below the -80 dB floor (about -200 dB re full scale), so silence reads 0.
    const float tiny = 1e-20f * (kHalfWindow / 2.0f) * (kHalfWindow / 2.0f);

    // Every other float from `out` on: the windowed samples from `start` on.
    auto fill = [&](float* z, const LevelSpan& x, std::int64_t start) {
        for (int j = 0; j < kWindow; ++j) z[2 * j] = x.at(start + j) * p.window[static_cast<std::size_t>(j)];
    };

    // Frames go in batches counted from frame 0, so that each frame shares
    // its transform with the same partner however the recording is split.
    const std::int64_t end = firstFrame + frameCount;
    for (std::int64_t m0 = firstFrame; m0 < end; m0 += kBatch) {
        const int batch = static_cast<int>(std::min<std::int64_t>(kBatch, end - m0));
        const int pairs = (batch + 1) / 2;
        for (int l = 0; l < kLevels; ++l) {
            const std::size_t ll = static_cast<std::size_t>(l);
            const LevelSpan& x = levels[ll];
            for (int q = 0; q < pairs; ++q) {
                float* z = &arrays[q][0].re;
                for (int half = 0; half < 2; ++half) {
                    const int i = 2 * q + half;
                    if (i < batch) {
                        fill(z + half, x, ((m0 + i) * kHop >> l) - kHalfWindow);
                    } else {
                        for (int j = 0; j < kWindow; ++j) z[2 * j + half] = 0.0f;
                    }
                }
            }
            fftMany(arrays, pairs, kWindow);
            const int lo = p.lowestBin[ll];
            const int hi = p.highestBin[ll];
            for (int q = 0; q < pairs; ++q) {
                const Complex* Z = arrays[q];
                float* pa = power.data() + (ll * kBatch + static_cast<std::size_t>(2 * q)) * (kHalfWindow + 1);
                float* pb = pa + (kHalfWindow + 1);
                // X_a = (Z[k] + conj Z[N - k]) / 2, X_b = (Z[k] - conj Z[N - k]) / 2i.
                for (int k = lo; k <= hi; ++k) {
                    const Complex a = Z[k];
                    const Complex b = Z[(kWindow - k) & (kWindow - 1)];
                    const float sr = a.re + b.re, si = a.im - b.im;
                    const float dr = a.re - b.re, di = a.im + b.im;
                    pa[k] = 0.25f * (sr * sr + si * si);
                    pb[k] = 0.25f * (di * di + dr * dr);
                }
                for (int half = 0; half < 2; ++half) {
                    const float* pw = half == 0 ? pa : pb;
                    float* lg = logPower.data() + (pw - power.data());
                    for (int k = p.logLow[ll]; k <= p.logHigh[ll]; ++k) lg[k] = log2Of(pw[k] + tiny);
                }
            }
        }
        for (int i = 0; i < batch; ++i) {
            float* row = out + (m0 - firstFrame + i) * kLevelGridBins;
            for (int b = 0; b < kLevelGridBins; ++b) {
                const std::size_t bb = static_cast<std::size_t>(b);
                const std::size_t at = (static_cast<std::size_t>(p.level[bb]) * kBatch + static_cast<std::size_t>(i)) *
                                           (kHalfWindow + 1) + static_cast<std::size_t>(p.first[bb]);
                float v;
                if (p.offset[bb] < 0) {
                    const float* y = logPower.data() + at;
                    const float d = p.delta[bb];
                    if (y[1] >= y[0] && y[1] >= y[2]) {
                        v = y[1] + 0.5f * d * (y[2] - y[0]) + 0.5f * d * d * (y[2] - 2.0f * y[1] + y[0]);
                    } else if (y[2] >= y[1] && y[2] >= y[3]) {
                        const float e = d - 1.0f;
                        v = y[2] + 0.5f * e * (y[3] - y[1]) + 0.5f * e * e * (y[3] - 2.0f * y[2] + y[1]);
                    } else {
                        v = y[1] + d * (y[2] - y[1]);
                    }
                } else {
                    const float* pw = power.data() + at;
                    const float* w = p.weights.data() + p.offset[bb];
                    float sum = tiny;
                    for (int k = 0; k < p.length[bb]; ++k) sum += w[k] * pw[k];
                    v = log2Of(sum);
                }
                row[b] = std::max(0.0f, 1.0f + dbPerLog2 * (v + referenceLog2) / 80.0f);
            }
        }
    }
}

LevelGrid computeLevelGrid(const float* samples, std::int64_t count,
                               bool (*frameDone)(void*, std::int64_t), void* context) {
    LevelGrid result;
    if (count < 0) count = 0;
    const std::int64_t frames = frameCountFor(count);
    result.values.resize(static_cast<std::size_t>(frames * kLevelGridBins));
    for (std::int64_t m0 = 0; m0 < frames; m0 += kLevelGridBlock) {
        const std::int64_t n = std::min(kLevelGridBlock, frames - m0);
        computeLevelGridFrames(samples, count, m0, n, result.values.data() + m0 * kLevelGridBins);
        if (frameDone != nullptr && !frameDone(context, m0 + n)) return LevelGrid{};
    }
    result.frames = frames;
    return result;
}

}  // namespace selvik::poly
