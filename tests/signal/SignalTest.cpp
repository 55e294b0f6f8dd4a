#include "signal/Signal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>

namespace selvik {
namespace {

void expectEmpty(const Signal& signal) {
    EXPECT_EQ(signal.sampleRate(), -1);
    EXPECT_EQ(signal.count(), 0);
    EXPECT_EQ(signal.paddedLength(), 0);
    EXPECT_EQ(signal.samples(), nullptr);
    EXPECT_EQ(signal.spectrum(), nullptr);
}

TEST(Signal, StartsEmpty) {
    Signal signal;
    expectEmpty(signal);
}

struct CreateRow {
    const char* sentence;
    std::int32_t n;
    SignalStatus status;
    std::int32_t paddedLength;
};

const CreateRow kCreateRows[] = {
    {"a count of zero is a bad parameter", 0, SignalStatus::BadParameter, 0},
    {"a negative count is a bad parameter", -5, SignalStatus::BadParameter, 0},
    {"one sample pads to one", 1, SignalStatus::NoError, 1},
    {"3000 samples pad to 4096", 3000, SignalStatus::NoError, 4096},
    {"1024 samples stay at 1024", 1024, SignalStatus::NoError, 1024},
    {"1025 samples pad to 2048", 1025, SignalStatus::NoError, 2048},
};

TEST(Signal, CreateFollowsThePaddedLengthRule) {
    for (const CreateRow& row : kCreateRows) {
        SCOPED_TRACE(row.sentence);
        Signal signal;
        ASSERT_EQ(signal.create(row.n), row.status);
        if (row.status != SignalStatus::NoError) {
            expectEmpty(signal);
            continue;
        }
        EXPECT_EQ(signal.count(), row.n);
        EXPECT_EQ(signal.paddedLength(), row.paddedLength);
        EXPECT_EQ(signal.sampleRate(), -1);
        ASSERT_NE(signal.samples(), nullptr);
        for (std::int32_t i = 0; i < signal.paddedLength(); ++i) {
            ASSERT_EQ(signal.samples()[i], 0.0f) << "entry " << i;
        }
    }
}

TEST(Signal, CreateAgainReplacesTheSamplesWithZeros) {
    Signal signal;
    ASSERT_EQ(signal.create(4), SignalStatus::NoError);
    for (std::int32_t i = 0; i < 4; ++i) signal.samples()[i] = 1.0f;
    ASSERT_EQ(signal.create(8), SignalStatus::NoError);
    for (std::int32_t i = 0; i < 8; ++i) EXPECT_EQ(signal.samples()[i], 0.0f);
}

TEST(Signal, AFailedCreateEmptiesAFilledSignal) {
    Signal signal;
    ASSERT_EQ(signal.create(16), SignalStatus::NoError);
    ASSERT_EQ(signal.allocateSpectrum(), SignalStatus::NoError);
    EXPECT_EQ(signal.create(-1), SignalStatus::BadParameter);
    expectEmpty(signal);
}

TEST(Signal, ClearReturnsToTheEmptyState) {
    Signal signal;
    ASSERT_EQ(signal.create(100), SignalStatus::NoError);
    ASSERT_EQ(signal.allocateSpectrum(), SignalStatus::NoError);
    signal.clear();
    expectEmpty(signal);
    signal.clear();  // clearing an empty signal is harmless
    expectEmpty(signal);
}

struct PaddedRow {
    const char* sentence;
    std::int64_t count;
    std::int32_t paddedLength;
};

const PaddedRow kPaddedRows[] = {
    {"an empty data chunk gets two samples", 0, 2},
    {"one maps to one", 1, 1},
    {"two maps to two", 2, 2},
    {"three maps to four", 3, 4},
    {"1000 maps to 1024", 1000, 1024},
    {"1024 maps to itself", 1024, 1024},
    {"1025 maps to 2048", 1025, 2048},
    {"2^29 + 1 maps to 2^30", (std::int64_t{1} << 29) + 1, std::int32_t{1} << 30},
    {"2^30 - 1 maps to 2^30", (std::int64_t{1} << 30) - 1, std::int32_t{1} << 30},
    {"2^30 maps to itself", std::int64_t{1} << 30, std::int32_t{1} << 30},
    {"2^30 + 1 does not fit", (std::int64_t{1} << 30) + 1, -1},
    {"a 32-bit count beyond 2^31 does not fit", std::int64_t{1} << 32, -1},
    {"a negative count has none", -1, -1},
};

TEST(Signal, PaddedLengthIsTheSmallestPowerOfTwoNotBelowTheCount) {
    for (const PaddedRow& row : kPaddedRows) {
        SCOPED_TRACE(row.sentence);
        EXPECT_EQ(Signal::paddedLengthFor(row.count), row.paddedLength);
    }
}

TEST(Signal, EveryPowerOfTwoUpTo2To30MapsToItselfAndItsSuccessorToTheNext) {
    for (int k = 0; k <= 30; ++k) {
        const std::int64_t p = std::int64_t{1} << k;
        EXPECT_EQ(Signal::paddedLengthFor(p), p) << "2^" << k;
        if (k < 30) {
            EXPECT_EQ(Signal::paddedLengthFor(p + 1), 2 * p) << "2^" << k << " + 1";
        }
    }
}

struct WrapRow {
    const char* sentence;
    std::int32_t index;
    std::int32_t entry;
};

const WrapRow kWrapRows[] = {
    {"-1 is the last padded entry", -1, 1023},
    {"the padded length wraps to entry 0", 1024, 0},
    {"-1025 is the last padded entry again", -1025, 1023},
    {"2049 is entry 1", 2049, 1},
    {"an index inside the array is itself", 517, 517},
    {"minus the padded length is entry 0", -1024, 0},
};

TEST(Signal, SampleAtWrapsOverThePaddedLength) {
    Signal signal;
    ASSERT_EQ(signal.create(1000), SignalStatus::NoError);
    ASSERT_EQ(signal.paddedLength(), 1024);
    for (std::int32_t i = 0; i < 1024; ++i) signal.samples()[i] = static_cast<float>(i);
    for (const WrapRow& row : kWrapRows) {
        SCOPED_TRACE(row.sentence);
        EXPECT_EQ(&signal.sampleAt(row.index), &signal.samples()[row.entry]);
    }
}

TEST(Signal, SampleAtWritesThroughTheWrappedIndex) {
    Signal signal;
    ASSERT_EQ(signal.create(3), SignalStatus::NoError);
    signal.sampleAt(-1) = 7.0f;
    EXPECT_EQ(signal.samples()[3], 7.0f);
}

TEST(Signal, NormalizeScalesThePeakToOne) {
    Signal signal;
    ASSERT_EQ(signal.create(2), SignalStatus::NoError);
    signal.samples()[0] = 0.25f;
    signal.samples()[1] = -0.5f;
    signal.normalize();
    EXPECT_EQ(signal.samples()[0], 0.5f);
    EXPECT_EQ(signal.samples()[1], -1.0f);
}

TEST(Signal, NormalizeLeavesAnAllZeroSignalUnchanged) {
    Signal signal;
    ASSERT_EQ(signal.create(5), SignalStatus::NoError);
    signal.samples()[2] = -0.0f;
    signal.normalize();
    for (std::int32_t i = 0; i < signal.paddedLength(); ++i) EXPECT_EQ(signal.samples()[i], 0.0f);
    EXPECT_TRUE(std::signbit(signal.samples()[2]));
}

TEST(Signal, NormalizeLooksAtAndScalesOnlyTheFirstCountSamples) {
    Signal signal;
    ASSERT_EQ(signal.create(3), SignalStatus::NoError);
    signal.samples()[0] = 0.125f;
    signal.samples()[1] = -0.25f;
    signal.samples()[2] = 0.0625f;
    signal.samples()[3] = 0.75f;  // padding: neither the peak nor scaled
    signal.normalize();
    EXPECT_EQ(signal.samples()[0], 0.5f);
    EXPECT_EQ(signal.samples()[1], -1.0f);
    EXPECT_EQ(signal.samples()[2], 0.25f);
    EXPECT_EQ(signal.samples()[3], 0.75f);
}

TEST(Signal, NormalizeMultipliesByTheReciprocalOfThePeakInDoublePrecision) {
    Signal signal;
    ASSERT_EQ(signal.create(2), SignalStatus::NoError);
    signal.samples()[0] = 0.3f;
    signal.samples()[1] = 0.1f;
    signal.normalize();
    const double factor = 1.0 / static_cast<double>(0.3f);
    EXPECT_EQ(signal.samples()[0], static_cast<float>(0.3f * factor));
    EXPECT_EQ(signal.samples()[1], static_cast<float>(0.1f * factor));
}

TEST(Signal, NormalizeOnAnEmptySignalDoesNothing) {
    Signal signal;
    signal.normalize();
    expectEmpty(signal);
}

struct MessageRow {
    SignalStatus status;
    std::int32_t code;
    const char* message;
};

const MessageRow kMessageRows[] = {
    {SignalStatus::NoError, 0, "No error"},
    {SignalStatus::BadFileFormat, 1, "Bad file format"},
    {SignalStatus::NoData, 2, "Signal has no data"},
    {SignalStatus::FileError, 3, "File error"},
    {SignalStatus::OutOfMemory, 4, "Out of memory"},
    {SignalStatus::BadParameter, 5, "Bad parameter"},
};

TEST(SignalStatus, EachCodeHasItsFixedMessage) {
    ASSERT_EQ(std::size(kMessageRows), static_cast<std::size_t>(kSignalStatusCount));
    for (const MessageRow& row : kMessageRows) {
        SCOPED_TRACE(row.message);
        EXPECT_EQ(static_cast<std::int32_t>(row.status), row.code);
        EXPECT_STREQ(statusMessage(row.status), row.message);
    }
}

}  // namespace
}  // namespace selvik
