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
    static D load(const float* p) { return _mm512_cvtps_pd(_mm256_load_ps(p)); }
    static void store(float* p, D v) { _mm256_store_ps(p, _mm512_cvtpd_ps(v)); }
    static D broadcast(const double* p) { return _mm512_set1_pd(*p); }
    static D add(D a, D b) { return _mm512_add_pd(a, b); }
    static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm512_mul_pd(a, b); }

    // Writes element k of every lane from float re/im rows.
    static void scatterRows(Complex* const* out, std::int32_t k, __m256 re, __m256 im) {
        // lo: lanes 0, 1 | 4, 5 as (re, im) pairs; hi: lanes 2, 3 | 6, 7.
        const __m256 lo = _mm256_unpacklo_ps(re, im);
        const __m256 hi = _mm256_unpackhi_ps(re, im);
        const __m128 lo0 = _mm256_castps256_ps128(lo);
        const __m128 lo1 = _mm256_extractf128_ps(lo, 1);
        const __m128 hi0 = _mm256_castps256_ps128(hi);
        const __m128 hi1 = _mm256_extractf128_ps(hi, 1);
        _mm_storel_pi(reinterpret_cast<__m64*>(out[0] + k), lo0);
        _mm_storeh_pi(reinterpret_cast<__m64*>(out[1] + k), lo0);
        _mm_storel_pi(reinterpret_cast<__m64*>(out[2] + k), hi0);
        _mm_storeh_pi(reinterpret_cast<__m64*>(out[3] + k), hi0);
        _mm_storel_pi(reinterpret_cast<__m64*>(out[4] + k), lo1);
        _mm_storeh_pi(reinterpret_cast<__m64*>(out[5] + k), lo1);
        _mm_storel_pi(reinterpret_cast<__m64*>(out[6] + k), hi1);
        _mm_storeh_pi(reinterpret_cast<__m64*>(out[7] + k), hi1);
    }
    static void scatterPair(Complex* const* out, std::int32_t k, D re, D im) {
        scatterRows(out, k, _mm512_cvtpd_ps(re), _mm512_cvtpd_ps(im));
    }
    static void scatter(Complex* const* out, std::int32_t k, const float* element) {
        scatterRows(out, k, _mm256_load_ps(element), _mm256_load_ps(element + kWidth));
    }
};

}  // namespace

void transformLanesAvx512(const LaneGroup& group, const Tables& tables, int log2n,
                          float* scratch) {
    transformLanes<Avx512>(group, tables, log2n, scratch);
}

}  // namespace selvik::fftdetail

#pragma GCC pop_options
