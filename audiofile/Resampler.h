#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audiofile/SampleBlocks.h"

namespace selvik {

// Streams mono samples from a source rate to 44100 Hz into SampleBlocks, with
// libsoxr at its high quality setting; at 44100 Hz the samples pass through
// untouched. Owns its libsoxr state.
class Resampler {
public:
    Resampler() = default;
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Prepares for a new stream from `rate` Hz (> 0). false, with `error`
    // set, when libsoxr cannot be set up.
    bool start(std::int32_t rate, std::string& error);

    // The outcome of feed() and finish().
    enum class Result { Done, OutOfMemory, Failed };

    // Resamples n samples and appends what comes out. Failed sets `error`.
    Result feed(const float* samples, std::size_t n, SampleBlocks& out, std::string& error);

    // Ends the stream: appends the samples still held back by the filter.
    Result finish(SampleBlocks& out, std::string& error);

private:
    Result run(const float* samples, std::size_t n, SampleBlocks& out, std::string& error);
    void release();

    void* soxr_ = nullptr;  // soxr_t; null when passing through
};

}  // namespace selvik
