// The spectral recognition pass: Recognizer::recognize.
//
// Every block is analysed on its own, so blocks are spread over worker threads.
// Workers only compute the notes picked per block; the calling thread writes
// them into the grid in block order and alone touches the progress indicator,
// so the grid is the same for any number of threads.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "core/MessageService.h"
#include "core/VectorClones.h"
#include "recognition/classic/BlockWeighting.h"
#include "recognition/classic/NoteFrequencyTable.h"
#include "recognition/classic/NotePicker.h"
#include "recognition/classic/Recognizer.h"
#include "recognition/classic/ScoreGrid.h"
#include "signal/Fft.h"
#include "signal/Window.h"

namespace selvik {

namespace detail {

std::int32_t windowOffset(std::int32_t position, std::int32_t blockSize, std::int32_t subsampling) {
    return position * (blockSize / subsampling);
}

void reverseWindow(const float* window, std::int32_t blockSize, float* reversed) {
    const std::int32_t mask = blockSize - 1;
    for (std::int32_t m = 0; m < blockSize; ++m) reversed[m] = window[(blockSize - m) & mask];
}

void decimateBlock(const float* blockStart, std::int32_t blockSize, std::int32_t factor, float* out) {
    for (std::int32_t i = 0; i < blockSize; ++i) out[i] = blockStart[static_cast<std::int64_t>(i) * factor];
}

SELVIK_VECTOR_CLONES
void weightBlock(const float* reversedWindow, const float* decimated, std::int32_t blockSize,
                 std::int32_t offset, float* out) {
    // The exact product of two floats fits a double, so rounding it to float
    // once is the single-precision product itself: no need to widen.
    const float* wrapped = reversedWindow + (blockSize - offset);
    for (std::int32_t i = 0; i < offset; ++i) out[i] = wrapped[i] * decimated[i];
    for (std::int32_t i = offset; i < blockSize; ++i) out[i] = reversedWindow[i - offset] * decimated[i];
}

double binFrequency(std::int32_t bin, std::int32_t blockSize, std::int32_t factor) {
    const double width = 44100.0 / static_cast<double>(blockSize * factor);
    return (static_cast<double>(bin) + 0.5) * width;
}

int pickNotes(double* noteEnergy, std::int32_t polyphony, float threshold, double peakPower,
              std::uint8_t* notes) {
    const double level = static_cast<double>(threshold) * peakPower;
    int accepted = 0;
    for (std::int32_t repetition = 0; repetition < polyphony; ++repetition) {
        double best = 0.0;
        int chosen = -1;
        for (int n = 0; n < kNoteCount; ++n) {
            if (noteEnergy[n] > best) {
                best = noteEnergy[n];
                chosen = n;
            }
        }
        // With nothing above 0, or a rejected note keeping its energy, every
        // later repetition would choose the same again: stop here.
        if (chosen < 0) break;
        if (!(noteEnergy[chosen] >= level)) break;
        notes[accepted++] = static_cast<std::uint8_t>(chosen);
        noteEnergy[chosen] = 0.0;
    }
    return accepted;
}

void writeNotes(std::uint8_t* grid, std::int32_t* rowNoteCounts, std::int64_t firstRow,
                std::int32_t rowCount, const std::uint8_t* notes, int count) {
    for (int i = 0; i < count; ++i) {
        for (std::int64_t r = firstRow; r < firstRow + rowCount; ++r) {
            std::int32_t& filled = rowNoteCounts[r];
            if (filled < kSlotsPerRow) {
                grid[r * kSlotsPerRow + filled] = notes[i];
                ++filled;
            }
        }
    }
}

}  // namespace detail

namespace {

constexpr double kPowerFloor = 1e-90;
constexpr int kMaxSubsampling = 16;
// Per block: the number of picked notes, then up to 16 notes.
constexpr std::size_t kResultStride = 1 + kSlotsPerRow;

// What every block of one pass shares; read-only while the blocks run.
struct PassPlan {
    std::int32_t blockSize = 0;
    std::int32_t subsampling = 0;
    std::int32_t factor = 0;
    std::int32_t polyphony = 0;
    float threshold = 0.0f;
    const float* reversedWindow = nullptr;  // see reverseWindow()
    const float* samples = nullptr;
    // Note of each in-band bin, -1 for the others; the in-band bins are
    // firstBin .. endBin - 1 because the bin frequency grows with k.
    const std::int16_t* binNote = nullptr;
    std::int32_t firstBin = 0;
    std::int32_t endBin = 0;
    std::int32_t analysedBlocks = 0;  // blocks whose rows are converted; the rest stay empty
    std::int32_t chunkSize = 1;
    std::int32_t chunkCount = 0;
    std::uint8_t* results = nullptr;  // kResultStride bytes per block
};

// Transforms run side by side in SIMD lanes; with few window positions per
// block, several blocks are transformed together to fill the lanes.
constexpr std::int32_t kTransformsPerBatch = 8;

std::int32_t blocksPerBatch(std::int32_t subsampling) {
    return subsampling >= kTransformsPerBatch ? 1 : kTransformsPerBatch / subsampling;
}

// Working storage of one thread, made once per pass.
struct Workspace {
    std::unique_ptr<float[]> decimated;
    std::unique_ptr<float[]> inputs;
    std::unique_ptr<Complex[]> outputs;
    std::unique_ptr<double[]> binPower;
    float* weightedRows[kMaxSubsampling] = {};
    const float* inputRows[kMaxSubsampling] = {};
    Complex* outputRows[kMaxSubsampling] = {};

