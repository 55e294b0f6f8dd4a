#pragma once

#include <cstdint>

#include "signal/Complex.h"

namespace selvik {

// Forward discrete Fourier transform, in place, natural order, unscaled:
// X[k] = sum_j x[j] e^(-i 2 pi j k / n), with 2 pi taken as 6.2831853.
//
// The result is bit for bit that of the radix-2 decimation-in-time recursion
// that splits x into even and odd halves at every level, combines them with
// double-precision twiddles c = cos(a), d = sin(a) where a is accumulated as
// a += (float)(-6.2831853 / n) per k, keeps the twiddled odd value in double
// and rounds E +- t to float; the length-2 case is a plain float add and
// subtract. Signed zeros included.
//
// n must be a power of two, at least 2 and at most kMaxFftLength; other
// lengths leave x unchanged. No heap allocation happens per call once a length
// has been used (per-length tables are built on first use, thread-safely).
inline constexpr std::int32_t kMaxFftLength = std::int32_t{1} << 16;

void fft(Complex* x, std::int32_t n);

// Transforms `count` independent arrays of n values each; array i ends bit for
// bit as fft(arrays[i], n) would leave it. Runs several transforms side by
// side where the processor allows.
void fftMany(Complex* const* arrays, std::int32_t count, std::int32_t n);

// For each i < count: outputs[i][k] = the transform of the real sequence
// inputs[i][0 .. n) (imaginary parts 0), bit for bit as fft() on {x, 0} gives
// it. Each output holds n values; inputs and outputs must not overlap.
void fftRealMany(const float* const* inputs, Complex* const* outputs, std::int32_t count,
                 std::int32_t n);

// As fftRealMany for outputs[i][0 .. n/2), the lower half of each spectrum,
// bit for bit; the rest of each output may be left as it was or overwritten.
// The lower half is all a real sequence's spectrum holds, and the lane
// kernels then skip the other half of their last level.
void fftRealManyLowerHalf(const float* const* inputs, Complex* const* outputs, std::int32_t count,
                          std::int32_t n);

}  // namespace selvik
