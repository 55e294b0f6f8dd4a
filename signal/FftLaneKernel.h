#pragma once

// The body of the side-by-side transform, shared by the AVX2 and AVX-512
// kernels. It is included after a target pragma by each kernel file and
// instantiated there with that file's vector operations V (a type with
// internal linkage, so the instantiations never merge across files).
//
// Scratch layout: element p of the transform occupies 2 * V::kWidth floats,
// first the real parts of every lane, then the imaginary parts. Every lane
// performs exactly the scalar sequence of operations: twiddles are broadcast,
// floats are widened before the double-precision butterfly and rounded to
// float after it (also where two levels are fused and the value stays in a
// register), with separate multiplies and adds (no fused forms). The order in
// which independent butterflies run does not change any result.

#include <cstdint>

#include "signal/FftKernels.h"

namespace selvik::fftdetail {

template <class V>
struct LaneKernel {
    using D = typename V::D;
    using F = typename V::F;
    static constexpr int w = V::kWidth;
    static constexpr std::int64_t stride = 2 * w;

    // One butterfly on widened values; the results are not yet rounded.
    static void butterfly(D cr, D di, D& er, D& ei, D& orr, D& oi) {
        const D tr = V::sub(V::mul(cr, orr), V::mul(di, oi));
        const D ti = V::add(V::mul(cr, oi), V::mul(di, orr));
        const D a = V::add(er, tr);
        const D b = V::add(ei, ti);
        const D c = V::sub(er, tr);
        const D d = V::sub(ei, ti);
        er = a;
        ei = b;
        orr = c;
        oi = d;
    }

