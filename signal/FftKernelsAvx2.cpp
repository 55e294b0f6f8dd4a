// AVX2 kernel: four transforms side by side, one per double lane.
#include <cstdint>

#include "signal/FftKernels.h"

#pragma GCC push_options
#pragma GCC target("avx2")

#include <immintrin.h>

#include "signal/FftLaneKernel.h"

namespace selvik::fftdetail {

namespace {

struct Avx2 {
    static constexpr int kWidth = kAvx2Width;
    using D = __m256d;
    static D load(const float* p) { return _mm256_cvtps_pd(_mm_load_ps(p)); }
    static void store(float* p, D v) { _mm_store_ps(p, _mm256_cvtpd_ps(v)); }
    static D broadcast(const double* p) { return _mm256_broadcast_sd(p); }
    static D add(D a, D b) { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm256_mul_pd(a, b); }

    static void scatterRows(Complex* const* out, std::int32_t k, __m128 re, __m128 im) {
        const __m128 lo = _mm_unpacklo_ps(re, im);  // lanes 0, 1
        const __m128 hi = _mm_unpackhi_ps(re, im);  // lanes 2, 3
        _mm_storel_pi(reinterpret_cast<__m64*>(out[0] + k), lo);
        _mm_storeh_pi(reinterpret_cast<__m64*>(out[1] + k), lo);
        _mm_storel_pi(reinterpret_cast<__m64*>(out[2] + k), hi);
        _mm_storeh_pi(reinterpret_cast<__m64*>(out[3] + k), hi);
    }
    static void scatterPair(Complex* const* out, std::int32_t k, D re, D im) {
        scatterRows(out, k, _mm256_cvtpd_ps(re), _mm256_cvtpd_ps(im));
    }
    static void scatter(Complex* const* out, std::int32_t k, const float* element) {
        scatterRows(out, k, _mm_load_ps(element), _mm_load_ps(element + kWidth));
    }
};

}  // namespace

void transformLanesAvx2(const LaneGroup& group, const Tables& tables, int log2n, float* scratch) {
    transformLanes<Avx2>(group, tables, log2n, scratch);
}

}  // namespace selvik::fftdetail

#pragma GCC pop_options
