#include "signal/Fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "signal/FftKernels.h"
#include "signal/ReferenceFft.h"
#include "signal/Signal.h"

namespace selvik {
namespace {

using Spectrum = std::vector<Complex>;

// Index of the first value whose bits differ, or -1 when all match.
std::int64_t firstBitDifference(const Spectrum& actual, const Spectrum& expected) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (std::memcmp(&actual[i], &expected[i], sizeof(Complex)) != 0) {
            return static_cast<std::int64_t>(i);
        }
    }
    return -1;
}

std::string describeDifference(const Spectrum& actual, const Spectrum& expected) {
    const std::int64_t i = firstBitDifference(actual, expected);
    if (i < 0) return "identical";
    const auto k = static_cast<std::size_t>(i);
    return "bin " + std::to_string(i) + ": (" + std::to_string(actual[k].re) + ", " +
           std::to_string(actual[k].im) + ") instead of (" + std::to_string(expected[k].re) +
           ", " + std::to_string(expected[k].im) + ")";
}

Spectrum reference(Spectrum x) {
    test::referenceFft(x.data(), static_cast<std::int32_t>(x.size()));
    return x;
}

// The inputs every length is checked with. `seed` varies them between the
// arrays of one batch.
enum class Input { Random, ZerosOfBothSigns, Impulse, ShiftedImpulse, Sine, Exponential };

struct InputRow {
    const char* sentence;
    Input input;
};

const InputRow kInputs[] = {
    {"random values in -1..1", Input::Random},
    {"zeros of both signs mixed with values", Input::ZerosOfBothSigns},
    {"an impulse at sample 0", Input::Impulse},
    {"an impulse away from sample 0", Input::ShiftedImpulse},
    {"a real sine between bins", Input::Sine},
    {"a complex exponential on a bin", Input::Exponential},
};

