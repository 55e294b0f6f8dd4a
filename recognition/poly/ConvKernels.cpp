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
// channels). Output bins go in blocks of JB with the channel count fixed at
// compile time where it is a common one, so compilers keep the sums in
// vector registers (SSE2, NEON) and reuse each weight row JB times.
template <int CP, int JB>
void plainBlock(const ConvFrame& c, std::int32_t j0, std::int32_t cp) {
    const std::int32_t n = CP > 0 ? CP : cp;
    float acc[JB][CP > 0 ? CP : 1];
    float* out = c.out + static_cast<std::int64_t>(j0) * cp;
    float* sums[JB];
    for (int jj = 0; jj < JB; ++jj) sums[jj] = CP > 0 ? acc[jj] : out + static_cast<std::int64_t>(jj) * cp;
    for (int jj = 0; jj < JB; ++jj) {
        for (std::int32_t co = 0; co < n; ++co) sums[jj][co] = c.bias[co];
    }
    for (std::int32_t dt = 0; dt < c.kt; ++dt) {
        const float* row = c.rows[dt];
        for (std::int32_t df = 0; df < c.kf; ++df) {
            const float* w = c.weights + (static_cast<std::int64_t>(dt) * c.kf + df) * c.cin * cp;
            for (int jj = 0; jj < JB; ++jj) {
                const std::int32_t at = (j0 + jj) * c.stride - c.pad + df;
                if (at < 0 || at >= c.widthIn) continue;
                const float* x = row + static_cast<std::int64_t>(at) * c.cin;
                float* a = sums[jj];
                for (std::int32_t ci = 0; ci < c.cin; ++ci) {
                    const float v = x[ci];
                    const float* wc = w + static_cast<std::int64_t>(ci) * cp;
                    for (std::int32_t co = 0; co < n; ++co) a[co] += v * wc[co];
                }
            }
        }
    }
    for (int jj = 0; jj < JB; ++jj) {
        float* o = out + static_cast<std::int64_t>(jj) * cp;
        for (std::int32_t co = 0; co < n; ++co) {
            const float v = sums[jj][co];
            o[co] = c.relu && v < 0.0f ? 0.0f : v;
        }
    }
}

template <int CP>
void plainFrame(const ConvFrame& c) {
    constexpr int kBlock = CP > 0 && CP <= 16 ? 4 : 2;
    std::int32_t j = 0;
    for (; j + kBlock <= c.widthOut; j += kBlock) plainBlock<CP, kBlock>(c, j, c.coutPadded);
    for (; j < c.widthOut; ++j) plainBlock<CP, 1>(c, j, c.coutPadded);
}

void convFrameScalar(const ConvFrame& c) {
    switch (c.coutPadded) {
        case 8: plainFrame<8>(c); break;
        case 16: plainFrame<16>(c); break;
        case 24: plainFrame<24>(c); break;
        case 32: plainFrame<32>(c); break;
        default: plainFrame<0>(c); break;
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
