#include "signal/Signal.h"

#include <cstdint>
#include <cstdlib>

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

void Signal::normalize() {
    if (count_ <= 0) return;
    double peak = 0.0;
    for (std::int32_t i = 0; i < count_; ++i) {
        const double magnitude = samples_[i] < 0.0f ? -static_cast<double>(samples_[i])
                                                    : static_cast<double>(samples_[i]);
        if (magnitude > peak) peak = magnitude;
    }
    if (!(peak > 0.0)) return;
    const double factor = 1.0 / peak;
    for (std::int32_t i = 0; i < count_; ++i) {
        samples_[i] = static_cast<float>(samples_[i] * factor);
    }
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
