#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/ProgressIndicator.h"
#include "recognition/classic/ScoreGrid.h"
#include "signal/Signal.h"

namespace selvik {

// Turns the loaded recording into a score grid.
//
// Life:
//   1. Construction: no grid, empty signal, blockSize/polyphony/blockCount 0,
//      Blackman window, threshold 0.8.
//   2. loadWav(): reads and normalises the recording, then resets the
//      parameters to the load defaults (2048, 1, Blackman, 0.75). Or
//      analyseSignal(): the recognizer analyses a recording its caller holds.
//   3. Per analysis: the setters, setProgress(), allocateGrid(), then one
//      recognize() per pass.
//   4. The grid is read by the score-to-song conversion until the next
//      allocateGrid(), clear() or destruction.
//   5. clear(): releases grid, counters and signal; threshold and subsampling
//      keep their values.
//
// Invalid parameters are replaced by a default after a showMessage() naming it.
// Used from one thread; recognize() may spread its blocks over worker threads
// internally but touches the progress indicator only from the calling thread.
// Loads a recording the way the classic method always has: reads the WAV file
// (Signal::readWav), shows the status text of a failure and empties the
// signal, shows "For better results use signals with more than 4096
// samples." when the padded length is below 4096 (so after a failure too),
// and normalises the signal to a peak of 1. `detail`, when given, receives
// the reader's developer-readable reason of a failure (empty after success).
// True when the file was read.
bool loadClassicRecording(const char* path, Signal& signal, std::string* detail);

class Recognizer {
public:
    Recognizer() = default;
    ~Recognizer() = default;
    Recognizer(const Recognizer&) = delete;
    Recognizer& operator=(const Recognizer&) = delete;

    void loadWav(const char* path);
    // Analyses `recording` from now on instead of the recognizer's own signal,
    // until the next loadWav() or clear(); null returns to the own signal. The
    // caller keeps the recording alive and unchanged meanwhile.
    void analyseSignal(const Signal* recording) { source_ = recording != nullptr ? recording : &signal_; }
    // Developer-readable reason of the last failed readWav in loadWav (empty after success).
    const std::string& loadDetail() const { return loadDetail_; }

    void setBlockSize(std::int32_t n);
    void setPolyphony(std::int32_t n);
    void setWindowType(std::int32_t type);
    void setThreshold(float x);
    void setSubsampling(std::int32_t n);
    void setProgress(ProgressIndicator* progress) { progress_ = progress; }

    // Worker threads for recognize(): 0 means one per hardware core, 1 runs on
    // the calling thread only. The grid is identical for every value.
    void setThreadCount(int threads) { threadCount_ = threads; }

    // (Re)creates the grid (blockCount * subsampling rows, all kEmptySlot) and
    // zeroed row counters. Both stay null when blockCount <= 0 or either
    // allocation fails.
    void allocateGrid();

    // One recognition pass over the band [low, high] Hz at decimation factor f.
    void recognize(float low, float high, std::int32_t factor);

    void clear();

    // The recognizer's own signal (the loaded recording).
    Signal& signal() { return signal_; }
    const Signal& signal() const { return signal_; }
    // The signal the passes analyse: the own one, or the one given to analyseSignal().
    const Signal& analysedSignal() const { return *source_; }

    std::uint8_t* scoreGrid() { return scoreGrid_.get(); }
    const std::uint8_t* scoreGrid() const { return scoreGrid_.get(); }
    const std::int32_t* rowNoteCounts() const { return rowNoteCounts_.get(); }
    // Rows allocated by the last allocateGrid() (0 when there is no grid).
    std::int64_t gridRows() const { return gridRows_; }

    std::int32_t blockSize() const { return blockSize_; }
    std::int32_t polyphony() const { return polyphony_; }
    std::int32_t blockCount() const { return blockCount_; }
    std::int32_t windowType() const { return windowType_; }
    float threshold() const { return threshold_; }
    std::int32_t subsampling() const { return subsampling_; }
    ProgressIndicator* progress() const { return progress_; }

private:
    void releaseGrid();

    std::unique_ptr<std::uint8_t[]> scoreGrid_;
    Signal signal_;
    const Signal* source_ = &signal_;
    std::int32_t blockSize_ = 0;
    std::int32_t polyphony_ = 0;
    std::int32_t blockCount_ = 0;
    std::int32_t windowType_ = 2;
    float threshold_ = 0.8f;
    std::int32_t subsampling_ = 4;
    std::unique_ptr<std::int32_t[]> rowNoteCounts_;
    std::int64_t gridRows_ = 0;
    ProgressIndicator* progress_ = nullptr;
    int threadCount_ = 0;
    std::string loadDetail_;
};

}  // namespace selvik
