#include "cli/BatchConversion.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/Conversion.h"
#include "cli/ExitStatus.h"
#include "cli/InputReport.h"
#include "core/ProgressIndicator.h"

namespace selvik::cli {

namespace {

// One job's share of the batch's progress: the stages it has run through
// (each setRange() starts the next) and its position in the current one, as a
// fraction of the whole job that the drawing thread reads.
class JobProgress final : public ProgressIndicator {
public:
    explicit JobProgress(int stages) : stages_(std::max(stages, 1)) {}
    void setRange(std::int32_t minimum, std::int32_t maximum) override {
        ++stage_;
        minimum_ = minimum;
        maximum_ = maximum;
        publish(0.0);
    }
    void setPosition(std::int32_t position) override {
        const double span = static_cast<double>(maximum_) - minimum_;
        publish(span > 0 ? std::clamp((position - minimum_) / span, 0.0, 1.0) : 1.0);
    }
    double done() const { return done_.load(std::memory_order_relaxed); }

private:
    void publish(double withinStage) {
        const double stage = std::clamp(stage_ - 1 + withinStage, 0.0, static_cast<double>(stages_));
        done_.store(std::max(done(), stage / stages_), std::memory_order_relaxed);
    }

    int stages_;
    int stage_ = 0;
    std::int32_t minimum_ = 0;
    std::int32_t maximum_ = 0;
    std::atomic<double> done_{0.0};
};

struct Job {
    std::unique_ptr<InputReport> report;
    std::unique_ptr<JobProgress> progress;
    std::optional<int> status;  // set when finished; guarded by the batch's lock
};

class BatchLine {
public:
    BatchLine(std::FILE* terminal, std::size_t total) : terminal_(terminal), total_(total) {}

    void draw(std::size_t finished, double share) {
        constexpr int kWidth = 30;
        const int percent = static_cast<int>(std::clamp(share, 0.0, 1.0) * 100.0);
        const int filled = percent * kWidth / 100;
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.append(static_cast<std::size_t>(kWidth - filled), '.');
        std::fprintf(terminal_, "\rselvik-convert: %zu/%zu inputs [%s] %3d%%", finished, total_, bar.c_str(),
                     percent);
        std::fflush(terminal_);
        drawn_ = true;
    }
    void erase() {
        if (!drawn_) return;
        std::fprintf(terminal_, "\r\033[K");
        std::fflush(terminal_);
        drawn_ = false;
    }

private:
    std::FILE* terminal_;
    std::size_t total_;
    bool drawn_ = false;
};

int convertSideBySide(const ConverterOptions& options, std::FILE* out, std::FILE* err, bool showProgress,
                      const std::atomic<bool>& interrupted) {
    const std::size_t count = options.inputs.size();
    const int stages = progressStages(options);
    std::vector<Job> jobs(count);
    for (std::size_t i = 0; i < count; ++i) {
        jobs[i].report = std::make_unique<InputReport>(options.inputs[i], out, err, true);
        jobs[i].progress = std::make_unique<JobProgress>(stages);
    }

    std::mutex lock;
    std::condition_variable finished;
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next.fetch_add(1); i < count && !interrupted; i = next.fetch_add(1)) {
            const int status =
                convertInput(*jobs[i].report, options, jobs[i].progress.get(), err, false, interrupted, 1);
            std::lock_guard guard(lock);
            jobs[i].status = status;
            finished.notify_all();
        }
    };
    const std::size_t threadCount = std::min<std::size_t>(static_cast<std::size_t>(options.jobs), count);
    std::vector<std::thread> threads;
    threads.reserve(threadCount);
    for (std::size_t t = 0; t < threadCount; ++t) threads.emplace_back(work);

    BatchLine line(err, count);
    int status = kExitOk;
    std::size_t written = 0;
    // Writes every finished input whose predecessors have all been written.
    auto writeReady = [&] {
        while (written < count && jobs[written].status) {
            line.erase();
            jobs[written].report->flush();
            status = std::max(status, *jobs[written].status);
            ++written;
        }
    };
    {
        std::unique_lock wait(lock);
        for (writeReady(); written < count && !interrupted; writeReady()) {
            if (showProgress) {
                std::size_t done = 0;
                double share = 0.0;
                for (const Job& job : jobs) {
                    done += job.status ? 1 : 0;
                    share += job.status ? 1.0 : job.progress->done();
                }
                line.draw(done, share / static_cast<double>(count));
            }
            finished.wait_for(wait, std::chrono::milliseconds(100));
        }
    }
    // After an interruption the running jobs stop at their next step.
    for (std::thread& thread : threads) thread.join();
    writeReady();
    line.erase();
    return interrupted ? kExitInterrupted : status;
}

}  // namespace

int convertAll(const ConverterOptions& options, std::FILE* out, std::FILE* err, bool showProgress,
               const std::atomic<bool>& interrupted) {
    if (options.jobs > 1 && options.inputs.size() > 1) {
        return convertSideBySide(options, out, err, showProgress, interrupted);
    }
    int status = kExitOk;
    for (const std::string& input : options.inputs) {
        if (interrupted) break;
        status = std::max(status, convertInput(input, options, out, err, showProgress, interrupted));
    }
    return interrupted ? kExitInterrupted : status;
}

}  // namespace selvik::cli
