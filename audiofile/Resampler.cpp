#include "audiofile/Resampler.h"

#include <soxr.h>

namespace selvik {

Resampler::~Resampler() { release(); }

void Resampler::release() {
    if (soxr_ != nullptr) soxr_delete(static_cast<soxr_t>(soxr_));
    soxr_ = nullptr;
}

bool Resampler::start(std::int32_t rate, std::string& error) {
    release();
    if (rate == 44100) return true;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: the loader runs beside the user interface and the tests.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t failure = nullptr;
    soxr_t soxr = soxr_create(static_cast<double>(rate), 44100.0, 1, &failure, &io, &quality,
                              &runtime);
    if (soxr == nullptr || failure != nullptr) {
        if (soxr != nullptr) soxr_delete(soxr);
        error = soxr_strerror(failure);
        return false;
    }
    soxr_ = soxr;
    return true;
}

Resampler::Result Resampler::feed(const float* samples, std::size_t n, SampleBlocks& out,
                                  std::string& error) {
    if (soxr_ == nullptr) return out.append(samples, n) ? Result::Done : Result::OutOfMemory;
    if (n == 0) return Result::Done;
    return run(samples, n, out, error);
}

Resampler::Result Resampler::finish(SampleBlocks& out, std::string& error) {
    if (soxr_ == nullptr) return Result::Done;
    return run(nullptr, 0, out, error);
}

// Writes straight into the blocks' free room. With input, runs until all of it
// is taken and an output call leaves room unused; without (the end of the
// stream), until the filter gives nothing more.
Resampler::Result Resampler::run(const float* samples, std::size_t n, SampleBlocks& out,
                                 std::string& error) {
    auto* soxr = static_cast<soxr_t>(soxr_);
    for (;;) {
        std::size_t available = 0;
        float* room = out.room(available);
        if (room == nullptr) return Result::OutOfMemory;
        std::size_t used = 0;
        std::size_t made = 0;
        const soxr_error_t failure = soxr_process(soxr, samples, n, samples ? &used : nullptr,
                                                  room, available, &made);
        if (failure != nullptr) {
            error = soxr_strerror(failure);
            return Result::Failed;
        }
        out.commit(made);
        if (samples != nullptr) {
            samples += used;
            n -= used;
            if (n == 0 && made < available) return Result::Done;
        } else if (made == 0) {
            return Result::Done;
        }
    }
}

}  // namespace selvik
