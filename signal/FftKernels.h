#pragma once

// Private to the transform: the shared tables and the SIMD entry points that
// run several transforms side by side, one per lane.

#include <cstdint>

#include "signal/Complex.h"

namespace selvik::fftdetail {

inline constexpr int kMaxLog2 = 16;

// The lane kernels exist on x86-64 only; elsewhere every transform, also of
// a batch, takes the scalar path.
#if defined(__x86_64__)
inline constexpr bool kLaneKernels = true;
#else
inline constexpr bool kLaneKernels = false;
#endif

// One group of transforms run together. Exactly one of complexIn / realIn is
// set; each holds `width` pointers (the kernel's lane count). Lanes the caller
// does not need repeat a real input and point their output at a spare buffer,
// so the kernels never branch per lane.
struct LaneGroup {
    const Complex* const* complexIn;
    const float* const* realIn;
    Complex* const* out;
    // Only outputs 0 .. n/2 - 1 are wanted; the other half of the last level
    // is neither computed nor written.
    bool lowerHalf = false;
};

// Twiddles of the level of length m start at offset m / 2 - 1 (m = 4 .. 2^16).
struct Tables {
    const double* cos;
    const double* sin;
    const std::uint16_t* bitReverse16;  // 16-bit reversal of 0 .. 65535
};

// Both need the twiddles of every level up to 2^log2n and the bit-reversal
// table to exist. `scratch` holds n * 2 * width floats, aligned to 64 bytes.
// Inputs are read completely before any output is written.
void transformLanesAvx2(const LaneGroup& group, const Tables& tables, int log2n, float* scratch);
void transformLanesAvx512(const LaneGroup& group, const Tables& tables, int log2n,
                          float* scratch);

// One transform with AVX-512 across the butterflies of each level; n >= 16.
// Exactly one of complexIn / realIn is set; complexIn may equal out. `scratch`
// holds 2 n floats, aligned to 64 bytes.
void transformSingleAvx512(const Complex* complexIn, const float* realIn, Complex* out,
                           const Tables& tables, int log2n, float* scratch);
inline constexpr int kSingleMinLog2 = 4;

inline constexpr int kAvx2Width = 4;

// Caps the instruction set the transforms use, so tests can run every path on
// a processor that has them all. The default, Best, uses what the processor
// offers; a cap above that has no effect. Not meant to change while transforms
// run on other threads.
enum class InstructionSet { Scalar = 0, Avx2 = 1, Best = 2 };
void limitInstructionSet(InstructionSet cap);
inline constexpr int kAvx512Width = 8;

}  // namespace selvik::fftdetail
