#include "signal/Signal.h"

#include <cstdint>
#include <cmath>
#include <cstdlib>

#include "core/LargePageHint.h"
#include "core/VectorClones.h"
#include "signal/Fft.h"

namespace selvik {

std::int32_t Signal::paddedLengthFor(std::int64_t count) {
    if (count < 0 || count > kMaxCount) return -1;
    if (count == 0) return 2;
    std::int64_t length = 1;
    while (length < count) length <<= 1;
    return static_cast<std::int32_t>(length);
}

void Signal::clear() {
    samples_.reset();
    spectrum_.reset();
    sampleRate_ = -1;
    count_ = 0;
    paddedLength_ = 0;
}

SignalStatus Signal::allocateSamples(std::int64_t count) {
    clear();
    const std::int32_t padded = paddedLengthFor(count);
    if (padded < 0) return SignalStatus::OutOfMemory;
    // Only a platform with a narrow size type can overflow here.
    if (static_cast<std::uint64_t>(padded) > SIZE_MAX / sizeof(float)) {
        return SignalStatus::OutOfMemory;
    }
    samples_.reset(
        static_cast<float*>(std::calloc(static_cast<std::size_t>(padded), sizeof(float))));
    if (!samples_) return SignalStatus::OutOfMemory;
    hintLargePages(samples_.get(), static_cast<std::size_t>(padded) * sizeof(float));
    count_ = static_cast<std::int32_t>(count);
    paddedLength_ = padded;
    return SignalStatus::NoError;
}

SignalStatus Signal::createForReading(std::int64_t count, std::int32_t rate) {
    const SignalStatus status = allocateSamples(count);
    if (status == SignalStatus::NoError) sampleRate_ = rate;
    return status;
}

SignalStatus Signal::create(std::int32_t n) {
    clear();
    if (n <= 0) return SignalStatus::BadParameter;
    return allocateSamples(n);
}

namespace {

// The largest magnitude among samples[0 .. count), 0 for none; NaN is passed
// over. Widening a float to double is exact and keeps the order, so the peak
// of the floats widened is the peak of the widened floats. Eight running
// maxima instead of one let the loop run in vector lanes.
SELVIK_VECTOR_CLONES
float peakMagnitude(const float* samples, std::int32_t count) {
    constexpr int kLanes = 8;
    float lanes[kLanes] = {};
    std::int32_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (int l = 0; l < kLanes; ++l) {
            const float magnitude = std::fabs(samples[i + l]);
            lanes[l] = magnitude > lanes[l] ? magnitude : lanes[l];
        }
    }
    float peak = 0.0f;
    for (; i < count; ++i) {
        const float magnitude = std::fabs(samples[i]);
        peak = magnitude > peak ? magnitude : peak;
    }
    for (float lane : lanes) peak = lane > peak ? lane : peak;
    return peak;
}

SELVIK_VECTOR_CLONES
void scaleSamples(float* samples, std::int32_t count, double factor) {
    for (std::int32_t i = 0; i < count; ++i) samples[i] = static_cast<float>(samples[i] * factor);
}

}  // namespace

void Signal::normalize() {
    if (count_ <= 0) return;
    const double peak = peakMagnitude(samples_.get(), count_);
    if (!(peak > 0.0)) return;
    scaleSamples(samples_.get(), count_, 1.0 / peak);
}

SignalStatus Signal::allocateSpectrum() {
    spectrum_.reset();
    if (paddedLength_ <= 0) return SignalStatus::OutOfMemory;
    spectrum_.reset(static_cast<Complex*>(
        std::calloc(static_cast<std::size_t>(paddedLength_), sizeof(Complex))));
    return spectrum_ ? SignalStatus::NoError : SignalStatus::OutOfMemory;
}

SignalStatus Signal::transform() {
    for (std::int32_t i = 0; i < count_; ++i) spectrum_[i] = Complex{samples_[i], 0.0f};
    fft(spectrum_.get(), paddedLength_);
    return SignalStatus::NoError;
}

}  // namespace selvik
