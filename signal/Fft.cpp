#include "signal/Fft.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <mutex>

namespace selvik {

namespace {

constexpr int kMaxLog2 = 16;
static_assert((std::int32_t{1} << kMaxLog2) == kMaxFftLength);

// Twiddles of the butterfly level of length m (m = 4 .. kMaxFftLength) live
// at offset m / 2 - 1, m / 2 entries long. They are made by the same angle
// accumulation the recursion performs, so each (c, d) pair is the one it
// would evaluate; the level of length 2 needs none.
constexpr std::size_t kTableSize = static_cast<std::size_t>(kMaxFftLength);
double gCos[kTableSize];
double gSin[kTableSize];
std::array<std::once_flag, kMaxLog2 + 1> gLevelBuilt;

bool isSupportedLength(std::int32_t n) {
    return n >= 2 && n <= kMaxFftLength && (n & (n - 1)) == 0;
}

int log2Of(std::int32_t n) {
    int log2 = 0;
    while ((std::int32_t{1} << log2) < n) ++log2;
    return log2;
}

void buildLevel(int log2) {
    const std::int32_t m = std::int32_t{1} << log2;
    const std::int32_t h = m / 2;
    const float s = static_cast<float>(-6.2831853 / m);
    double* c = gCos + (h - 1);
    double* d = gSin + (h - 1);
    double a = 0.0;
    for (std::int32_t k = 0; k < h; ++k) {
        c[k] = std::cos(a);
        d[k] = std::sin(a);
        a += s;
    }
}

// Makes sure the twiddles of every level up to length n exist.
void ensureLevels(int log2n) {
    for (int log2 = 2; log2 <= log2n; ++log2) {
        std::call_once(gLevelBuilt[static_cast<std::size_t>(log2)], buildLevel, log2);
    }
}

// The even/odd split of the recursion, applied at every level, leaves input
// j at the position whose bits are those of j reversed.
void bitReversePermute(Complex* x, std::int32_t n) {
    for (std::int32_t i = 1, j = 0; i < n; ++i) {
        std::int32_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j |= bit;
        if (i < j) {
            const Complex t = x[i];
            x[i] = x[j];
            x[j] = t;
        }
    }
}

// Butterfly levels from length 2 up, in place on bit-reversed data. Every
// output element sees the operations of the recursion in the same order.
void scalarStages(Complex* x, std::int32_t n) {
    for (std::int32_t p = 0; p < n; p += 2) {
        const Complex e = x[p];
        const Complex o = x[p + 1];
        x[p] = Complex{e.re + o.re, e.im + o.im};
        x[p + 1] = Complex{e.re - o.re, e.im - o.im};
    }
    for (std::int32_t m = 4; m <= n; m *= 2) {
        const std::int32_t h = m / 2;
        const double* c = gCos + (h - 1);
        const double* d = gSin + (h - 1);
        for (std::int32_t b = 0; b < n; b += m) {
            Complex* e = x + b;
            Complex* o = x + b + h;
            for (std::int32_t k = 0; k < h; ++k) {
                const double ore = o[k].re;
                const double oim = o[k].im;
                const double tr = c[k] * ore - d[k] * oim;
                const double ti = c[k] * oim + d[k] * ore;
                const double ere = e[k].re;
                const double eim = e[k].im;
                e[k] = Complex{static_cast<float>(ere + tr), static_cast<float>(eim + ti)};
                o[k] = Complex{static_cast<float>(ere - tr), static_cast<float>(eim - ti)};
            }
        }
    }
}

}  // namespace

void fft(Complex* x, std::int32_t n) {
    if (x == nullptr || !isSupportedLength(n)) return;
    ensureLevels(log2Of(n));
    bitReversePermute(x, n);
    scalarStages(x, n);
}

void fftMany(Complex* const* arrays, std::int32_t count, std::int32_t n) {
    if (arrays == nullptr) return;
    for (std::int32_t i = 0; i < count; ++i) fft(arrays[i], n);
}

void fftRealMany(const float* const* inputs, Complex* const* outputs, std::int32_t count,
                 std::int32_t n) {
    if (inputs == nullptr || outputs == nullptr || !isSupportedLength(n)) return;
    for (std::int32_t i = 0; i < count; ++i) {
        for (std::int32_t k = 0; k < n; ++k) outputs[i][k] = Complex{inputs[i][k], 0.0f};
        fft(outputs[i], n);
    }
}

}  // namespace selvik
