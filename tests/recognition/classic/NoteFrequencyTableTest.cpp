#include "recognition/classic/NoteFrequencyTable.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "support/BitHash.h"

namespace selvik {
namespace {

struct StoredFrequency {
    int note;
    double hertz;
};

TEST(NoteFrequencyTable, AgreesWithTheStoredDecimalValues) {
    const StoredFrequency rows[] = {
        {0, 8.17579891},     {21, 27.5},          {60, 261.6255695},   {66, 369.9944404},
        {69, 440.0},         {78, 739.9888809},   {126, 11839.82209},  {127, 12543.85462},
    };
    for (const auto& row : rows) {
        EXPECT_NEAR(noteFrequencyTable()[row.note], row.hertz, row.hertz * 6e-8) << "note " << row.note;
    }
}

TEST(NoteFrequencyTable, EveryAIsExact) {
    double a = 13.75;
    for (int note = 9; note < 128; note += 12, a *= 2.0) {
        EXPECT_EQ(noteFrequencyTable()[note], a) << "note " << note;
    }
}

struct NearestCase {
    const char* what;
    double hertz;
    int note;
};

TEST(NearestNote, MapsFrequenciesByLogDistance) {
    const double geometricMean = std::sqrt(440.0 * noteFrequencyTable()[70]);
    const NearestCase rows[] = {
        {"zero is no note", 0.0, -1},
        {"1e-6 is no note", 1e-6, -1},
        {"a negative frequency is no note", -440.0, -1},
        {"NaN is no note", std::numeric_limits<double>::quiet_NaN(), -1},
        {"440 Hz is A4", 440.0, 69},
        {"453 Hz is nearer to A#4 in log frequency", 453.0, 70},
        {"bin 20 of a 2048-point block is A4", 441.4306640625, 69},
        {"just below the geometric mean of A4 and A#4 is A4", geometricMean * (1.0 - 1e-9), 69},
        {"just above the geometric mean of A4 and A#4 is A#4", geometricMean * (1.0 + 1e-9), 70},
        {"far below the table is note 0", 1.0, 0},
        {"far above the table is note 127", 20000.0, 127},
    };
    for (const auto& row : rows) EXPECT_EQ(nearestNote(row.hertz), row.note) << row.what;
}

struct ResolvableCase {
    int blockSize;
    int factor;
    int note;  // the table entry expected, F#-1 .. F#5
};

TEST(LowestResolvableFrequency, GivesTheFirstNoteWhoseGapExceedsTheBinWidth) {
    const ResolvableCase rows[] = {
        {1024, 1, 78}, {1024, 2, 66}, {1024, 4, 54}, {1024, 8, 42},
        {2048, 1, 66}, {2048, 2, 54}, {2048, 4, 42}, {2048, 8, 30},
        {4096, 1, 54}, {4096, 2, 42}, {4096, 4, 30}, {4096, 8, 18},
        {8192, 1, 42}, {8192, 2, 30}, {8192, 4, 18}, {8192, 8, 6},
    };
    for (const auto& row : rows) {
        const double hertz = lowestResolvableFrequency(44100, row.blockSize, row.factor);
        EXPECT_EQ(hertz, noteFrequencyTable()[row.note]) << row.blockSize << " at f = " << row.factor;
        EXPECT_EQ(nearestNote(hertz), row.note) << row.blockSize << " at f = " << row.factor;
    }
}

TEST(LowestResolvableFrequency, MatchesTheStoredValuesOfTheBandLimits) {
    // The stored decimals agree with the formula to within 6 parts in 10^8.
    EXPECT_NEAR(lowestResolvableFrequency(44100, 2048, 1), 369.9944404, 369.9944404 * 6e-8);
    EXPECT_NEAR(lowestResolvableFrequency(44100, 1024, 1), 739.9888809, 739.9888809 * 6e-8);
    EXPECT_NEAR(lowestResolvableFrequency(44100, 8192, 8), 11.5623257, 11.5623257 * 6e-8);
}

TEST(LowestResolvableFrequency, IsMinusOneWhenNoGapIsWideEnough) {
    EXPECT_EQ(lowestResolvableFrequency(44100, 1, 1), -1.0);
}

// All 128 frequencies bit for bit as the x86-64 build gave them: a pow from
// another C library shows here.
TEST(NoteFrequencyTable, GivesTheRecordedBitsOnEveryProcessor) {
    const auto& table = noteFrequencyTable();
    EXPECT_EQ(test::bitHash(table.data(), table.size()), 0x9cd0a04d9011d841ull);
}

}  // namespace
}  // namespace selvik