Spectrum makeInput(Input kind, std::int32_t n, unsigned seed) {
    Spectrum x(static_cast<std::size_t>(n), Complex{0.0f, 0.0f});
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (std::int32_t j = 0; j < n; ++j) {
        auto& v = x[static_cast<std::size_t>(j)];
        switch (kind) {
            case Input::Random:
                v = Complex{uniform(generator), uniform(generator)};
                break;
            case Input::ZerosOfBothSigns: {
                const unsigned pick = generator() % 4;
                const float re = pick == 0 ? -0.0f : pick == 1 ? 0.0f : uniform(generator);
                const float im = (generator() & 1) ? -0.0f : 0.0f;
                v = Complex{re, im};
                break;
            }
            case Input::Impulse:
                v = Complex{j == 0 ? 1.0f : 0.0f, 0.0f};
                break;
            case Input::ShiftedImpulse:
                v = Complex{j == static_cast<std::int32_t>(seed % static_cast<unsigned>(n)) ? 0.75f : 0.0f,
                            0.0f};
                break;
            case Input::Sine:
                v = Complex{static_cast<float>(std::sin(0.37 * j + 0.1 * seed)), 0.0f};
                break;
            case Input::Exponential: {
                const double angle = 6.283185307179586 * (1 + seed % 7) * j / n;
                v = Complex{static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
                break;
            }
        }
    }
    return x;
}

std::vector<std::int32_t> lengthsUpTo(std::int32_t largest) {
    std::vector<std::int32_t> lengths;
    for (std::int32_t n = 2; n <= largest; n *= 2) lengths.push_back(n);
    return lengths;
}

TEST(Fft, MatchesTheRecursionBitForBitAtEveryLength) {
    for (const InputRow& row : kInputs) {
        for (std::int32_t n : lengthsUpTo(kMaxFftLength)) {
            const Spectrum input = makeInput(row.input, n, 3);
            Spectrum actual = input;
            fft(actual.data(), n);
            const Spectrum expected = reference(input);
            EXPECT_EQ(describeDifference(actual, expected), "identical")
                << row.sentence << ", n = " << n;
        }
    }
}

// Runs fftMany on the first `count` of `inputs` and checks each against its
// reference transform.
void checkMany(const std::vector<Spectrum>& inputs, const std::vector<Spectrum>& expected,
               std::int32_t count, std::int32_t n, const char* sentence) {
    std::vector<Spectrum> work(inputs.begin(), inputs.begin() + count);
    std::vector<Complex*> arrays;
    for (Spectrum& w : work) arrays.push_back(w.data());
    fftMany(arrays.data(), count, n);
    for (std::int32_t i = 0; i < count; ++i) {
        EXPECT_EQ(describeDifference(work[i], expected[i]), "identical")
            << sentence << ", n = " << n << ", count = " << count << ", array " << i;
    }
}

// Without lane kernels a batch is its transforms one after another, so a few
// sizes cover it; the emulated arm64 build needs the time.
std::vector<std::int32_t> countsFor(std::int32_t n) {
    if (!fftdetail::kLaneKernels) return {1, 2, 3};
    if (n > 8192) return {1, 5, 8, 13};
    std::vector<std::int32_t> counts;
    for (std::int32_t c = 1; c <= 17; ++c) counts.push_back(c);
    return counts;
}

TEST(FftMany, MatchesTheRecursionBitForBitForEveryBatchSize) {
    for (const InputRow& row : kInputs) {
        for (std::int32_t n : lengthsUpTo(kMaxFftLength)) {
            const std::vector<std::int32_t> counts = countsFor(n);
            std::vector<Spectrum> inputs;
            std::vector<Spectrum> expected;
            for (std::int32_t i = 0; i < counts.back(); ++i) {
                inputs.push_back(makeInput(row.input, n, 100u + static_cast<unsigned>(i)));
                expected.push_back(reference(inputs.back()));
            }
            for (std::int32_t count : counts) checkMany(inputs, expected, count, n, row.sentence);
        }
    }
}

// The real form must give what fft gives on {x, +0.0f}, and its lower-half
// form the lower half of that.
void checkRealMany(const std::vector<std::vector<float>>& inputs, std::int32_t count,
                   std::int32_t n, const char* sentence) {
    std::vector<const float*> in;
    std::vector<Spectrum> outputs(static_cast<std::size_t>(count),
                                  Spectrum(static_cast<std::size_t>(n), Complex{7.0f, 7.0f}));
    std::vector<Complex*> out;
    for (std::int32_t i = 0; i < count; ++i) {
        in.push_back(inputs[i].data());
        out.push_back(outputs[i].data());
    }
    fftRealMany(in.data(), out.data(), count, n);
    std::vector<Spectrum> halves(static_cast<std::size_t>(count),
                                 Spectrum(static_cast<std::size_t>(n), Complex{7.0f, 7.0f}));
    std::vector<Complex*> halfOut;
    for (Spectrum& half : halves) halfOut.push_back(half.data());
    fftRealManyLowerHalf(in.data(), halfOut.data(), count, n);
    for (std::int32_t i = 0; i < count; ++i) {
        Spectrum complexInput(static_cast<std::size_t>(n));
        for (std::int32_t j = 0; j < n; ++j) complexInput[j] = Complex{inputs[i][j], 0.0f};
        const Spectrum expected = reference(complexInput);
        EXPECT_EQ(describeDifference(outputs[i], expected), "identical")
            << sentence << ", n = " << n << ", count = " << count << ", array " << i;
        const Spectrum lower(expected.begin(), expected.begin() + n / 2);
        EXPECT_EQ(describeDifference(Spectrum(halves[i].begin(), halves[i].begin() + n / 2), lower), "identical")
            << "lower half, " << sentence << ", n = " << n << ", count = " << count << ", array " << i;
    }
}

TEST(FftRealMany, MatchesTheRecursionOnRealInputsBitForBit) {
    for (const InputRow& row : kInputs) {
        for (std::int32_t n : lengthsUpTo(kMaxFftLength)) {
            std::vector<std::vector<float>> inputs;
            const std::vector<std::int32_t> counts =
                !fftdetail::kLaneKernels ? std::vector<std::int32_t>{1, 3}
                : n > 8192               ? std::vector<std::int32_t>{1, 9}
                                         : std::vector<std::int32_t>{1, 2, 4, 7, 8, 16, 17};
            for (std::int32_t i = 0; i < counts.back(); ++i) {
                const Spectrum x = makeInput(row.input, n, 200u + static_cast<unsigned>(i));
                std::vector<float> reals(static_cast<std::size_t>(n));
                for (std::int32_t j = 0; j < n; ++j) reals[j] = x[j].re;
                inputs.push_back(std::move(reals));
            }
            for (std::int32_t count : counts) checkRealMany(inputs, count, n, row.sentence);
        }
    }
}

TEST(FftMany, GivesTheSameBitsWhenRunFromSeveralThreadsAtOnce) {
    // Lengths not used before in this process make the threads race for the
    // first build of the twiddle levels.
    constexpr std::int32_t n = 32768;
    constexpr std::int32_t count = 9;
    std::vector<Spectrum> inputs;
    for (std::int32_t i = 0; i < count; ++i) inputs.push_back(makeInput(Input::Random, n, 300u + i));
    std::vector<Spectrum> expected;
    for (const Spectrum& x : inputs) expected.push_back(reference(x));

    constexpr int kThreads = 4;
    std::vector<std::vector<Spectrum>> results(kThreads, inputs);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&results, t] {
            std::vector<Complex*> arrays;
            for (Spectrum& s : results[static_cast<std::size_t>(t)]) arrays.push_back(s.data());
            fftMany(arrays.data(), count, n);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        for (std::int32_t i = 0; i < count; ++i) {
            EXPECT_EQ(describeDifference(results[t][i], expected[i]), "identical")
                << "thread " << t << ", array " << i;
        }
    }
}

