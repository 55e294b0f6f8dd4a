#include "signal/Fft.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <mutex>
#include <new>

#include "signal/FftKernels.h"

namespace selvik {

namespace {

using fftdetail::kAvx2Width;
using fftdetail::kAvx512Width;
using fftdetail::kMaxLog2;
static_assert((std::int32_t{1} << kMaxLog2) == kMaxFftLength);

// Twiddles of the butterfly level of length m (m = 4 .. kMaxFftLength) live
// at offset m / 2 - 1, m / 2 entries long. They are made by the same angle
// accumulation the recursion performs, so each (c, d) pair is the one it
// would evaluate; the level of length 2 needs none. Static storage: building
// a level can never fail.
constexpr std::size_t kTableSize = static_cast<std::size_t>(kMaxFftLength);
double gCos[kTableSize];
double gSin[kTableSize];
std::uint16_t gBitReverse16[kTableSize];
std::array<std::once_flag, kMaxLog2 + 1> gLevelBuilt;
std::once_flag gBitReverseBuilt;

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

// Each reversal from that of i / 2, whose bits are i's without its lowest:
// one step per entry instead of sixteen, since the table is built at the
// start of every conversion.
void buildBitReverse() {
    gBitReverse16[0] = 0;
    for (std::uint32_t i = 1; i < kTableSize; ++i) {
        gBitReverse16[i] = static_cast<std::uint16_t>((gBitReverse16[i >> 1] >> 1) |
                                                      ((i & 1u) << (kMaxLog2 - 1)));
    }
}

// Makes sure the twiddles of every level up to length 2^log2n exist.
void ensureLevels(int log2n) {
    for (int log2 = 2; log2 <= log2n; ++log2) {
        std::call_once(gLevelBuilt[static_cast<std::size_t>(log2)], buildLevel, log2);
    }
}

#if defined(__x86_64__)
const fftdetail::Tables& tables() {
    static const fftdetail::Tables t{gCos, gSin, gBitReverse16};
    return t;
}
#endif

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

void scalarFft(Complex* x, std::int32_t n) {
    bitReversePermute(x, n);
    scalarStages(x, n);
}

enum class Isa { Scalar, Avx2, Avx512 };

#if defined(__x86_64__)
Isa detectIsa() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx2")) {
        return Isa::Avx512;
    }
    if (__builtin_cpu_supports("avx2")) return Isa::Avx2;
    return Isa::Scalar;
}
#else
// The lane kernels are x86-64 code; other processors take the scalar path.
Isa detectIsa() { return Isa::Scalar; }
#endif

std::atomic<int> gIsaCap{static_cast<int>(Isa::Avx512)};

Isa isa() {
    static const Isa detected = detectIsa();
    const int cap = gIsaCap.load(std::memory_order_relaxed);
    return static_cast<int>(detected) < cap ? detected : static_cast<Isa>(cap);
}

#if defined(__x86_64__)

// Per-thread working memory of the lane kernels, grown on demand and kept:
// the interleaved lanes and one spare output for lanes nobody asked for.
// A failed allocation leaves it empty and the caller falls back to the
// scalar path, which needs no memory.
class Scratch {
public:
    ~Scratch() { release(); }

    bool reserve(std::int32_t n, int width) {
        const std::size_t laneFloats = static_cast<std::size_t>(n) * 2 * static_cast<std::size_t>(width);
        const std::size_t spare = static_cast<std::size_t>(n);
        if (laneFloats <= laneFloats_ && spare <= spareCount_) return true;
        release();
        lanes_ = static_cast<float*>(
            ::operator new(laneFloats * sizeof(float), std::align_val_t{64}, std::nothrow));
        spare_ = static_cast<Complex*>(
            ::operator new(spare * sizeof(Complex), std::align_val_t{64}, std::nothrow));
        if (lanes_ == nullptr || spare_ == nullptr) {
            release();
            return false;
        }
        laneFloats_ = laneFloats;
        spareCount_ = spare;
        return true;
    }
    float* lanes() { return lanes_; }
    Complex* spare() { return spare_; }

private:
    void release() {
        if (lanes_) ::operator delete(lanes_, std::align_val_t{64});
        if (spare_) ::operator delete(spare_, std::align_val_t{64});
        lanes_ = nullptr;
        spare_ = nullptr;
        laneFloats_ = 0;
        spareCount_ = 0;
    }

    float* lanes_ = nullptr;
    Complex* spare_ = nullptr;
    std::size_t laneFloats_ = 0;
    std::size_t spareCount_ = 0;
};

thread_local Scratch tScratch;

