#include "recognition/classic/Recognizer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

#include "core/MessageService.h"
#include "recognition/ParameterRanges.h"
#include "signal/SignalStatus.h"
#include "signal/WindowType.h"

namespace selvik {

bool loadClassicRecording(const char* path, Signal& signal, std::string* detail) {
    if (detail != nullptr) detail->clear();
    const SignalStatus status = signal.readWav(path, detail);
    if (status != SignalStatus::NoError) {
        showMessage(statusMessage(status));
        signal.clear();
    } else if (detail != nullptr) {
        detail->clear();
    }
    // After a failed load the signal is empty, so this warning follows the error.
    if (signal.paddedLength() < 4096) {
        showMessage("For better results use signals with more than 4096 samples.");
    }
    signal.normalize();
    return status == SignalStatus::NoError;
}

void Recognizer::loadWav(const char* path) {
    source_ = &signal_;
    if (!loadClassicRecording(path, signal_, &loadDetail_)) clear();
    setBlockSize(2048);
    setPolyphony(1);
    setWindowType(Blackman);
    setThreshold(0.75f);
}

void Recognizer::setBlockSize(std::int32_t n) {
    if (!parameters::isOneOf(parameters::kBlockSizes, n)) {
        showMessage("Bad block size. Defaults to 2048");
        n = 2048;
    }
    blockSize_ = n;
    blockCount_ = source_->paddedLength() / n;
    if (blockCount_ == 0) blockCount_ = 1;
}

void Recognizer::setPolyphony(std::int32_t n) {
    if (n < parameters::kMinPolyphony || n > parameters::kMaxPolyphony) {
        showMessage("Bad polyphony value. Defaults to 1");
        n = 1;
    }
    polyphony_ = n;
}

void Recognizer::setWindowType(std::int32_t type) { windowType_ = type; }

void Recognizer::setThreshold(float x) {
    const float magnitude = std::fabs(x);
    if (magnitude > 1.0f) {
        showMessage("Threshold must be between 0.0 and 1.0. Defaults to 0.8");
        threshold_ = 0.8f;
        return;
    }
    // A NaN fails the comparison above and is stored as it is; no note passes it.
    threshold_ = magnitude;
}

void Recognizer::setSubsampling(std::int32_t n) {
    if (!parameters::isOneOf(parameters::kSubsamplings, n)) {
        showMessage("Bad subsampling value. Defaults to 4.");
        n = 4;
    }
    subsampling_ = n;
}

void Recognizer::releaseGrid() {
    scoreGrid_.reset();
    rowNoteCounts_.reset();
    gridRows_ = 0;
}

void Recognizer::allocateGrid() {
    releaseGrid();
    if (blockCount_ <= 0 || subsampling_ <= 0) return;
    const std::int64_t rows = static_cast<std::int64_t>(subsampling_) * blockCount_;
    const auto rowCount = static_cast<std::size_t>(rows);
    std::unique_ptr<std::uint8_t[]> grid(new (std::nothrow) std::uint8_t[rowCount * kSlotsPerRow]);
    if (!grid) return;
    // Without counters the grid cannot be filled, so the caller is told the
    // same way as for a missing grid: scoreGrid() stays null.
    std::unique_ptr<std::int32_t[]> counts(new (std::nothrow) std::int32_t[rowCount]());
    if (!counts) return;
    std::fill_n(grid.get(), rowCount * kSlotsPerRow, kEmptySlot);
    scoreGrid_ = std::move(grid);
    rowNoteCounts_ = std::move(counts);
    gridRows_ = rows;
}

void Recognizer::clear() {
    releaseGrid();
    signal_.clear();
    source_ = &signal_;
    blockSize_ = 0;
    polyphony_ = 0;
    blockCount_ = 0;
    progress_ = nullptr;
    windowType_ = Blackman;
}

}  // namespace selvik
