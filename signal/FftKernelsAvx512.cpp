// AVX-512 kernel: eight transforms side by side, one per double lane.
#include <cstdint>

#include "signal/FftKernels.h"

// clang ignores GCC target pragmas; both spellings enable the kernel's
// instruction set for the functions of this file only.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512dq,avx512vl"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512dq,avx512vl")
#endif
// GCC 12 flags the deliberately undefined pass-through operand inside the
// conversion intrinsics as maybe-uninitialized.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

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
    // Elements per cache block: 16 KB of scratch, half the first-level cache.
    static constexpr std::int32_t kCacheBlock = 16384 / (2 * kWidth * 4);
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

// The single transform keeps real parts in re[0 .. n) and imaginary parts in
// im[0 .. n) and vectorises over k, loading consecutive twiddles; each output
// still sees the scalar sequence of operations.
void butterflyAt(const double* cs, const double* sn, float* er, float* ei, float* orr,
                 float* oi) {
    const __m512d c = _mm512_loadu_pd(cs);
    const __m512d d = _mm512_loadu_pd(sn);
    const __m512d xr = _mm512_cvtps_pd(_mm256_load_ps(orr));
    const __m512d xi = _mm512_cvtps_pd(_mm256_load_ps(oi));
    const __m512d tr = _mm512_sub_pd(_mm512_mul_pd(c, xr), _mm512_mul_pd(d, xi));
    const __m512d ti = _mm512_add_pd(_mm512_mul_pd(c, xi), _mm512_mul_pd(d, xr));
    const __m512d yr = _mm512_cvtps_pd(_mm256_load_ps(er));
    const __m512d yi = _mm512_cvtps_pd(_mm256_load_ps(ei));
    _mm256_store_ps(er, _mm512_cvtpd_ps(_mm512_add_pd(yr, tr)));
    _mm256_store_ps(ei, _mm512_cvtpd_ps(_mm512_add_pd(yi, ti)));
    _mm256_store_ps(orr, _mm512_cvtpd_ps(_mm512_sub_pd(yr, tr)));
    _mm256_store_ps(oi, _mm512_cvtpd_ps(_mm512_sub_pd(yi, ti)));
}

}  // namespace

void transformSingleAvx512(const Complex* complexIn, const float* realIn, Complex* out,
                           const Tables& tables, int log2n, float* scratch) {
    const std::int32_t n = std::int32_t{1} << log2n;
    const int shift = 16 - log2n;
    float* re = scratch;
    float* im = scratch + n;

    // Levels 2 and 4 while gathering in bit-reversed order: p .. p + 3 hold
    // inputs j, j + n/2, j + n/4, j + 3n/4 with j = reverse(p).
    const std::int32_t quarter = n / 4;
    const double c0 = tables.cos[1], d0 = tables.sin[1], c1 = tables.cos[2], d1 = tables.sin[2];
    for (std::int32_t p = 0; p < n; p += 4) {
        const std::int32_t j = tables.bitReverse16[p] >> shift;
        Complex a, b, c, d;
        if (realIn) {
            a = Complex{realIn[j], 0.0f};
            b = Complex{realIn[j + 2 * quarter], 0.0f};
            c = Complex{realIn[j + quarter], 0.0f};
            d = Complex{realIn[j + 3 * quarter], 0.0f};
        } else {
            a = complexIn[j];
            b = complexIn[j + 2 * quarter];
            c = complexIn[j + quarter];
            d = complexIn[j + 3 * quarter];
        }
        const Complex e0{a.re + b.re, a.im + b.im}, e1{a.re - b.re, a.im - b.im};
        const Complex o0{c.re + d.re, c.im + d.im}, o1{c.re - d.re, c.im - d.im};
        const double tr0 = c0 * o0.re - d0 * o0.im, ti0 = c0 * o0.im + d0 * o0.re;
        const double tr1 = c1 * o1.re - d1 * o1.im, ti1 = c1 * o1.im + d1 * o1.re;
        re[p] = static_cast<float>(e0.re + tr0);
        im[p] = static_cast<float>(e0.im + ti0);
        re[p + 1] = static_cast<float>(e1.re + tr1);
        im[p + 1] = static_cast<float>(e1.im + ti1);
        re[p + 2] = static_cast<float>(e0.re - tr0);
        im[p + 2] = static_cast<float>(e0.im - ti0);
        re[p + 3] = static_cast<float>(e1.re - tr1);
        im[p + 3] = static_cast<float>(e1.im - ti1);
    }

    // Level 8: four butterflies per block, four doubles wide.
    {
        const __m256d c = _mm256_loadu_pd(tables.cos + 3);
        const __m256d d = _mm256_loadu_pd(tables.sin + 3);
        for (std::int32_t b = 0; b < n; b += 8) {
            const __m256d xr = _mm256_cvtps_pd(_mm_load_ps(re + b + 4));
            const __m256d xi = _mm256_cvtps_pd(_mm_load_ps(im + b + 4));
            const __m256d tr = _mm256_sub_pd(_mm256_mul_pd(c, xr), _mm256_mul_pd(d, xi));
            const __m256d ti = _mm256_add_pd(_mm256_mul_pd(c, xi), _mm256_mul_pd(d, xr));
            const __m256d yr = _mm256_cvtps_pd(_mm_load_ps(re + b));
            const __m256d yi = _mm256_cvtps_pd(_mm_load_ps(im + b));
            _mm_store_ps(re + b, _mm256_cvtpd_ps(_mm256_add_pd(yr, tr)));
            _mm_store_ps(im + b, _mm256_cvtpd_ps(_mm256_add_pd(yi, ti)));
            _mm_store_ps(re + b + 4, _mm256_cvtpd_ps(_mm256_sub_pd(yr, tr)));
            _mm_store_ps(im + b + 4, _mm256_cvtpd_ps(_mm256_sub_pd(yi, ti)));
        }
    }

    // Levels 16 .. n/2, eight butterflies at a time.
    for (std::int32_t m = 16; m < n; m *= 2) {
        const std::int32_t h = m / 2;
        const double* cs = tables.cos + (h - 1);
        const double* sn = tables.sin + (h - 1);
        for (std::int32_t b = 0; b < n; b += m) {
            for (std::int32_t k = 0; k < h; k += 8) {
                butterflyAt(cs + k, sn + k, re + b + k, im + b + k, re + b + k + h, im + b + k + h);
            }
        }
    }

    // The last level, then back to (re, im) pairs in the output.
    const std::int32_t h = n / 2;
    const double* cs = tables.cos + (h - 1);
    const double* sn = tables.sin + (h - 1);
    for (std::int32_t k = 0; k < h; k += 8) {
        butterflyAt(cs + k, sn + k, re + k, im + k, re + k + h, im + k + h);
    }
    for (std::int32_t k = 0; k < n; k += 8) {
        const __m256 r = _mm256_load_ps(re + k);
        const __m256 i = _mm256_load_ps(im + k);
        const __m256 lo = _mm256_unpacklo_ps(r, i);  // k, k+1 | k+4, k+5
        const __m256 hi = _mm256_unpackhi_ps(r, i);  // k+2, k+3 | k+6, k+7
        float* o = reinterpret_cast<float*>(out + k);
        _mm256_storeu_ps(o, _mm256_permute2f128_ps(lo, hi, 0x20));
        _mm256_storeu_ps(o + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
    }
}

void transformLanesAvx512(const LaneGroup& group, const Tables& tables, int log2n,
                          float* scratch) {
    LaneKernel<Avx512>::run(group, tables, log2n, scratch);
}

}  // namespace selvik::fftdetail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
