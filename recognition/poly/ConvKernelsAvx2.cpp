// AVX2 + FMA path of the network's convolutions: output channels in 8-wide
// vectors, several output bins at once so each weight vector loaded serves
// them all.
#include "recognition/poly/ConvKernels.h"

// clang ignores GCC target pragmas; both spellings enable the instruction
// sets for the functions of this file only.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif

#include <immintrin.h>

namespace selvik::poly::detail {

namespace {

// Output bins j0 .. j0 + JB - 1 (every tap inside the input) and channels
// co0 .. co0 + 8 CV - 1.
template <int CV, int JB>
void interiorBlock(const ConvFrame& c, std::int32_t co0, std::int32_t j0) {
    const std::int64_t cp = c.coutPadded;
    __m256 acc[JB][CV];
    #pragma GCC unroll 8
    for (int v = 0; v < CV; ++v) {
        const __m256 b = _mm256_loadu_ps(c.bias + co0 + 8 * v);
        #pragma GCC unroll 8
        for (int jj = 0; jj < JB; ++jj) acc[jj][v] = b;
    }
    const std::int64_t step = static_cast<std::int64_t>(c.stride) * c.cin;
    for (std::int32_t dt = 0; dt < c.kt; ++dt) {
        const float* row = c.rows[dt];
        for (std::int32_t df = 0; df < c.kf; ++df) {
            const float* x = row + static_cast<std::int64_t>(j0 * c.stride - c.pad + df) * c.cin;
            const float* w = c.weights + (static_cast<std::int64_t>(dt) * c.kf + df) * c.cin * cp + co0;
            for (std::int32_t ci = 0; ci < c.cin; ++ci) {
                __m256 wv[CV];
                #pragma GCC unroll 8
                for (int v = 0; v < CV; ++v) wv[v] = _mm256_loadu_ps(w + ci * cp + 8 * v);
                #pragma GCC unroll 8
                for (int jj = 0; jj < JB; ++jj) {
                    const __m256 xv = _mm256_broadcast_ss(x + jj * step + ci);
                    #pragma GCC unroll 8
                    for (int v = 0; v < CV; ++v) acc[jj][v] = _mm256_fmadd_ps(xv, wv[v], acc[jj][v]);
                }
            }
        }
    }
    const __m256 zero = _mm256_setzero_ps();
    #pragma GCC unroll 8
    for (int jj = 0; jj < JB; ++jj) {
        float* out = c.out + (j0 + jj) * cp + co0;
        #pragma GCC unroll 8
        for (int v = 0; v < CV; ++v) {
            const __m256 r = c.relu ? _mm256_max_ps(acc[jj][v], zero) : acc[jj][v];
            _mm256_storeu_ps(out + 8 * v, r);
        }
    }
}

// One output bin near an edge: taps outside the input are skipped.
template <int CV>
void edgeBin(const ConvFrame& c, std::int32_t co0, std::int32_t j) {
    const std::int64_t cp = c.coutPadded;
    __m256 acc[CV];
    #pragma GCC unroll 8
    for (int v = 0; v < CV; ++v) acc[v] = _mm256_loadu_ps(c.bias + co0 + 8 * v);
    for (std::int32_t dt = 0; dt < c.kt; ++dt) {
        const float* row = c.rows[dt];
        for (std::int32_t df = 0; df < c.kf; ++df) {
            const std::int32_t at = j * c.stride - c.pad + df;
            if (at < 0 || at >= c.widthIn) continue;
            const float* x = row + static_cast<std::int64_t>(at) * c.cin;
            const float* w = c.weights + (static_cast<std::int64_t>(dt) * c.kf + df) * c.cin * cp + co0;
            for (std::int32_t ci = 0; ci < c.cin; ++ci) {
                const __m256 xv = _mm256_broadcast_ss(x + ci);
                #pragma GCC unroll 8
                for (int v = 0; v < CV; ++v) acc[v] = _mm256_fmadd_ps(xv, _mm256_loadu_ps(w + ci * cp + 8 * v), acc[v]);
            }
        }
    }
    const __m256 zero = _mm256_setzero_ps();
    float* out = c.out + j * cp + co0;
    #pragma GCC unroll 8
    for (int v = 0; v < CV; ++v) _mm256_storeu_ps(out + 8 * v, c.relu ? _mm256_max_ps(acc[v], zero) : acc[v]);
}

template <int CV, int JB>
void channelBlock(const ConvFrame& c, std::int32_t co0) {
    // Interior bins: j * stride - pad >= 0 and j * stride - pad + kf <= widthIn.
    std::int32_t lo = 0;
    while (lo < c.widthOut && lo * c.stride - c.pad < 0) ++lo;
    std::int32_t hi = c.widthOut;
    while (hi > lo && (hi - 1) * c.stride - c.pad + c.kf > c.widthIn) --hi;
    for (std::int32_t j = 0; j < lo; ++j) edgeBin<CV>(c, co0, j);
    std::int32_t j = lo;
    for (; j + JB <= hi; j += JB) interiorBlock<CV, JB>(c, co0, j);
    for (; j < hi; ++j) interiorBlock<CV, 1>(c, co0, j);
    for (j = hi; j < c.widthOut; ++j) edgeBin<CV>(c, co0, j);
}

}  // namespace

void convFrameAvx2(const ConvFrame& c) {
    std::int32_t co0 = 0;
    const std::int32_t cp = c.coutPadded;
    if (cp % 24 == 0 && cp % 16 != 0) {
        for (; co0 < cp; co0 += 24) channelBlock<3, 4>(c, co0);
        return;
    }
    for (; co0 + 16 <= cp; co0 += 16) channelBlock<2, 4>(c, co0);
    if (co0 < cp) channelBlock<1, 8>(c, co0);
}

}  // namespace selvik::poly::detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
