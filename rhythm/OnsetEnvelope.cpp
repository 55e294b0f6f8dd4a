#include "rhythm/OnsetEnvelope.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <numeric>

#include "signal/Complex.h"
#include "signal/Fft.h"

namespace selvik::rhythm {

namespace {

constexpr double kWindowSeconds = 0.023;
constexpr double kLowestBandHz = 50.0;
constexpr double kHighestBandHz = 11000.0;
constexpr double kBandsPerOctave = 3.0;
// Energies are compressed as ln(1 + E / E0), E0 a full-scale sine's energy
// 60 dB down: a note rising out of silence counts more than a loud note
// swelling by a few dB.
constexpr double kFloorBelowFullScale = 1e-6;
// The rise is measured over two frames (20 ms), against the louder of a band
// and its neighbours.
constexpr int kRiseLag = 2;
constexpr int kMeanHalfWidth = 50;  // frames either side for the local mean
constexpr int kBatch = 32;
constexpr double kBassTopHz = 250.0;

std::int32_t windowLength(std::int32_t sampleRate) {
    std::int32_t n = 2;
    while (n * 2 <= sampleRate * kWindowSeconds * 1.5 && n < kMaxFftLength) n *= 2;
    return n;
}

// Band edges as FFT bins: third-octave bands, each at least one bin wide.
std::vector<std::int32_t> bandEdges(std::int32_t n, std::int32_t sampleRate) {
    const double binHz = static_cast<double>(sampleRate) / n;
    const auto lastBin = static_cast<std::int32_t>(std::min<double>(n / 2, kHighestBandHz / binHz));
    std::vector<std::int32_t> edges{std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(kLowestBandHz / binHz)))};
    for (int k = 1;; ++k) {
        const double hz = kLowestBandHz * std::pow(2.0, k / kBandsPerOctave);
        const auto bin = std::min(lastBin, static_cast<std::int32_t>(std::lround(hz / binHz)));
        if (bin > edges.back()) edges.push_back(bin);
        if (bin >= lastBin) break;
    }
    return edges;
}

void scaleToUnitDeviation(std::vector<float>& values) {
    if (values.empty()) return;
    double sum = 0.0;
    double squares = 0.0;
    for (float v : values) {
        sum += v;
        squares += static_cast<double>(v) * v;
    }
    const double mean = sum / static_cast<double>(values.size());
    const double variance = squares / static_cast<double>(values.size()) - mean * mean;
    if (!(variance > 1e-20)) {
        std::fill(values.begin(), values.end(), 0.0f);
        return;
    }
    const double scale = 1.0 / std::sqrt(variance);
    for (float& v : values) v = static_cast<float>(v * scale);
}

// The value less its mean over the frames around it, clipped at 0.
void removeLocalMean(std::vector<float>& values) {
    const std::size_t n = values.size();
    std::vector<double> prefix(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + values[i];
    std::vector<float> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t from = i >= kMeanHalfWidth ? i - kMeanHalfWidth : 0;
        const std::size_t to = std::min(n, i + kMeanHalfWidth + 1);
        const double mean = (prefix[to] - prefix[from]) / static_cast<double>(to - from);
        out[i] = static_cast<float>(std::max(0.0, values[i] - mean));
    }
    values = std::move(out);
}

}  // namespace

