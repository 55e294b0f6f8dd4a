#include "recognition/poly/ConvKernels.h"

#include <atomic>

namespace selvik::poly::detail {

namespace {

std::atomic<bool> gScalarOnly{false};

#if defined(SELVIK_POLY_AVX2)
bool detectAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
#endif

}  // namespace

// The same sums in the same order as the AVX2 path (taps, then input
// channels), written so that compilers can vectorise the channel loop.
void convFrameScalar(const ConvFrame& c) {
    const std::int32_t cp = c.coutPadded;
    for (std::int32_t j = 0; j < c.widthOut; ++j) {
        float* acc = c.out + static_cast<std::int64_t>(j) * cp;
        for (std::int32_t co = 0; co < cp; ++co) acc[co] = c.bias[co];
        const std::int32_t base = j * c.stride - c.pad;
        for (std::int32_t dt = 0; dt < c.kt; ++dt) {
            const float* row = c.rows[dt];
            for (std::int32_t df = 0; df < c.kf; ++df) {
                const std::int32_t at = base + df;
                if (at < 0 || at >= c.widthIn) continue;
                const float* x = row + static_cast<std::int64_t>(at) * c.cin;
                const float* w = c.weights + (static_cast<std::int64_t>(dt) * c.kf + df) * c.cin * cp;
                for (std::int32_t ci = 0; ci < c.cin; ++ci) {
                    const float v = x[ci];
                    const float* wc = w + static_cast<std::int64_t>(ci) * cp;
                    for (std::int32_t co = 0; co < cp; ++co) acc[co] += v * wc[co];
                }
            }
        }
        if (c.relu) {
            for (std::int32_t co = 0; co < cp; ++co) acc[co] = acc[co] > 0.0f ? acc[co] : 0.0f;
        }
    }
}

void convFrame(const ConvFrame& c) {
#if defined(SELVIK_POLY_AVX2)
    static const bool avx2 = detectAvx2();
    if (avx2 && !gScalarOnly.load(std::memory_order_relaxed)) {
        convFrameAvx2(c);
        return;
    }
#endif
    convFrameScalar(c);
}

void useScalarKernelsOnly(bool scalarOnly) { gScalarOnly.store(scalarOnly, std::memory_order_relaxed); }

bool usingVectorKernels() {
#if defined(SELVIK_POLY_AVX2)
    static const bool avx2 = detectAvx2();
    return avx2 && !gScalarOnly.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

}  // namespace selvik::poly::detail
