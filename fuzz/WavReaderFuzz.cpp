// libFuzzer target: arbitrary bytes through the WAV reader. A read that
// succeeds must leave a Signal that keeps every promise of its contract.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "signal/Signal.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    selvik::Signal signal;
    std::string detail;
    const selvik::SignalStatus status = signal.readWavBytes(data, size, &detail);

    if (status != selvik::SignalStatus::NoError) {
        // A refused file leaves the Signal empty and says why.
        require(status == selvik::SignalStatus::BadFileFormat ||
                status == selvik::SignalStatus::OutOfMemory);
        require(signal.count() == 0 && signal.paddedLength() == 0);
        require(signal.samples() == nullptr && signal.sampleRate() == -1);
        require(!detail.empty());
        return 0;
    }

    const std::int32_t count = signal.count();
    const std::int32_t padded = signal.paddedLength();
    require(detail.empty());
    require(signal.sampleRate() == 44100);
    require(count >= 0);
    // Every frame came out of the input, at least one byte each.
    require(static_cast<std::uint64_t>(count) <= size);
    require(signal.samples() != nullptr);
    if (count == 0) {
        require(padded == 2);
    } else {
        // The smallest power of two not below count.
        require(padded >= count && (padded & (padded - 1)) == 0);
        require(padded == 1 || padded / 2 < count);
    }
    const float* samples = signal.samples();
    for (std::int32_t i = 0; i < padded; ++i) {
        if (i >= count) {
            require(samples[i] == 0.0f);
        } else {
            require(std::isfinite(samples[i]) && samples[i] >= -1.0f && samples[i] < 1.0f);
        }
    }

    signal.normalize();
    for (std::int32_t i = 0; i < padded; ++i) {
        if (i >= count) {
            require(samples[i] == 0.0f);
        } else {
            require(samples[i] >= -1.0f && samples[i] <= 1.0f);
        }
    }
    require(signal.count() == count && signal.paddedLength() == padded);
    return 0;
}
