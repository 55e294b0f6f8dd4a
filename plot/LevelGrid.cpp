#include "plot/LevelGrid.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <numbers>
#include <thread>

#include "signal/Complex.h"
#include "signal/Fft.h"

namespace selvik {

namespace {

// Where a row takes its power from: below one bin per row, the power is
// interpolated at the row's centre frequency (bin + fraction); above, it is
// the largest power of the bins inside the row, so a partial never falls
// between rows.
struct RowSource {
    std::int32_t first;
    std::int32_t last;  // equal to first + 1 with `fraction` for interpolation
    float fraction;
    bool interpolate;
};

double binOfPitch(double pitch, std::int32_t fftLength, std::int32_t sampleRate) {
    return 440.0 * std::exp2((pitch - 69.0) / 12.0) * fftLength / sampleRate;
}

std::vector<RowSource> rowSources(const LevelGridParameters& p, std::int32_t rowCount,
                                  std::int32_t sampleRate) {
    const std::int32_t lastBin = p.fftLength / 2;
    std::vector<RowSource> rows(static_cast<std::size_t>(rowCount));
    for (std::int32_t r = 0; r < rowCount; ++r) {
        const double low = p.lowestNote - 0.5 + double(r) / p.rowsPerNote;
        const double high = low + 1.0 / p.rowsPerNote;
        const double lowBin = binOfPitch(low, p.fftLength, sampleRate);
        const double highBin = binOfPitch(high, p.fftLength, sampleRate);
        RowSource& row = rows[static_cast<std::size_t>(r)];
        if (highBin - lowBin < 1.0) {
            const double centre = std::min(binOfPitch((low + high) / 2, p.fftLength, sampleRate),
                                           double(lastBin - 1));
            row.first = static_cast<std::int32_t>(std::floor(centre));
            row.last = row.first + 1;
            row.fraction = static_cast<float>(centre - row.first);
            row.interpolate = true;
        } else {
            row.first = std::min(static_cast<std::int32_t>(std::ceil(lowBin)), lastBin);
            row.last = std::clamp(static_cast<std::int32_t>(std::ceil(highBin)) - 1, row.first, lastBin);
            row.fraction = 0.0f;
            row.interpolate = false;
        }
    }
    return rows;
}

// Frames [begin, end) into decibels[row * frameCount + frame].
void computeFrames(const float* samples, std::int32_t count, const LevelGridParameters& p,
                   const std::vector<float>& window, const std::vector<RowSource>& rows,
                   std::int32_t frameCount, std::int32_t begin, std::int32_t end,
                   float* decibels, const std::atomic<bool>* cancel) {
    constexpr std::int32_t kBatch = 8;
    const auto n = static_cast<std::size_t>(p.fftLength);
    std::vector<float> input(n * kBatch);
    std::vector<Complex> output(n * kBatch);
    std::vector<float> power(n / 2 + 1);
    const float* inputs[kBatch];
    Complex* outputs[kBatch];
    for (std::int32_t b = 0; b < kBatch; ++b) {
        inputs[b] = input.data() + n * static_cast<std::size_t>(b);
        outputs[b] = output.data() + n * static_cast<std::size_t>(b);
    }
    for (std::int32_t first = begin; first < end; first += kBatch) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return;
        const std::int32_t batch = std::min(kBatch, end - first);
        for (std::int32_t b = 0; b < batch; ++b) {
            float* frame = input.data() + n * static_cast<std::size_t>(b);
            const std::int64_t start = std::int64_t{first + b} * p.hop - p.fftLength / 2;
            for (std::int32_t i = 0; i < p.fftLength; ++i) {
                const std::int64_t at = start + i;
                frame[i] = at >= 0 && at < count ? samples[at] * window[static_cast<std::size_t>(i)] : 0.0f;
            }
        }
        fftRealMany(inputs, outputs, batch, p.fftLength);
        for (std::int32_t b = 0; b < batch; ++b) {
            const Complex* x = outputs[b];
            for (std::size_t k = 0; k < power.size(); ++k) power[k] = x[k].re * x[k].re + x[k].im * x[k].im;
            const auto column = static_cast<std::size_t>(first + b);
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const RowSource& row = rows[r];
                float value;
                if (row.interpolate) {
                    value = power[static_cast<std::size_t>(row.first)] * (1.0f - row.fraction) +
                            power[static_cast<std::size_t>(row.last)] * row.fraction;
                } else {
                    value = *std::max_element(power.begin() + row.first, power.begin() + row.last + 1);
                }
                // The floor keeps silence finite; it lies far below any range shown.
                decibels[r * static_cast<std::size_t>(frameCount) + column] =
                    10.0f * std::log10(std::max(value, 1e-20f));
            }
        }
    }
}

}  // namespace