    bool allocate(std::int32_t n, std::int32_t s) {
        const auto length = static_cast<std::size_t>(n);
        const auto transforms = static_cast<std::size_t>(s * blocksPerBatch(s));
        decimated.reset(new (std::nothrow) float[length]);
        inputs.reset(new (std::nothrow) float[length * transforms]);
        outputs.reset(new (std::nothrow) Complex[length * transforms]);
        binPower.reset(new (std::nothrow) double[length / 2]);
        if (!decimated || !inputs || !outputs || !binPower) return false;
        for (std::size_t t = 0; t < transforms; ++t) {
            weightedRows[t] = inputs.get() + t * length;
            inputRows[t] = weightedRows[t];
            outputRows[t] = outputs.get() + t * length;
        }
        return true;
    }
};

// Writes the S windowed copies of block b into inputs[0 .. S).
void weightPositions(const PassPlan& plan, Workspace& work, std::int32_t b, float* const* inputs) {
    const std::int32_t n = plan.blockSize;
    const std::int32_t s = plan.subsampling;
    // All window positions weight the same decimated samples.
    const float* x = plan.samples + static_cast<std::int64_t>(b) * n * plan.factor;
    const float* decimated = x;
    if (plan.factor != 1) {
        detail::decimateBlock(x, n, plan.factor, work.decimated.get());
        decimated = work.decimated.get();
    }
    for (std::int32_t j = 0; j < s; ++j) {
        detail::weightBlock(plan.reversedWindow, decimated, n, detail::windowOffset(j, n, s), inputs[j]);
    }
}

// Adds the power of each of the first `count` lines of `spectrum` to
// binPower (or, for the first spectrum, stores it: 0.0 + p is p exactly),
// each raised to kPowerFloor. True when a line is not exactly zero: that
// happens only when re = im = 0, as the square of the smallest float is far
// above 0 in double.
SELVIK_VECTOR_CLONES
bool addLinePowers(const Complex* __restrict spectrum, std::int32_t count, bool first, double* __restrict binPower) {
    int sound = 0;
    if (first) {
        for (std::int32_t k = 0; k < count; ++k) {
            const auto re = static_cast<double>(spectrum[k].re);
            const auto im = static_cast<double>(spectrum[k].im);
            const double p = re * re + im * im;
            sound |= p != 0.0;
            binPower[k] = p < kPowerFloor ? kPowerFloor : p;
        }
    } else {
        for (std::int32_t k = 0; k < count; ++k) {
            const auto re = static_cast<double>(spectrum[k].re);
            const auto im = static_cast<double>(spectrum[k].im);
            const double p = re * re + im * im;
            sound |= p != 0.0;
            binPower[k] += p < kPowerFloor ? kPowerFloor : p;
        }
    }
    return sound != 0;
}

// Picks the notes of one block from the spectra of its S window positions and
// returns how many were written to `notes`.
int pickBlockNotes(const PassPlan& plan, Workspace& work, const Complex* const* spectra,
                   std::uint8_t* notes) {
    const std::int32_t n = plan.blockSize;
    const std::int32_t s = plan.subsampling;
    const std::int32_t half = n / 2;

    double* binPower = work.binPower.get();
    bool sound = false;
    for (std::int32_t j = 0; j < s; ++j) sound |= addLinePowers(spectra[j], half, j == 0, binPower);
    // Digital silence (every line exactly zero) would otherwise give equal
    // energies on every note and the band's lowest note would pass any threshold.
    if (!sound) return 0;

    // Dividing by S and then by N * N, both powers of two, only shifts the
    // exponent of values far from the ends of the double range: one exact
    // multiplication gives the same bits, and the peak may be taken before it.
    const double scale = 1.0 / static_cast<double>(s) / (static_cast<double>(n) * static_cast<double>(n));
    double peakSum = 0.0;
    for (std::int32_t k = 0; k < half; ++k) {
        if (binPower[k] > peakSum) peakSum = binPower[k];
    }
    const double peakPower = peakSum * scale;

    double noteEnergy[detail::kNoteCount] = {};
    std::int32_t noteBins[detail::kNoteCount] = {};
    for (std::int32_t k = plan.firstBin; k < plan.endBin; ++k) {
        const std::int16_t note = plan.binNote[k];
        if (note < 0) continue;
        noteEnergy[note] += binPower[k] * scale;
        noteBins[note] += 1;
    }
    for (int note = 0; note < detail::kNoteCount; ++note) {
        if (noteBins[note] > 0) noteEnergy[note] = noteEnergy[note] / noteBins[note];
    }
    return detail::pickNotes(noteEnergy, plan.polyphony, plan.threshold, peakPower, notes);
}

void analyseChunk(const PassPlan& plan, Workspace& work, std::int32_t chunk) {
    const std::int32_t s = plan.subsampling;
    const std::int32_t batch = blocksPerBatch(s);
    const std::int32_t first = chunk * plan.chunkSize;
    const std::int32_t end = std::min(first + plan.chunkSize, plan.analysedBlocks);
    for (std::int32_t b = first; b < end; b += batch) {
        const std::int32_t blocks = std::min(batch, end - b);
        for (std::int32_t i = 0; i < blocks; ++i) {
            weightPositions(plan, work, b + i, work.weightedRows + i * s);
        }
        // Only the lines below half the sampling rate are weighed.
        fftRealManyLowerHalf(work.inputRows, work.outputRows, blocks * s, plan.blockSize);
        for (std::int32_t i = 0; i < blocks; ++i) {
            std::uint8_t* result = plan.results + static_cast<std::size_t>(b + i) * kResultStride;
            result[0] = static_cast<std::uint8_t>(pickBlockNotes(plan, work, work.outputRows + i * s, result + 1));
        }
    }
}

// Hands out chunks of blocks and records which are finished.
class ChunkQueue {
public:
    explicit ChunkQueue(std::uint8_t* done) : done_(done) {}

