#include "signal/Window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/MessageService.h"
#include "signal/Signal.h"
#include "support/BitHash.h"

namespace selvik {
namespace {

// Records every message shown while it lives.
class MessageLog {
public:
    MessageLog() : scope_([this](std::string_view text) { texts.emplace_back(text); }) {}
    std::vector<std::string> texts;

private:
    ScopedMessageHandler scope_;
};

struct FiveRow {
    const char* sentence;
    std::int32_t type;
    float values[5];
    double endTolerance;
    double innerTolerance;
};

const FiveRow kFivePoint[] = {
    {"Hanning rises from 0 through 0.5 to 1", Hanning, {0.0f, 0.5f, 1.0f, 0.5f, 0.0f}, 1e-25, 1e-6},
    {"Blackman rises from 0 through 0.34 to 1", Blackman, {0.0f, 0.34f, 1.0f, 0.34f, 0.0f}, 1e-16, 1e-6},
    {"Gaussian falls to e^-4.5 at both ends", Gaussian,
     {0.011109f, 0.324652f, 1.0f, 0.324652f, 0.011109f}, 1e-6, 1e-6},
};

TEST(MakeWindow, OfFivePointsHasTheKnownValues) {
    for (const FiveRow& row : kFivePoint) {
        Signal window;
        makeWindow(window, row.type, 5);
        ASSERT_EQ(window.count(), 5) << row.sentence;
        ASSERT_EQ(window.paddedLength(), 8) << row.sentence;
        for (int i = 0; i < 5; ++i) {
            const double tolerance = (i == 0 || i == 4) ? row.endTolerance : row.innerTolerance;
            EXPECT_NEAR(window.samples()[i], row.values[i], tolerance) << row.sentence << ", sample " << i;
        }
        for (int i = 5; i < 8; ++i) EXPECT_EQ(window.samples()[i], 0.0f) << row.sentence;
    }
}

struct TwoRow {
    const char* sentence;
    std::int32_t type;
    double value;
    double tolerance;
};

const TwoRow kTwoPoint[] = {
    {"Gaussian of two points is e^-4.5 twice", Gaussian, 0.011108996538242306, 1e-9},
    {"Hanning of two points is about 0 twice", Hanning, 0.0, 1e-25},
    {"Blackman of two points is about 0 twice", Blackman, 0.0, 1e-16},
};

TEST(MakeWindow, OfTwoPointsHasTwoEqualValues) {
    for (const TwoRow& row : kTwoPoint) {
        Signal window;
        makeWindow(window, row.type, 2);
        ASSERT_EQ(window.count(), 2) << row.sentence;
        EXPECT_EQ(window.samples()[0], window.samples()[1]) << row.sentence;
        EXPECT_NEAR(window.samples()[0], row.value, row.tolerance) << row.sentence;
    }
}

// The usual symmetric forms with t = i / (n - 1); they agree with the
// centred forms to float precision.
struct ShapeRow {
    const char* sentence;
    std::int32_t type;
    double (*shape)(double t);
};

const ShapeRow kShapes[] = {
    {"Hanning is 0.5 - 0.5 cos(2 pi t)", Hanning,
     [](double t) { return 0.5 - 0.5 * std::cos(2 * M_PI * t); }},
    {"Blackman is 0.42 - 0.5 cos(2 pi t) + 0.08 cos(4 pi t)", Blackman,
     [](double t) { return 0.42 - 0.5 * std::cos(2 * M_PI * t) + 0.08 * std::cos(4 * M_PI * t); }},
    {"Gaussian is e^(-18 (t - 0.5)^2)", Gaussian,
     [](double t) { return std::exp(-18 * (t - 0.5) * (t - 0.5)); }},
};

TEST(MakeWindow, FollowsTheUsualSymmetricForms) {
    constexpr std::int32_t n = 1023;
    for (const ShapeRow& row : kShapes) {
        Signal window;
        makeWindow(window, row.type, n);
        ASSERT_EQ(window.count(), n) << row.sentence;
        for (std::int32_t i = 0; i < n; ++i) {
            EXPECT_NEAR(window.samples()[i], row.shape(static_cast<double>(i) / (n - 1)), 2e-7)
                << row.sentence << ", sample " << i;
        }
    }
}

TEST(MakeWindow, BelowTwoPointsLeavesTheSignalAsItWasAndSaysNothing) {
    for (std::int32_t n : {1, 0, -4}) {
        MessageLog log;
        Signal window;
        ASSERT_EQ(window.create(3), SignalStatus::NoError);
        window.samples()[1] = 0.25f;
        const float* before = window.samples();
        makeWindow(window, Hanning, n);
        EXPECT_EQ(window.samples(), before) << "n = " << n;
        EXPECT_EQ(window.count(), 3) << "n = " << n;
        EXPECT_EQ(window.paddedLength(), 4) << "n = " << n;
        EXPECT_EQ(window.samples()[0], 0.0f) << "n = " << n;
        EXPECT_EQ(window.samples()[1], 0.25f) << "n = " << n;
        EXPECT_TRUE(log.texts.empty()) << "n = " << n;
    }
}

TEST(MakeWindow, OfAnUnknownTypeIsAllZeros) {
    for (std::int32_t type : {3, -1}) {
        Signal window;
        makeWindow(window, type, 6);
        ASSERT_EQ(window.count(), 6) << "type " << type;
        for (std::int32_t i = 0; i < window.paddedLength(); ++i) {
            EXPECT_EQ(window.samples()[i], 0.0f) << "type " << type << ", sample " << i;
        }
    }
}

TEST(MakeWindow, OfAnUnpaddedLengthLeavesZerosUpToThePaddedLength) {
    Signal window;
    makeWindow(window, Gaussian, 1000);
    EXPECT_EQ(window.sampleRate(), -1);
    EXPECT_EQ(window.count(), 1000);
    ASSERT_EQ(window.paddedLength(), 1024);
    EXPECT_GT(window.samples()[999], 0.011f);
    for (std::int32_t i = 1000; i < 1024; ++i) EXPECT_EQ(window.samples()[i], 0.0f) << "sample " << i;
}

TEST(MakeWindow, ReplacesAnEarlierWindow) {
    Signal window;
    makeWindow(window, Hanning, 64);
    makeWindow(window, Blackman, 5);
    EXPECT_EQ(window.count(), 5);
    EXPECT_NEAR(window.samples()[1], 0.34f, 1e-6);
}

TEST(MakeWindow, ThatCannotBeCreatedSaysSoAndLeavesTheSignalEmpty) {
    MessageLog log;
    Signal window;
    makeWindow(window, Hanning, 16);
    // More samples than a Signal can hold: create refuses before allocating.
    makeWindow(window, Hanning, static_cast<std::int32_t>(Signal::kMaxCount + 1));
    EXPECT_EQ(log.texts, std::vector<std::string>{"Can't create window: Out of memory"});
    EXPECT_EQ(window.count(), 0);
    EXPECT_EQ(window.paddedLength(), 0);
    EXPECT_EQ(window.samples(), nullptr);
}

// The bits of every window at the block sizes and some odd lengths, as the
// x86-64 build gave them: exp, pow and cos from another C library, or
// multiply-adds fused by the compiler, show here.
TEST(MakeWindow, GivesTheRecordedBitsOnEveryProcessor) {
    std::uint64_t hash = test::kBitHashStart;
    for (std::int32_t type : {Gaussian, Hanning, Blackman}) {
        for (std::int32_t n : {2, 3, 5, 100, 1000, 1024, 2048, 4096, 8192}) {
            Signal window;
            makeWindow(window, type, n);
            ASSERT_EQ(window.count(), n);
            hash = test::bitHash(window.samples(), static_cast<std::size_t>(n), hash);
        }
    }
    EXPECT_EQ(hash, 0x86652c5d47da8365ull);
}

}  // namespace
}  // namespace selvik