LevelGrid computeLevelGrid(const float* samples, std::int32_t count, std::int32_t sampleRate,
                               const LevelGridParameters& asked, const std::atomic<bool>* cancel) {
    LevelGrid result;
    LevelGridParameters p = asked;
    const bool usable = samples && count > 0 && sampleRate > 0 && p.fftLength >= 16 &&
                        p.fftLength <= kMaxFftLength && (p.fftLength & (p.fftLength - 1)) == 0 &&
                        p.hop > 0 && p.maxFrames > 0 && p.rowsPerNote > 0 && p.lowestNote >= 0 &&
                        p.highestNote >= p.lowestNote && p.rangeDb > 0.0f;
    if (!usable) return result;

    p.hop = static_cast<std::int32_t>(
        std::max<std::int64_t>(p.hop, (std::int64_t{count} + p.maxFrames - 1) / p.maxFrames));
    const std::int32_t frameCount = static_cast<std::int32_t>((std::int64_t{count} - 1) / p.hop + 1);
    const std::int32_t rowCount = (p.highestNote - p.lowestNote + 1) * p.rowsPerNote;
    const std::vector<RowSource> rows = rowSources(p, rowCount, sampleRate);
    std::vector<float> window(static_cast<std::size_t>(p.fftLength));
    for (std::int32_t i = 0; i < p.fftLength; ++i) {
        window[static_cast<std::size_t>(i)] =
            static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / p.fftLength));
    }

    const std::size_t cells = static_cast<std::size_t>(rowCount) * static_cast<std::size_t>(frameCount);
    // Every cell is written by exactly one frame, so the array is left
    // uninitialised: zeroing tens of megabytes first costs a tenth of the run.
    const std::unique_ptr<float[]> store(new (std::nothrow) float[cells]);
    if (!store) return result;
    float* const decibels = store.get();
    std::int32_t threads = p.threads > 0 ? p.threads
                                         : std::clamp(static_cast<std::int32_t>(std::thread::hardware_concurrency()), 1, 4);
    threads = std::clamp(threads, 1, std::max(1, frameCount / 64));
    {
        std::vector<std::jthread> workers;
        const std::int32_t share = (frameCount + threads - 1) / threads;
        for (std::int32_t t = 1; t < threads; ++t) {
            const std::int32_t begin = std::min(frameCount, t * share);
            const std::int32_t end = std::min(frameCount, begin + share);
            workers.emplace_back([&, begin, end] {
                computeFrames(samples, count, p, window, rows, frameCount, begin, end, decibels, cancel);
            });
        }
        computeFrames(samples, count, p, window, rows, frameCount, 0, std::min(frameCount, share),
                      decibels, cancel);
    }
    if (cancel && cancel->load()) return result;

    const float loudest = *std::max_element(decibels, decibels + cells);
    const float floor = loudest - p.rangeDb;
    const float scale = 255.0f / p.rangeDb;
    result.levels.resize(cells);
    for (std::size_t i = 0; i < cells; ++i) {
        const float level = std::clamp((decibels[i] - floor) * scale, 0.0f, 255.0f);
        result.levels[i] = static_cast<std::uint8_t>(level + 0.5f);
    }
    result.sampleRate = sampleRate;
    result.hop = p.hop;
    result.frameCount = frameCount;
    result.rowCount = rowCount;
    result.lowestNote = p.lowestNote;
    result.rowsPerNote = p.rowsPerNote;
    return result;
}

}  // namespace selvik