// The narrower paths a processor without AVX-512 (or without AVX2) takes.
struct PathRow {
    const char* sentence;
    fftdetail::InstructionSet cap;
};

const PathRow kNarrowerPaths[] = {
    {"with AVX2 at most", fftdetail::InstructionSet::Avx2},
    {"without SIMD", fftdetail::InstructionSet::Scalar},
};

class InstructionSetCap {
public:
    explicit InstructionSetCap(fftdetail::InstructionSet cap) { fftdetail::limitInstructionSet(cap); }
    ~InstructionSetCap() { fftdetail::limitInstructionSet(fftdetail::InstructionSet::Best); }
};

TEST(FftMany, MatchesTheRecursionBitForBitOnTheNarrowerPaths) {
    for (const PathRow& path : kNarrowerPaths) {
        InstructionSetCap cap(path.cap);
        for (std::int32_t n : lengthsUpTo(8192)) {
            std::vector<Spectrum> inputs;
            std::vector<Spectrum> expected;
            std::vector<std::vector<float>> reals;
            for (std::int32_t i = 0; i < 9; ++i) {
                inputs.push_back(makeInput(Input::ZerosOfBothSigns, n, 400u + static_cast<unsigned>(i)));
                expected.push_back(reference(inputs.back()));
                const Spectrum x = makeInput(Input::Random, n, 500u + static_cast<unsigned>(i));
                std::vector<float> r(static_cast<std::size_t>(n));
                for (std::int32_t j = 0; j < n; ++j) r[j] = x[j].re;
                reals.push_back(std::move(r));
            }
            for (std::int32_t count : {1, 2, 4, 5, 9}) {
                checkMany(inputs, expected, count, n, path.sentence);
                checkRealMany(reals, count, n, path.sentence);
            }
            Spectrum single = inputs[0];
            fft(single.data(), n);
            EXPECT_EQ(describeDifference(single, expected[0]), "identical") << path.sentence << ", n = " << n;
        }
    }
}