    // Bit reversal puts inputs j and j + n/2 next to each other, at p and
    // p + 1 for even p; the level of length 2 is their float sum and
    // difference, done while gathering. Works for every n.
    static void gatherLevelTwo(const LaneGroup& group, const Tables& tables, int log2n, float* s) {
        const std::int32_t n = std::int32_t{1} << log2n;
        const std::int32_t half = n / 2;
        const int shift = 16 - log2n;
        for (std::int32_t p = 0; p < n; p += 2) {
            const std::int32_t j = tables.bitReverse16[p] >> shift;
            float* e = s + static_cast<std::int64_t>(p) * stride;
            float* o = e + stride;
            for (int l = 0; l < w; ++l) {
                if (group.realIn) {
                    const float a = group.realIn[l][j];
                    const float b = group.realIn[l][j + half];
                    e[l] = a + b;
                    o[l] = a - b;
                    // 0.0f + 0.0f and 0.0f - 0.0f are both +0.0f.
                    e[w + l] = 0.0f;
                    o[w + l] = 0.0f;
                } else {
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

    // Real inputs, n >= 4 w: levels 2 and 4 while gathering. For p = 4 q the
    // four elements p .. p + 3 hold inputs j, j + n/2, j + n/4, j + 3n/4 with
    // j = reverse(p) < n/4. Inputs are read w consecutive samples per lane and
    // transposed, so each column holds one sample of every lane.
    static void gatherRealLevelsTwoAndFour(const LaneGroup& group, const Tables& tables, int log2n,
                                           float* s) {
        const std::int32_t n = std::int32_t{1} << log2n;
        const std::int32_t quarter = n / 4;
        const int shift = 16 - log2n;
        const D c0 = V::broadcast(tables.cos + 1);
        const D d0 = V::broadcast(tables.sin + 1);
        const D c1 = V::broadcast(tables.cos + 2);
        const D d1 = V::broadcast(tables.sin + 2);
        F a[w], b[w], c[w], d[w];
        for (std::int32_t j0 = 0; j0 < quarter; j0 += w) {
            V::transposeRows(group.realIn, j0, a);
            V::transposeRows(group.realIn, j0 + 2 * quarter, b);
            V::transposeRows(group.realIn, j0 + quarter, c);
            V::transposeRows(group.realIn, j0 + 3 * quarter, d);
            for (int t = 0; t < w; ++t) {
                const std::int32_t p = tables.bitReverse16[j0 + t] >> shift;
                float* x = s + static_cast<std::int64_t>(p) * stride;
                // Level 2: float sums and differences; imaginary parts +0.
                D e0r = V::widen(V::addF(a[t], b[t]));
                D e1r = V::widen(V::subF(a[t], b[t]));
                D o0r = V::widen(V::addF(c[t], d[t]));
                D o1r = V::widen(V::subF(c[t], d[t]));
                D e0i = V::zero();
                D e1i = V::zero();
                D o0i = V::zero();
                D o1i = V::zero();
                // Level 4: (p, p + 2) with twiddle 0, (p + 1, p + 3) with twiddle 1.
                butterfly(c0, d0, e0r, e0i, o0r, o0i);
                butterfly(c1, d1, e1r, e1i, o1r, o1i);
                V::store(x, e0r);
                V::store(x + w, e0i);
                V::store(x + stride, e1r);
                V::store(x + stride + w, e1i);
                V::store(x + 2 * stride, o0r);
                V::store(x + 2 * stride + w, o0i);
                V::store(x + 3 * stride, o1r);
                V::store(x + 3 * stride + w, o1i);
            }
        }
    }

    // One level of length m in place in the scratch.
    static void level(const Tables& tables, std::int32_t n, std::int32_t m, float* s) {
        const std::int32_t h = m / 2;
        const double* cs = tables.cos + (h - 1);
        const double* sn = tables.sin + (h - 1);
        for (std::int32_t b = 0; b < n; b += m) {
            float* e = s + b * stride;
            float* o = e + h * stride;
            for (std::int32_t k = 0; k < h; ++k, e += stride, o += stride) {
                D er = V::load(e), ei = V::load(e + w), orr = V::load(o), oi = V::load(o + w);
                butterfly(V::broadcast(cs + k), V::broadcast(sn + k), er, ei, orr, oi);
                V::store(e, er);
                V::store(e + w, ei);
                V::store(o, orr);
                V::store(o + w, oi);
            }
        }
    }

    // Levels m and 2m in one pass: within each block of 2m, elements k,
    // k + h, k + m, k + m + h (h = m/2) depend only on each other.
    static void levelPair(const Tables& tables, std::int32_t n, std::int32_t m, float* s) {
        const std::int32_t h = m / 2;
        const double* cs1 = tables.cos + (h - 1);
        const double* sn1 = tables.sin + (h - 1);
        const double* cs2 = tables.cos + (m - 1);
        const double* sn2 = tables.sin + (m - 1);
        for (std::int32_t b = 0; b < n; b += 2 * m) {
            float* x0 = s + b * stride;
            float* x1 = x0 + h * stride;
            float* x2 = x0 + m * stride;
            float* x3 = x2 + h * stride;
            for (std::int32_t k = 0; k < h;
                 ++k, x0 += stride, x1 += stride, x2 += stride, x3 += stride) {
                D r0 = V::load(x0), i0 = V::load(x0 + w);
                D r1 = V::load(x1), i1 = V::load(x1 + w);
                D r2 = V::load(x2), i2 = V::load(x2 + w);
                D r3 = V::load(x3), i3 = V::load(x3 + w);
                const D c1 = V::broadcast(cs1 + k);
                const D d1 = V::broadcast(sn1 + k);
                butterfly(c1, d1, r0, i0, r1, i1);
                butterfly(c1, d1, r2, i2, r3, i3);
                r0 = V::round(r0);
                i0 = V::round(i0);
                r1 = V::round(r1);
                i1 = V::round(i1);
                r2 = V::round(r2);
                i2 = V::round(i2);
                r3 = V::round(r3);
                i3 = V::round(i3);
                butterfly(V::broadcast(cs2 + k), V::broadcast(sn2 + k), r0, i0, r2, i2);
                butterfly(V::broadcast(cs2 + k + h), V::broadcast(sn2 + k + h), r1, i1, r3, i3);
                V::store(x0, r0);
                V::store(x0 + w, i0);
                V::store(x1, r1);
                V::store(x1 + w, i1);
                V::store(x2, r2);
                V::store(x2 + w, i2);
                V::store(x3, r3);
                V::store(x3 + w, i3);
            }
        }
    }

    // The last level writes each lane's output directly, V::kChunk
    // consecutive values per lane at a time (n / 2 >= V::kChunk).
    static void lastLevel(const LaneGroup& group, const Tables& tables, std::int32_t n,
                          const float* s) {
        constexpr int chunk = V::kChunk;
        const std::int32_t h = n / 2;
        const double* cs = tables.cos + (h - 1);
        const double* sn = tables.sin + (h - 1);
        Complex* dst[w];
        for (int l = 0; l < w; ++l) dst[l] = group.out[l];
        const float* e = s;
        const float* o = s + h * stride;
        F topRe[chunk], topIm[chunk], bottomRe[chunk], bottomIm[chunk];
        if (group.lowerHalf) {
            // The top outputs alone: E + t, the same operations as below.
            for (std::int32_t k0 = 0; k0 < h; k0 += chunk) {
                for (int t = 0; t < chunk; ++t, e += stride, o += stride) {
                    const D cr = V::broadcast(cs + k0 + t), di = V::broadcast(sn + k0 + t);
                    const D orr = V::load(o), oi = V::load(o + w);
                    const D tr = V::sub(V::mul(cr, orr), V::mul(di, oi));
                    const D ti = V::add(V::mul(cr, oi), V::mul(di, orr));
                    topRe[t] = V::narrow(V::add(V::load(e), tr));
                    topIm[t] = V::narrow(V::add(V::load(e + w), ti));
                }
                V::scatterChunk(dst, k0, topRe, topIm);
            }
            return;
        }
        for (std::int32_t k0 = 0; k0 < h; k0 += chunk) {
            for (int t = 0; t < chunk; ++t, e += stride, o += stride) {
                D er = V::load(e), ei = V::load(e + w), orr = V::load(o), oi = V::load(o + w);
                butterfly(V::broadcast(cs + k0 + t), V::broadcast(sn + k0 + t), er, ei, orr, oi);
                topRe[t] = V::narrow(er);
                topIm[t] = V::narrow(ei);
                bottomRe[t] = V::narrow(orr);
                bottomIm[t] = V::narrow(oi);
            }
            V::scatterChunk(dst, k0, topRe, topIm);
            V::scatterChunk(dst, k0 + h, bottomRe, bottomIm);
        }
    }

    static void run(const LaneGroup& group, const Tables& tables, int log2n, float* s) {
        const std::int32_t n = std::int32_t{1} << log2n;
        if (n < 2 * V::kChunk) {
            // Too short for the chunked last level: run every level in the
            // scratch and copy out.
            gatherLevelTwo(group, tables, log2n, s);
            for (std::int32_t m = 4; m <= n; m *= 2) level(tables, n, m, s);
            for (std::int32_t k = 0; k < n; ++k) {
                for (int l = 0; l < w; ++l) {
                    group.out[l][k] = Complex{s[k * stride + l], s[k * stride + w + l]};
                }
            }
            return;
        }
        std::int32_t m = 4;
        if (group.realIn && n >= 4 * w) {
            gatherRealLevelsTwoAndFour(group, tables, log2n, s);
            m = 8;
        } else {
            gatherLevelTwo(group, tables, log2n, s);
        }
        // The levels whose blocks fit in the first-level cache run block by
        // block, so that each block stays there from its first of those
        // levels to its last instead of streaming the whole scratch through
        // the cache once per level. Every butterfly is the same either way.
        const std::int32_t block = n / 2 < V::kCacheBlock ? n / 2 : V::kCacheBlock;
        if (m <= block) {
            std::int32_t inner = m;
            for (std::int32_t b = 0; b < n; b += block) {
                float* blockStart = s + static_cast<std::int64_t>(b) * stride;
                inner = m;
                for (; 2 * inner <= block; inner *= 4) levelPair(tables, block, inner, blockStart);
                if (inner <= block) level(tables, block, inner, blockStart), inner *= 2;
            }
            m = inner;
        }
        // Levels m .. n/2 in the scratch, two at a time where possible.
        for (; 2 * m < n; m *= 4) levelPair(tables, n, m, s);
        if (m < n) level(tables, n, m, s);
        lastLevel(group, tables, n, s);
    }
};

}  // namespace selvik::fftdetail