    // The next chunk to analyse, or -1 when all are taken.
    std::int32_t take(std::int32_t chunkCount) {
        const std::int32_t chunk = next_.fetch_add(1, std::memory_order_relaxed);
        return chunk < chunkCount ? chunk : -1;
    }

    void finish(std::int32_t chunk) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_[chunk] = 1;
        }
        changed_.notify_one();
    }

    bool isDone(std::int32_t chunk) {
        std::lock_guard<std::mutex> lock(mutex_);
        return done_[chunk] != 0;
    }

    void waitFor(std::int32_t chunk) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return done_[chunk] != 0; });
    }

private:
    std::atomic<std::int32_t> next_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint8_t* done_;
};

std::int32_t workerThreadsFor(int requested, std::int32_t chunkCount) {
    unsigned threads = requested > 0 ? static_cast<unsigned>(requested)
                                     : std::thread::hardware_concurrency();
    if (threads == 0) threads = 1;
    if (threads > static_cast<unsigned>(chunkCount)) threads = static_cast<unsigned>(chunkCount);
    return threads > 1 ? static_cast<std::int32_t>(threads) - 1 : 0;
}

}  // namespace

void Recognizer::recognize(float low, float high, std::int32_t factor) {
    if (factor != 1 && factor != 2 && factor != 4 && factor != 8) return;
    if (!(low >= 0.0f && low <= 44100.0f)) return;
    if (!(high >= 0.0f && high <= 44100.0f)) return;
    if (low > high) std::swap(low, high);
    if (source_->paddedLength() <= 0) {
        showMessage("Empty signal");
        return;
    }
    const std::int32_t n = blockSize_;
    if (static_cast<std::int64_t>(factor) * n > source_->paddedLength()) {
        showMessage("Signal is too short");
        return;
    }
    // Parameters that the setters never produce (no block size yet) leave
    // nothing to analyse.
    if (n < 2 || (n & (n - 1)) != 0 || subsampling_ < 1 || subsampling_ > kMaxSubsampling ||
        n % subsampling_ != 0) {
        return;
    }

    Signal window;
    makeWindow(window, windowType_, n);
    if (window.paddedLength() != n || window.samples() == nullptr) return;
    std::unique_ptr<float[]> reversedWindow(new (std::nothrow) float[static_cast<std::size_t>(n)]);
    if (!reversedWindow) return;
    detail::reverseWindow(window.samples(), n, reversedWindow.get());
    Workspace callerWork;
    if (!callerWork.allocate(n, subsampling_)) return;

    const std::int32_t half = n / 2;
    std::unique_ptr<std::int16_t[]> binNote(new (std::nothrow) std::int16_t[static_cast<std::size_t>(half)]);
    if (!binNote) return;
    std::int32_t firstBin = half;
    std::int32_t endBin = 0;
    for (std::int32_t k = 0; k < half; ++k) {
        const double frequency = detail::binFrequency(k, n, factor);
        std::int16_t note = -1;
        if (static_cast<double>(low) <= frequency && frequency <= static_cast<double>(high)) {
            note = static_cast<std::int16_t>(nearestNote(frequency));
            firstBin = std::min(firstBin, k);
            endBin = k + 1;
        }
        binNote[static_cast<std::size_t>(k)] = note;
    }

    // Never read past the padded length, even if the signal was replaced after
    // setBlockSize computed blockCount.
    const std::int32_t blocks =
        std::min(blockCount_ / factor, source_->paddedLength() / (n * factor));
    if (blocks <= 0) {
        showMessage("Signal too short");
        return;
    }
    if (!scoreGrid_ || !rowNoteCounts_ || gridRows_ < static_cast<std::int64_t>(blocks) * factor) {
        return;
    }

    // The conversion reads rows 0 .. count / N - 1 only; blocks all of whose
    // rows lie beyond are not transformed.
    const std::int32_t convertedRows = source_->count() / n;
    const std::int32_t analysedBlocks =
        std::min(blocks, static_cast<std::int32_t>((static_cast<std::int64_t>(convertedRows) + factor - 1) / factor));

    PassPlan plan;
    plan.blockSize = n;
    plan.subsampling = subsampling_;
    plan.factor = factor;
    plan.polyphony = polyphony_;
    plan.threshold = threshold_;
    plan.reversedWindow = reversedWindow.get();
    plan.samples = source_->samples();
    plan.binNote = binNote.get();
    plan.firstBin = firstBin;
    plan.endBin = endBin;
    plan.analysedBlocks = analysedBlocks;
    // Whole batches per chunk, and enough chunks to keep every thread busy.
    const std::int32_t batch = blocksPerBatch(subsampling_);
    plan.chunkSize = batch * std::clamp(analysedBlocks / (batch * 32), 1, 4);
    plan.chunkCount = (analysedBlocks + plan.chunkSize - 1) / plan.chunkSize;

    std::unique_ptr<std::uint8_t[]> results(
        new (std::nothrow) std::uint8_t[static_cast<std::size_t>(std::max(analysedBlocks, 1)) * kResultStride]);
    std::unique_ptr<std::uint8_t[]> chunkDone(
        new (std::nothrow) std::uint8_t[static_cast<std::size_t>(std::max(plan.chunkCount, 1))]());
    if (!results || !chunkDone) return;
    plan.results = results.get();

    if (progress_ != nullptr) {
        progress_->setRange(0, blocks - 1);
        progress_->setPosition(0);
    }

    ChunkQueue queue(chunkDone.get());
    auto work = [&plan, &queue] {
        Workspace own;
        // A worker without storage takes no chunk; the calling thread does its share.
        if (!own.allocate(plan.blockSize, plan.subsampling)) return;
        for (std::int32_t chunk = queue.take(plan.chunkCount); chunk >= 0;
             chunk = queue.take(plan.chunkCount)) {
            analyseChunk(plan, own, chunk);
            queue.finish(chunk);
        }
    };

    const std::int32_t wanted = workerThreadsFor(threadCount_, plan.chunkCount);
    std::unique_ptr<std::thread[]> workers;
    std::int32_t started = 0;
    if (wanted > 0) workers.reset(new (std::nothrow) std::thread[static_cast<std::size_t>(wanted)]);
    if (workers) {
        for (; started < wanted; ++started) {
            try {
                workers[static_cast<std::size_t>(started)] = std::thread(work);
            } catch (...) {
                // No more threads: the calling thread analyses what is left.
                break;
            }
        }
    }

    std::int32_t nextToWrite = 0;
    auto writeChunk = [&](std::int32_t chunk) {
        const std::int32_t first = chunk * plan.chunkSize;
        const std::int32_t end = std::min(first + plan.chunkSize, analysedBlocks);
        for (std::int32_t b = first; b < end; ++b) {
            const std::uint8_t* result = plan.results + static_cast<std::size_t>(b) * kResultStride;
            detail::writeNotes(scoreGrid_.get(), rowNoteCounts_.get(),
                               static_cast<std::int64_t>(b) * factor, factor, result + 1, result[0]);
            if (progress_ != nullptr) progress_->setPosition(b);
        }
    };
    for (std::int32_t chunk = queue.take(plan.chunkCount); chunk >= 0;
         chunk = queue.take(plan.chunkCount)) {
        analyseChunk(plan, callerWork, chunk);
        queue.finish(chunk);
        while (nextToWrite < plan.chunkCount && queue.isDone(nextToWrite)) writeChunk(nextToWrite++);
    }
    while (nextToWrite < plan.chunkCount) {
        queue.waitFor(nextToWrite);
        writeChunk(nextToWrite++);
    }
    for (std::int32_t i = 0; i < started; ++i) workers[static_cast<std::size_t>(i)].join();

    if (progress_ != nullptr) {
        for (std::int32_t b = analysedBlocks; b < blocks; ++b) progress_->setPosition(b);
        progress_->setPosition(0);
    }
}

}  // namespace selvik
