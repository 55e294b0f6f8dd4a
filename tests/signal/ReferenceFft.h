#pragma once

// The radix-2 decimation-in-time recursion written out literally: even and odd
// halves copied into temporaries at every level, twiddles evaluated per k from
// an accumulated angle. Slow on purpose; the fast transform must reproduce its
// bits exactly.

#include <cmath>
#include <cstdint>
#include <vector>

#include "signal/Complex.h"

namespace selvik::test {

inline void referenceFft(Complex* x, std::int32_t n) {
    if (n == 2) {
        const Complex x0 = x[0];
        const Complex x1 = x[1];
        x[0] = Complex{x0.re + x1.re, x0.im + x1.im};
        x[1] = Complex{x0.re - x1.re, x0.im - x1.im};
        return;
    }
    const std::int32_t h = n / 2;
    std::vector<Complex> e(static_cast<std::size_t>(h));
    std::vector<Complex> o(static_cast<std::size_t>(h));
    for (std::int32_t k = 0; k < h; ++k) {
        e[k] = x[2 * k];
        o[k] = x[2 * k + 1];
    }
    referenceFft(e.data(), h);
    referenceFft(o.data(), h);
    const float s = static_cast<float>(-6.2831853 / n);
    double a = 0.0;
    for (std::int32_t k = 0; k < h; ++k) {
        const double c = std::cos(a);
        const double d = std::sin(a);
        const double tr = c * o[k].re - d * o[k].im;
        const double ti = c * o[k].im + d * o[k].re;
        x[k] = Complex{static_cast<float>(e[k].re + tr), static_cast<float>(e[k].im + ti)};
        x[k + h] = Complex{static_cast<float>(e[k].re - tr), static_cast<float>(e[k].im - ti)};
        a += s;
    }
}

}  // namespace selvik::test