// Runs `used` (1 .. width) transforms through one lane kernel. Returns false
// when no scratch memory is available.
bool runGroup(Isa kind, const Complex* const* complexIn, const float* const* realIn,
              Complex* const* out, int used, std::int32_t n, int log2n, bool lowerHalf) {
    const int width = kind == Isa::Avx512 ? kAvx512Width : kAvx2Width;
    if (!tScratch.reserve(n, width)) return false;
    const Complex* cin[kAvx512Width];
    const float* rin[kAvx512Width];
    Complex* dst[kAvx512Width];
    for (int l = 0; l < width; ++l) {
        const int from = l < used ? l : 0;
        cin[l] = complexIn ? complexIn[from] : nullptr;
        rin[l] = realIn ? realIn[from] : nullptr;
        dst[l] = l < used ? out[l] : tScratch.spare();
    }
    const fftdetail::LaneGroup group{complexIn ? cin : nullptr, realIn ? rin : nullptr, dst, lowerHalf};
    if (kind == Isa::Avx512) {
        fftdetail::transformLanesAvx512(group, tables(), log2n, tScratch.lanes());
    } else {
        fftdetail::transformLanesAvx2(group, tables(), log2n, tScratch.lanes());
    }
    return true;
}

#else

// Without lane kernels no group runs; its transforms run one at a time.
bool runGroup(Isa, const Complex* const*, const float* const*, Complex* const*, int, std::int32_t,
              int, bool) {
    return false;
}

#endif

void scalarReal(const float* in, Complex* out, std::int32_t n) {
    for (std::int32_t k = 0; k < n; ++k) out[k] = Complex{in[k], 0.0f};
    scalarFft(out, n);
}

// One transform on its own: vectorised across its butterflies where the
// processor and the length allow, else the scalar path. Tables must exist.
void runSingle(const Complex* complexIn, const float* realIn, Complex* out, std::int32_t n,
               int log2n) {
#if defined(__x86_64__)
    if (isa() == Isa::Avx512 && log2n >= fftdetail::kSingleMinLog2 && tScratch.reserve(n, 1)) {
        fftdetail::transformSingleAvx512(complexIn, realIn, out, tables(), log2n,
                                         tScratch.lanes());
        return;
    }
#else
    static_cast<void>(complexIn);  // the scalar path works in place on out
    static_cast<void>(log2n);
#endif
    if (realIn) {
        scalarReal(realIn, out, n);
    } else {
        scalarFft(out, n);
    }
}

// Splits `count` transforms into lane groups; a group is only worth running
// when enough of its lanes are in use, the rest run one at a time. With
// AVX-512 a single transform vectorised across its butterflies costs about a
// sixth of an eight-lane group, so groups start at seven transforms.
void runMany(const Complex* const* complexIn, const float* const* realIn, Complex* const* out,
             std::int32_t count, std::int32_t n, bool lowerHalf = false) {
    const int log2n = log2Of(n);
    ensureLevels(log2n);
    std::call_once(gBitReverseBuilt, buildBitReverse);
    const Isa kind = isa();
    std::int32_t i = 0;
    while (i < count) {
        const std::int32_t left = count - i;
        Isa group = Isa::Scalar;
        int width = 1;
        if (kind == Isa::Avx512) {
            if (left >= kAvx512Width - 1) {
                group = Isa::Avx512;
                width = kAvx512Width;
            }
        } else if (kind == Isa::Avx2 && left >= 2) {
            group = Isa::Avx2;
            width = kAvx2Width;
        }
        const int used = static_cast<int>(left < width ? left : width);
        if (group == Isa::Scalar ||
            !runGroup(group, complexIn ? complexIn + i : nullptr, realIn ? realIn + i : nullptr,
                      out + i, used, n, log2n, lowerHalf)) {
            for (int l = 0; l < used; ++l) {
                runSingle(complexIn ? complexIn[i + l] : nullptr, realIn ? realIn[i + l] : nullptr,
                          out[i + l], n, log2n);
            }
        }
        i += used;
    }
}

}  // namespace

namespace fftdetail {

void limitInstructionSet(InstructionSet cap) {
    static_assert(static_cast<int>(InstructionSet::Avx2) == static_cast<int>(Isa::Avx2));
    gIsaCap.store(cap == InstructionSet::Best ? static_cast<int>(Isa::Avx512)
                                              : static_cast<int>(cap),
                  std::memory_order_relaxed);
}

}  // namespace fftdetail

void fft(Complex* x, std::int32_t n) {
    if (x == nullptr || !isSupportedLength(n)) return;
    const int log2n = log2Of(n);
    ensureLevels(log2n);
    std::call_once(gBitReverseBuilt, buildBitReverse);
    runSingle(x, nullptr, x, n, log2n);
}

void fftMany(Complex* const* arrays, std::int32_t count, std::int32_t n) {
    if (arrays == nullptr || count <= 0 || !isSupportedLength(n)) return;
    runMany(arrays, nullptr, arrays, count, n);
}

void fftRealMany(const float* const* inputs, Complex* const* outputs, std::int32_t count,
                 std::int32_t n) {
    if (inputs == nullptr || outputs == nullptr || count <= 0 || !isSupportedLength(n)) return;
    runMany(nullptr, inputs, outputs, count, n);
}

void fftRealManyLowerHalf(const float* const* inputs, Complex* const* outputs, std::int32_t count,
                          std::int32_t n) {
    if (inputs == nullptr || outputs == nullptr || count <= 0 || !isSupportedLength(n)) return;
    runMany(nullptr, inputs, outputs, count, n, true);
}

}  // namespace selvik
