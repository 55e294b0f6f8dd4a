#pragma once

// The body of the side-by-side transform, shared by the AVX2 and AVX-512
// kernels. It is included after a target pragma by each kernel file and
// instantiated there with that file's vector operations V (a type with
// internal linkage, so the instantiations never merge across files).
//
// Scratch layout: element p of the transform occupies 2 * V::kWidth floats,
// first the real parts of every lane, then the imaginary parts. Every lane
// performs exactly the scalar sequence of operations: twiddles are broadcast,
// floats are widened before the double-precision butterfly and rounded back
// after it, with separate multiplies and adds (no fused forms).

#include <cstdint>

#include "signal/FftKernels.h"

namespace selvik::fftdetail {

template <class V>
void gatherFirstLevel(const LaneGroup& group, const Tables& tables, int log2n, float* s) {
    constexpr int w = V::kWidth;
    const std::int32_t n = std::int32_t{1} << log2n;
    const std::int32_t half = n / 2;
    const int shift = 16 - log2n;
    // Bit reversal puts inputs j and j + n/2 next to each other, at p and
    // p + 1 for even p; the level of length 2 is their float sum and
    // difference, done while gathering.
    for (std::int32_t p = 0; p < n; p += 2) {
        const std::int32_t j = tables.bitReverse16[p] >> shift;
        float* e = s + static_cast<std::int64_t>(p) * 2 * w;
        float* o = e + 2 * w;
        if (group.realIn) {
            for (int l = 0; l < w; ++l) {
                const float a = group.realIn[l][j];
                const float b = group.realIn[l][j + half];
                e[l] = a + b;
                o[l] = a - b;
                // 0.0f + 0.0f and 0.0f - 0.0f are both +0.0f.
                e[w + l] = 0.0f;
                o[w + l] = 0.0f;
            }
        } else {
            for (int l = 0; l < w; ++l) {
                const Complex a = group.complexIn[l][j];
                const Complex b = group.complexIn[l][j + half];
                e[l] = a.re + b.re;
                e[w + l] = a.im + b.im;
                o[l] = a.re - b.re;
                o[w + l] = a.im - b.im;
            }
        }
    }
}

template <class V>
void transformLanes(const LaneGroup& group, const Tables& tables, int log2n, float* s) {
    using D = typename V::D;
    constexpr int w = V::kWidth;
    constexpr std::int64_t stride = 2 * w;
    const std::int32_t n = std::int32_t{1} << log2n;

    gatherFirstLevel<V>(group, tables, log2n, s);
    if (n == 2) {
        V::scatter(group.out, 0, s);
        V::scatter(group.out, 1, s + stride);
        return;
    }

    // Levels 4 .. n/2 in place in the scratch.
    for (std::int32_t m = 4; m < n; m *= 2) {
        const std::int32_t h = m / 2;
        const double* c = tables.cos + (h - 1);
        const double* d = tables.sin + (h - 1);
        for (std::int32_t b = 0; b < n; b += m) {
            float* e = s + b * stride;
            float* o = e + h * stride;
            for (std::int32_t k = 0; k < h; ++k, e += stride, o += stride) {
                const D cr = V::broadcast(c + k);
                const D di = V::broadcast(d + k);
                const D ore = V::load(o);
                const D oim = V::load(o + w);
                const D tr = V::sub(V::mul(cr, ore), V::mul(di, oim));
                const D ti = V::add(V::mul(cr, oim), V::mul(di, ore));
                const D ere = V::load(e);
                const D eim = V::load(e + w);
                V::store(e, V::add(ere, tr));
                V::store(e + w, V::add(eim, ti));
                V::store(o, V::sub(ere, tr));
                V::store(o + w, V::sub(eim, ti));
            }
        }
    }

    // The last level writes each lane's output directly.
    const std::int32_t h = n / 2;
    const double* c = tables.cos + (h - 1);
    const double* d = tables.sin + (h - 1);
    const float* e = s;
    const float* o = s + h * stride;
    for (std::int32_t k = 0; k < h; ++k, e += stride, o += stride) {
        const D cr = V::broadcast(c + k);
        const D di = V::broadcast(d + k);
        const D ore = V::load(o);
        const D oim = V::load(o + w);
        const D tr = V::sub(V::mul(cr, ore), V::mul(di, oim));
        const D ti = V::add(V::mul(cr, oim), V::mul(di, ore));
        const D ere = V::load(e);
        const D eim = V::load(e + w);
        V::scatterPair(group.out, k, V::add(ere, tr), V::add(eim, ti));
        V::scatterPair(group.out, k + h, V::sub(ere, tr), V::sub(eim, ti));
    }
}

}  // namespace selvik::fftdetail
