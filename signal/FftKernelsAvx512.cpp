// AVX-512 kernel: eight transforms side by side, one per double lane.
#include <cstdint>

#include "signal/FftKernels.h"

#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512dq,avx512vl")
// GCC 12 flags the deliberately undefined pass-through operand inside the
// conversion intrinsics as maybe-uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <immintrin.h>

#include "signal/FftLaneKernel.h"

namespace selvik::fftdetail {

namespace {

struct Avx512 {
    static constexpr int kWidth = kAvx512Width;
    using D = __m512d;
    using F = __m256;
    static D load(const float* p) { return _mm512_cvtps_pd(_mm256_load_ps(p)); }
    static D widen(F v) { return _mm512_cvtps_pd(v); }
    static D round(D v) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(v)); }
    static D zero() { return _mm512_setzero_pd(); }
    static F addF(F a, F b) { return _mm256_add_ps(a, b); }
    static F subF(F a, F b) { return _mm256_sub_ps(a, b); }

    // cols[t] = { rows[0][j + t], ..., rows[7][j + t] } for t = 0 .. 7.
    static void transposeRows(const float* const* rows, std::int32_t j, F* cols) {
        const __m256 r0 = _mm256_loadu_ps(rows[0] + j);
        const __m256 r1 = _mm256_loadu_ps(rows[1] + j);
        const __m256 r2 = _mm256_loadu_ps(rows[2] + j);
        const __m256 r3 = _mm256_loadu_ps(rows[3] + j);
        const __m256 r4 = _mm256_loadu_ps(rows[4] + j);
        const __m256 r5 = _mm256_loadu_ps(rows[5] + j);
        const __m256 r6 = _mm256_loadu_ps(rows[6] + j);
        const __m256 r7 = _mm256_loadu_ps(rows[7] + j);
        const __m256 t0 = _mm256_unpacklo_ps(r0, r1);
        const __m256 t1 = _mm256_unpackhi_ps(r0, r1);
        const __m256 t2 = _mm256_unpacklo_ps(r2, r3);
        const __m256 t3 = _mm256_unpackhi_ps(r2, r3);
        const __m256 t4 = _mm256_unpacklo_ps(r4, r5);
        const __m256 t5 = _mm256_unpackhi_ps(r4, r5);
        const __m256 t6 = _mm256_unpacklo_ps(r6, r7);
        const __m256 t7 = _mm256_unpackhi_ps(r6, r7);
        const __m256 u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
        cols[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
        cols[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
        cols[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
        cols[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
        cols[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
        cols[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
        cols[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
        cols[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
    }
    static void store(float* p, D v) { _mm256_store_ps(p, _mm512_cvtpd_ps(v)); }
    static D broadcast(const double* p) { return _mm512_set1_pd(*p); }
    static D add(D a, D b) { return _mm512_add_pd(a, b); }
    static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm512_mul_pd(a, b); }

    static F narrow(D v) { return _mm512_cvtpd_ps(v); }

    // Writes values k .. k + 3 of every lane from four rows of real and
    // imaginary parts, one row per k. Pairs (re, im) move as 64-bit units
    // through a 4 x 4 transpose, so each lane gets one 32-byte store.
    static constexpr int kChunk = 4;
    static void scatterChunk(Complex* const* out, std::int32_t k, const F* re, const F* im) {
        __m256d lo[4], hi[4];
        for (int t = 0; t < 4; ++t) {
            // lo: lanes 0, 1, 4, 5; hi: lanes 2, 3, 6, 7.
            lo[t] = _mm256_castps_pd(_mm256_unpacklo_ps(re[t], im[t]));
            hi[t] = _mm256_castps_pd(_mm256_unpackhi_ps(re[t], im[t]));
        }
        storeTransposed(lo, out[0] + k, out[1] + k, out[4] + k, out[5] + k);
        storeTransposed(hi, out[2] + k, out[3] + k, out[6] + k, out[7] + k);
    }
    // rows[t] holds the value at k + t of four lanes; lane i's four values go to d_i.
    static void storeTransposed(const __m256d* rows, Complex* d0, Complex* d1, Complex* d2,
                                Complex* d3) {
        const __m256d a = _mm256_unpacklo_pd(rows[0], rows[1]);  // lane 0 k0 k1 | lane 2 k0 k1
        const __m256d b = _mm256_unpackhi_pd(rows[0], rows[1]);  // lane 1 k0 k1 | lane 3 k0 k1
        const __m256d c = _mm256_unpacklo_pd(rows[2], rows[3]);
        const __m256d d = _mm256_unpackhi_pd(rows[2], rows[3]);
        _mm256_storeu_pd(reinterpret_cast<double*>(d0), _mm256_permute2f128_pd(a, c, 0x20));
        _mm256_storeu_pd(reinterpret_cast<double*>(d1), _mm256_permute2f128_pd(b, d, 0x20));
        _mm256_storeu_pd(reinterpret_cast<double*>(d2), _mm256_permute2f128_pd(a, c, 0x31));
        _mm256_storeu_pd(reinterpret_cast<double*>(d3), _mm256_permute2f128_pd(b, d, 0x31));
    }
};

}  // namespace

void transformLanesAvx512(const LaneGroup& group, const Tables& tables, int log2n,
                          float* scratch) {
    LaneKernel<Avx512>::run(group, tables, log2n, scratch);
}

}  // namespace selvik::fftdetail

#pragma GCC pop_options
