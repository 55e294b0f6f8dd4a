#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "signal/Complex.h"
#include "signal/SignalStatus.h"

namespace selvik {

class WavByteSource;

// Mono audio as single-precision samples, stored in an array padded to a power
// of two, with an optional complex spectrum of the same length beside it.
//
// Life:
//   1. A new Signal is empty: sampleRate -1, count 0, paddedLength 0, no arrays.
//   2. create() or readWav() clears it first, then fills it; on failure it stays empty.
//   3. allocateSpectrum() adds a zeroed spectrum to a filled Signal; transform()
//      may then run any number of times.
//   4. clear() or destruction releases both arrays and returns to the empty state.
//
// The Signal owns both arrays. Entries from count up to paddedLength are 0.0
// after create() and readWav(). Both arrays come from calloc: fresh pages
// from the system are zero already, so padding that is never written costs no
// memory (an hour of samples pads to 2^28 floats, 1 GiB, 0.4 GiB of padding).
// No operation throws; allocation failures are reported as OutOfMemory.
class Signal {
public:
    // Largest count accepted: its padded length still fits a 32-bit signed value.
    static constexpr std::int64_t kMaxCount = std::int64_t{1} << 30;

    Signal() = default;
    ~Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    Signal(Signal&&) noexcept = default;
    Signal& operator=(Signal&&) noexcept = default;

    // Samples per second; -1 when unset (create leaves it unset, readWav sets 44100).
    std::int32_t sampleRate() const { return sampleRate_; }
    // For signals made with create(); clear() unsets it again.
    void setSampleRate(std::int32_t rate) { sampleRate_ = rate; }
    // Number of valid samples (frames for a stereo file).
    std::int32_t count() const { return count_; }
    // Length of samples() and spectrum(): smallest power of two >= count; 0 when empty.
    std::int32_t paddedLength() const { return paddedLength_; }
    // paddedLength() floats, or null when empty.
    float* samples() { return samples_.get(); }
    const float* samples() const { return samples_.get(); }
    // paddedLength() complex values, or null before allocateSpectrum().
    Complex* spectrum() { return spectrum_.get(); }
    const Complex* spectrum() const { return spectrum_.get(); }

    // Releases both arrays and returns to the empty state.
    void clear();

    // Makes a zeroed signal of n samples; sampleRate stays -1.
    // BadParameter for n <= 0, OutOfMemory when n exceeds kMaxCount or the array
    // cannot be allocated; the Signal is empty after a failure.
    SignalStatus create(std::int32_t n);

    // For a reader that writes the samples itself: empties the Signal, then
    // makes a zeroed array for `count` samples at `rate` Hz, as readWav does
    // (count 0..kMaxCount; 0 gives the two zero entries of an empty data
    // chunk, paddedLength 2). OutOfMemory, with the Signal empty, when the
    // count is out of range or the array cannot be allocated.
    SignalStatus createForReading(std::int64_t count, std::int32_t rate);

    // Circular access over paddedLength (not count): i = -1 is the last padded
    // entry, i = paddedLength is entry 0. Requires paddedLength > 0.
    float& sampleAt(std::int32_t i) {
        std::int32_t r = i % paddedLength_;
        if (r < 0) r += paddedLength_;
        return samples_[static_cast<std::size_t>(r)];
    }

    // Reads a 44100 Hz PCM WAV file (1 or 2 channels, up to 16 bits) into the
    // Signal as mono samples in -1..1. When `detail` is given and the read
    // fails, it receives a developer-readable reason naming the field or chunk.
    // The file is read in small pieces (signal/WavLayout.h has the rules), so
    // memory beyond the samples stays small.
    SignalStatus readWav(const char* path, std::string* detail = nullptr);

    // The same as readWav on a file already in memory (used by the fuzzer).
    // Never reads outside data[0 .. size).
    SignalStatus readWavBytes(const unsigned char* data, std::size_t size,
                              std::string* detail = nullptr);

    // The same on any source of bytes (what readWav and readWavBytes use). A
    // source that fails to give bytes it has is a FileError, "read N of M
    // bytes", and leaves the Signal empty.
    SignalStatus readWavFrom(WavByteSource& source, std::string* detail = nullptr);

    // Scales the first count samples to a peak magnitude of 1; an all-zero
    // signal and the padding are left unchanged.
    void normalize();

    // (Re)allocates a spectrum of paddedLength zeroed complex values.
    // OutOfMemory leaves spectrum() null and the samples untouched.
    SignalStatus allocateSpectrum();

    // spectrum[i] = samples[i] + 0i for i < count (entries from count on are left
    // as they are), then the forward FFT of paddedLength points in place.
    // Requires a spectrum and paddedLength >= 2. Always NoError.
    SignalStatus transform();

    // The padded length for a count of 1..kMaxCount; 2 for a count of 0 (an
    // empty data chunk); -1 for a count that is negative or too large.
    static std::int32_t paddedLengthFor(std::int64_t count);

private:
    // Empties the Signal, then allocates a zeroed array for `count` samples.
    SignalStatus allocateSamples(std::int64_t count);

    // Releases with free() what calloc gave.
    struct FreeDeleter {
        void operator()(void* p) const { std::free(p); }
    };

    std::int32_t sampleRate_ = -1;
    std::int32_t count_ = 0;
    std::int32_t paddedLength_ = 0;
    std::unique_ptr<float[], FreeDeleter> samples_;
    std::unique_ptr<Complex[], FreeDeleter> spectrum_;
};

}  // namespace selvik
