// The algorithm and constants are those of fdlibm's s_log1pf.c:
//
//   Copyright (C) 1993 by Sun Microsystems, Inc. All rights reserved.
//   Developed at SunPro, a Sun Microsystems, Inc. business.
//   Permission to use, copy, modify, and distribute this software is freely
//   granted, provided that this notice is preserved.
//
// 1 + x is written as 2^k (1 + f) with sqrt(2)/2 < 1 + f < sqrt(2), then
// log(1 + f) = f - (f^2/2 - s (f^2/2 + R(s^2))) with s = f / (2 + f) and R a
// minimax polynomial; c corrects the rounding error of 1 + x.
#include "signal/Log1pFloat.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace selvik {

namespace {

std::int32_t bitsOf(float x) {
    std::int32_t i;
    std::memcpy(&i, &x, sizeof i);
    return i;
}

float floatOf(std::int32_t i) {
    float x;
    std::memcpy(&x, &i, sizeof x);
    return x;
}

constexpr float kLn2Hi = 6.9313812256e-01f;  // 0x3f317180
constexpr float kLn2Lo = 9.0580006145e-06f;  // 0x3717f7d1
constexpr float kLp1 = 6.6666668653e-01f;    // 0x3f2aaaab
constexpr float kLp2 = 4.0000000596e-01f;    // 0x3ecccccd
constexpr float kLp3 = 2.8571429849e-01f;    // 0x3e924925
constexpr float kLp4 = 2.2222198546e-01f;    // 0x3e638e29
constexpr float kLp5 = 1.8183572590e-01f;    // 0x3e3a3325
constexpr float kLp6 = 1.5313838422e-01f;    // 0x3e1cd04f
constexpr float kLp7 = 1.4798198640e-01f;    // 0x3e178897

}  // namespace

float log1pFloat(float x) {
    const std::int32_t hx = bitsOf(x);
    const std::int32_t ax = hx & 0x7fffffff;
    std::int32_t k = 1;
    std::int32_t hu = 0;
    float f = 0.0f;
    float c = 0.0f;
    if (hx < 0x3ed413d7) {  // x < 0.41422
        if (ax >= 0x3f800000) {  // x <= -1
            if (x == -1.0f) return -std::numeric_limits<float>::infinity();
            return std::numeric_limits<float>::quiet_NaN();
        }
        if (ax < 0x31000000) {  // |x| < 2^-29
            if (ax < 0x24800000) return x;  // |x| < 2^-54
            return x - x * x * 0.5f;
        }
        if (hx > 0 || hx <= static_cast<std::int32_t>(0xbe95f61fu)) {  // -0.2929 < x < 0.41422
            k = 0;
            f = x;
            hu = 1;
        }
    } else if (hx >= 0x7f800000) {
        return x + x;  // +infinity or NaN
    }
    if (k != 0) {
        float u;
        if (hx < 0x5a000000) {
            u = 1.0f + x;
            hu = bitsOf(u);
            k = (hu >> 23) - 127;
            c = k > 0 ? 1.0f - (u - x) : x - (u - 1.0f);
            c /= u;
        } else {
            u = x;
            hu = bitsOf(u);
            k = (hu >> 23) - 127;
            c = 0.0f;
        }
        hu &= 0x007fffff;
        if (hu < 0x3504f7) {
            u = floatOf(hu | 0x3f800000);  // u in [1, sqrt(2))
        } else {
            k += 1;
            u = floatOf(hu | 0x3f000000);  // u / 2 in [sqrt(2)/2, 1)
            hu = (0x00800000 - hu) >> 2;
        }
        f = u - 1.0f;
    }
    const float kf = static_cast<float>(k);
    const float hfsq = 0.5f * f * f;
    if (hu == 0) {  // |f| < 2^-20
        if (f == 0.0f) {
            if (k == 0) return 0.0f;
            c += kf * kLn2Lo;
            return kf * kLn2Hi + c;
        }
        const float r = hfsq * (1.0f - 0.66666666666666666f * f);
        if (k == 0) return f - r;
        return kf * kLn2Hi - ((r - (kf * kLn2Lo + c)) - f);
    }
    const float s = f / (2.0f + f);
    const float z = s * s;
    const float r = z * (kLp1 + z * (kLp2 + z * (kLp3 + z * (kLp4 + z * (kLp5 + z * (kLp6 + z * kLp7))))));
    if (k == 0) return f - (hfsq - s * (hfsq + r));
    return kf * kLn2Hi - ((hfsq - (s * (hfsq + r) + (kf * kLn2Lo + c))) - f);
}

}  // namespace selvik
