// AVX2 kernel: four transforms side by side, one per double lane.
#include <cstdint>

#include "signal/FftKernels.h"

// clang ignores GCC target pragmas; both spellings enable the kernel's
// instruction set for the functions of this file only.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include <immintrin.h>

#include "signal/FftLaneKernel.h"

namespace selvik::fftdetail {

namespace {

struct Avx2 {
    static constexpr int kWidth = kAvx2Width;
    using D = __m256d;
    using F = __m128;
    static D load(const float* p) { return _mm256_cvtps_pd(_mm_load_ps(p)); }
    static D widen(F v) { return _mm256_cvtps_pd(v); }
    static D round(D v) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(v)); }
    static D zero() { return _mm256_setzero_pd(); }
    static F addF(F a, F b) { return _mm_add_ps(a, b); }
    static F subF(F a, F b) { return _mm_sub_ps(a, b); }

    // cols[t] = { rows[0][j + t], ..., rows[3][j + t] } for t = 0 .. 3.
    static void transposeRows(const float* const* rows, std::int32_t j, F* cols) {
        __m128 r0 = _mm_loadu_ps(rows[0] + j);
        __m128 r1 = _mm_loadu_ps(rows[1] + j);
        __m128 r2 = _mm_loadu_ps(rows[2] + j);
        __m128 r3 = _mm_loadu_ps(rows[3] + j);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        cols[0] = r0;
        cols[1] = r1;
        cols[2] = r2;
        cols[3] = r3;
    }
    static void store(float* p, D v) { _mm_store_ps(p, _mm256_cvtpd_ps(v)); }
    static D broadcast(const double* p) { return _mm256_broadcast_sd(p); }
    static D add(D a, D b) { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm256_mul_pd(a, b); }

    static F narrow(D v) { return _mm256_cvtpd_ps(v); }

    // Writes values k and k + 1 of every lane from two rows of real and
    // imaginary parts; pairs (re, im) move as 64-bit units, one 16-byte store
    // per lane.
    static constexpr int kChunk = 2;
    // Elements per cache block: 16 KB of scratch, half the first-level cache.
    static constexpr std::int32_t kCacheBlock = 16384 / (2 * kWidth * 4);
    static void scatterChunk(Complex* const* out, std::int32_t k, const F* re, const F* im) {
        const __m128d lo0 = _mm_castps_pd(_mm_unpacklo_ps(re[0], im[0]));  // lanes 0, 1 at k
        const __m128d hi0 = _mm_castps_pd(_mm_unpackhi_ps(re[0], im[0]));  // lanes 2, 3 at k
        const __m128d lo1 = _mm_castps_pd(_mm_unpacklo_ps(re[1], im[1]));
        const __m128d hi1 = _mm_castps_pd(_mm_unpackhi_ps(re[1], im[1]));
        _mm_storeu_pd(reinterpret_cast<double*>(out[0] + k), _mm_unpacklo_pd(lo0, lo1));
        _mm_storeu_pd(reinterpret_cast<double*>(out[1] + k), _mm_unpackhi_pd(lo0, lo1));
        _mm_storeu_pd(reinterpret_cast<double*>(out[2] + k), _mm_unpacklo_pd(hi0, hi1));
        _mm_storeu_pd(reinterpret_cast<double*>(out[3] + k), _mm_unpackhi_pd(hi0, hi1));
    }
};

}  // namespace

void transformLanesAvx2(const LaneGroup& group, const Tables& tables, int log2n, float* scratch) {
    LaneKernel<Avx2>::run(group, tables, log2n, scratch);
}

}  // namespace selvik::fftdetail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
