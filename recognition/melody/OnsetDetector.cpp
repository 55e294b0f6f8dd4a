#include "recognition/melody/OnsetDetector.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "recognition/melody/MelodyFrames.h"
#include "signal/Complex.h"
#include "signal/Fft.h"
#include "signal/Log1pFloat.h"

namespace selvik::melody {

namespace {

constexpr std::int32_t kFrame = 1024;
// Bins 1..kBins cover about 43 Hz to 11 kHz, where attacks show.
constexpr std::int32_t kBins = 256;
// Compare with the frame this many hops back.
constexpr std::int32_t kLag = 2;
// Log compression log(1 + kGain |X|): attacks of quiet notes count nearly as
// much as loud ones.
constexpr float kGain = 10.0f;
// Peak picking neighbourhoods in frames.
constexpr std::int32_t kMaxBefore = 3, kMaxAfter = 3;
constexpr std::int32_t kMeanBefore = 12, kMeanAfter = 3;

}  // namespace

OnsetFunction detectOnsets(const Signal& signal, const OnsetSettings& settings) {
    OnsetFunction result;
    const std::int32_t count = signal.count();
    const std::int32_t frames = frameCount(count);
    result.novelty.assign(static_cast<std::size_t>(frames), 0.0f);
    if (frames == 0 || signal.samples() == nullptr) return result;
    const float* x = signal.samples();

    std::vector<float> window(kFrame);
    for (std::int32_t j = 0; j < kFrame; ++j) {
        window[static_cast<std::size_t>(j)] =
            static_cast<float>(0.5 - 0.5 * std::cos(6.283185307179586 * j / kFrame));
    }
    std::vector<float> input(kFrame);
    std::vector<Complex> spectrum(kFrame);
    // Ring of the widened log spectra of the last kLag + 1 frames.
    std::vector<std::vector<float>> widened(kLag + 1, std::vector<float>(kBins + 2, 0.0f));
    std::vector<float> logMagnitude(kBins + 2, 0.0f);

    for (std::int32_t t = 0; t < frames; ++t) {
        const std::int64_t start = static_cast<std::int64_t>(t) * kHop - kFrame / 2;
        for (std::int32_t j = 0; j < kFrame; ++j) {
            const std::int64_t i = start + j;
            input[static_cast<std::size_t>(j)] =
                (i >= 0 && i < count) ? x[i] * window[static_cast<std::size_t>(j)] : 0.0f;
        }
        const float* in[1] = {input.data()};
        Complex* out[1] = {spectrum.data()};
        fftRealMany(in, out, 1, kFrame);
        for (std::int32_t k = 1; k <= kBins; ++k) {
            const Complex c = spectrum[static_cast<std::size_t>(k)];
            // Not std::log1p: the C library's float version differs between processors.
            logMagnitude[static_cast<std::size_t>(k)] =
                log1pFloat(kGain * std::sqrt(c.re * c.re + c.im * c.im));
        }
        const std::vector<float>& reference = widened[static_cast<std::size_t>((t + 1) % (kLag + 1))];
        if (t >= kLag) {
            double flux = 0.0;
            for (std::int32_t k = 1; k <= kBins; ++k) {
                const float rise = logMagnitude[static_cast<std::size_t>(k)] - reference[static_cast<std::size_t>(k)];
                if (rise > 0.0f) flux += rise;
            }
            result.novelty[static_cast<std::size_t>(t)] = static_cast<float>(flux / kBins);
        }
        std::vector<float>& mine = widened[static_cast<std::size_t>(t % (kLag + 1))];
        for (std::int32_t k = 1; k <= kBins; ++k) {
            float m = logMagnitude[static_cast<std::size_t>(k)];
            m = std::max(m, logMagnitude[static_cast<std::size_t>(k) - 1]);
            if (k < kBins) m = std::max(m, logMagnitude[static_cast<std::size_t>(k) + 1]);
            mine[static_cast<std::size_t>(k)] = m;
        }
    }

    const std::vector<float>& f = result.novelty;
    std::int32_t last = -settings.minimumSpacing - 1;
    for (std::int32_t t = 0; t < frames; ++t) {
        const float v = f[static_cast<std::size_t>(t)];
        bool isMaximum = v > 0.0f;
        for (std::int32_t u = std::max(0, t - kMaxBefore); isMaximum && u <= std::min(frames - 1, t + kMaxAfter); ++u) {
            // Ties go to the earliest frame of a plateau.
            if (u < t ? f[static_cast<std::size_t>(u)] >= v : f[static_cast<std::size_t>(u)] > v) isMaximum = false;
        }
        if (!isMaximum) continue;
        double sum = 0.0;
        std::int32_t n = 0;
        for (std::int32_t u = std::max(0, t - kMeanBefore); u <= std::min(frames - 1, t + kMeanAfter); ++u) {
            sum += f[static_cast<std::size_t>(u)];
            ++n;
        }
        if (v < sum / n + settings.delta) continue;
        if (t - last < settings.minimumSpacing) continue;
        result.onsets.push_back(t);
        last = t;
    }
    return result;
}

}  // namespace selvik::melody