TEST(Fft, OfLengthTwoIsTheSumAndTheDifference) {
    Spectrum x = {{1.0f, 0.0f}, {2.0f, 0.0f}};
    fft(x.data(), 2);
    EXPECT_EQ(x[0].re, 3.0f);
    EXPECT_EQ(x[0].im, 0.0f);
    EXPECT_EQ(x[1].re, -1.0f);
    EXPECT_EQ(x[1].im, 0.0f);
}

TEST(Fft, OfAnImpulseIsFlat) {
    Spectrum x = {{1.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}};
    fft(x.data(), 4);
    for (const Complex& v : x) {
        EXPECT_EQ(v.re, 1.0f);
        EXPECT_EQ(v.im, 0.0f);
    }
}

TEST(Fft, OfAComplexExponentialIsOneLine) {
    Spectrum x(8);
    for (int j = 0; j < 8; ++j) {
        x[j] = Complex{static_cast<float>(std::cos(6.283185307179586 * j / 8)),
                       static_cast<float>(std::sin(6.283185307179586 * j / 8))};
    }
    fft(x.data(), 8);
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(x[k].re, k == 1 ? 8.0f : 0.0f, 1e-5f) << "bin " << k;
        EXPECT_NEAR(x[k].im, 0.0f, 1e-5f) << "bin " << k;
    }
}

TEST(Fft, OfARealCosineIsTwoMirroredLines) {
    Spectrum x(8);
    for (int j = 0; j < 8; ++j) x[j] = Complex{static_cast<float>(std::cos(6.283185307179586 * j / 8)), 0.0f};
    fft(x.data(), 8);
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(x[k].re, (k == 1 || k == 7) ? 4.0f : 0.0f, 1e-5f) << "bin " << k;
        EXPECT_NEAR(x[k].im, 0.0f, 1e-5f) << "bin " << k;
    }
}

TEST(Transform, OfAllOnesIsTheCountInBinZero) {
    Signal signal;
    ASSERT_EQ(signal.create(1024), SignalStatus::NoError);
    for (std::int32_t i = 0; i < 1024; ++i) signal.samples()[i] = 1.0f;
    ASSERT_EQ(signal.allocateSpectrum(), SignalStatus::NoError);
    ASSERT_EQ(signal.transform(), SignalStatus::NoError);
    EXPECT_EQ(signal.spectrum()[0].re, 1024.0f);
    EXPECT_EQ(signal.spectrum()[0].im, 0.0f);
    for (std::int32_t k = 1; k < 1024; ++k) {
        EXPECT_NEAR(signal.spectrum()[k].re, 0.0f, 1e-3f) << "bin " << k;
        EXPECT_NEAR(signal.spectrum()[k].im, 0.0f, 1e-3f) << "bin " << k;
    }
}

struct BadLengthRow {
    const char* sentence;
    std::int32_t n;
};

const BadLengthRow kBadLengths[] = {
    {"a length of 0 is refused", 0},
    {"a length of 1 is refused", 1},
    {"a negative length is refused", -8},
    {"a length that is not a power of two is refused", 12},
    {"a length above the largest table is refused", kMaxFftLength * 2},
};

TEST(Fft, LeavesTheArrayUnchangedForLengthsItCannotTransform) {
    for (const BadLengthRow& row : kBadLengths) {
        Spectrum x(16, Complex{0.5f, -0.25f});
        fft(x.data(), row.n);
        fftMany(std::vector<Complex*>{x.data()}.data(), 1, row.n);
        for (const Complex& v : x) {
            EXPECT_EQ(v.re, 0.5f) << row.sentence;
            EXPECT_EQ(v.im, -0.25f) << row.sentence;
        }
    }
}

}  // namespace
}  // namespace selvik