RecordingOnsets recordingOnsets(const float* samples, std::int32_t count, std::int32_t sampleRate) {
    RecordingOnsets envelopes;
    if (samples == nullptr || count <= 0 || sampleRate <= 0) return envelopes;
    const std::int32_t hop = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(sampleRate / kFramesPerSecond)));
    const std::int32_t n = windowLength(sampleRate);
    const std::int32_t frames = count / hop + 1;
    const std::vector<std::int32_t> edges = bandEdges(n, sampleRate);
    const std::size_t bands = edges.size() - 1;

    std::vector<float> window(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) {
        window[static_cast<std::size_t>(i)] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (i + 0.5) / n));
    }
    const double windowSum = std::accumulate(window.begin(), window.end(), 0.0);
    // A full-scale sine's energy in its bin: (amplitude * window sum / 2)^2.
    const double floorEnergy = kFloorBelowFullScale * windowSum * windowSum / 4.0;

    std::vector<float> levels(static_cast<std::size_t>(frames) * bands);
    std::vector<float> inputs(static_cast<std::size_t>(kBatch) * n);
    std::vector<Complex> outputs(static_cast<std::size_t>(kBatch) * n);
    std::vector<const float*> inputPointers(kBatch);
    std::vector<Complex*> outputPointers(kBatch);
    for (int b = 0; b < kBatch; ++b) {
        inputPointers[static_cast<std::size_t>(b)] = inputs.data() + static_cast<std::size_t>(b) * n;
        outputPointers[static_cast<std::size_t>(b)] = outputs.data() + static_cast<std::size_t>(b) * n;
    }
    for (std::int32_t first = 0; first < frames; first += kBatch) {
        const std::int32_t batch = std::min(kBatch, frames - first);
        for (std::int32_t b = 0; b < batch; ++b) {
            // Frame t is centred on sample t * hop.
            const std::int64_t start = static_cast<std::int64_t>(first + b) * hop - n / 2;
            float* in = inputs.data() + static_cast<std::size_t>(b) * n;
            for (std::int32_t i = 0; i < n; ++i) {
                const std::int64_t at = start + i;
                in[i] = at >= 0 && at < count ? samples[at] * window[static_cast<std::size_t>(i)] : 0.0f;
            }
        }
        fftRealMany(inputPointers.data(), outputPointers.data(), batch, n);
        for (std::int32_t b = 0; b < batch; ++b) {
            const Complex* spectrum = outputs.data() + static_cast<std::size_t>(b) * n;
            float* level = levels.data() + static_cast<std::size_t>(first + b) * bands;
            for (std::size_t band = 0; band < bands; ++band) {
                double energy = 0.0;
                for (std::int32_t k = edges[band]; k < edges[band + 1]; ++k) {
                    energy += static_cast<double>(spectrum[k].re) * spectrum[k].re +
                              static_cast<double>(spectrum[k].im) * spectrum[k].im;
                }
                level[band] = static_cast<float>(std::log1p(energy / floorEnergy));
            }
        }
    }

    const double binHz = static_cast<double>(sampleRate) / n;
    std::size_t bassBands = 0;
    while (bassBands < bands && edges[bassBands + 1] * binHz <= kBassTopHz) ++bassBands;
    std::vector<float>& all = envelopes.all.values;
    std::vector<float>& low = envelopes.low.values;
    all.assign(static_cast<std::size_t>(frames), 0.0f);
    low.assign(static_cast<std::size_t>(frames), 0.0f);
    for (std::int32_t t = kRiseLag; t < frames; ++t) {
        const float* now = levels.data() + static_cast<std::size_t>(t) * bands;
        const float* before = levels.data() + static_cast<std::size_t>(t - kRiseLag) * bands;
        double rise = 0.0;
        double bassRise = 0.0;
        for (std::size_t band = 0; band < bands; ++band) {
            float reference = before[band];
            if (band > 0) reference = std::max(reference, before[band - 1]);
            if (band + 1 < bands) reference = std::max(reference, before[band + 1]);
            const double r = std::max(0.0f, now[band] - reference);
            rise += r;
            if (band < bassBands) bassRise += r;
        }
        all[static_cast<std::size_t>(t)] = static_cast<float>(rise);
        low[static_cast<std::size_t>(t)] = static_cast<float>(bassRise);
    }
    for (std::vector<float>* values : {&all, &low}) {
        removeLocalMean(*values);
        scaleToUnitDeviation(*values);
    }
    return envelopes;
}

OnsetEnvelope noteOnsets(const std::vector<RecognizedNote>& notes, std::int32_t frames) {
    OnsetEnvelope envelope;
    envelope.values.assign(static_cast<std::size_t>(std::max(0, frames)), 0.0f);
    if (frames <= 0) return envelope;
    for (const RecognizedNote& note : notes) {
        if (!std::isfinite(note.startSeconds) || !std::isfinite(note.endSeconds)) continue;
        const double at = note.startSeconds * kFramesPerSecond;
        if (at < -2.0 || at > frames + 2.0) continue;
        // Louder and longer notes are heard as stronger starts; the length
        // counts up to a second.
        const double length = std::clamp(note.endSeconds - note.startSeconds, 0.05, 1.0);
        const double weight = (note.velocity / 127.0) * (1.0 + std::log2(length / 0.05) / 4.0);
        const auto centre = static_cast<std::int64_t>(std::lround(at));
        for (std::int64_t t = centre - 2; t <= centre + 2; ++t) {
            if (t < 0 || t >= frames) continue;
            const double d = static_cast<double>(t) - at;
            envelope.values[static_cast<std::size_t>(t)] += static_cast<float>(weight * std::exp(-d * d));
        }
    }
    scaleToUnitDeviation(envelope.values);
    return envelope;
}

OnsetEnvelope combineOnsets(const OnsetEnvelope& a, const OnsetEnvelope& b, double weight) {
    OnsetEnvelope out;
    out.values.assign(std::max(a.values.size(), b.values.size()), 0.0f);
    for (std::size_t i = 0; i < a.values.size(); ++i) out.values[i] += a.values[i];
    for (std::size_t i = 0; i < b.values.size(); ++i) out.values[i] += static_cast<float>(weight * b.values[i]);
    scaleToUnitDeviation(out.values);
    return out;
}

std::int32_t countOnsets(const OnsetEnvelope& envelope, double share) {
    const std::vector<float>& v = envelope.values;
    if (v.empty()) return 0;
    const float top = *std::max_element(v.begin(), v.end());
    if (!(top > 0.0f)) return 0;
    const double floor = share * top;
    constexpr std::int64_t kGap = 5;
    std::int32_t count = 0;
    std::int64_t last = -kGap;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const float here = v[i];
        if (here < floor) continue;
        const bool peak = (i == 0 || here >= v[i - 1]) && (i + 1 == v.size() || here > v[i + 1]);
        if (!peak || static_cast<std::int64_t>(i) - last < kGap) continue;
        ++count;
        last = static_cast<std::int64_t>(i);
    }
    return count;
}

}  // namespace selvik::rhythm
