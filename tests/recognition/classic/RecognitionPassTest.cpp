// Recognizer::recognize and the steps it is made of.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recognition/RecognitionTestSupport.h"
#include "recognition/classic/BlockWeighting.h"
#include "recognition/classic/NoteFrequencyTable.h"
#include "recognition/classic/NotePicker.h"
#include "recognition/classic/Recognizer.h"
#include "signal/Window.h"

namespace selvik {
namespace {

using test::MessageLog;
using test::rowNotes;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const float kLowerF1 = static_cast<float>(lowestResolvableFrequency(44100, 2048, 1));  // F#4
const float kLowerF2 = static_cast<float>(lowestResolvableFrequency(44100, 2048, 2));  // F#3

// The parameters Analyze uses with the desktop program's start values.
void useDefaults(Recognizer& recognizer) {
    recognizer.setBlockSize(2048);
    recognizer.setPolyphony(1);
    recognizer.setThreshold(0.8f);
    recognizer.setWindowType(2);
    recognizer.setSubsampling(4);
    recognizer.allocateGrid();
}

void runDefaultPasses(Recognizer& recognizer) {
    recognizer.recognize(kLowerF1, 12000.0f, 1);
    recognizer.recognize(kLowerF2, kLowerF1, 2);
}

std::vector<std::uint8_t> gridBytes(const Recognizer& recognizer) {
    const auto* grid = recognizer.scoreGrid();
    return {grid, grid + recognizer.gridRows() * kSlotsPerRow};
}

std::vector<std::int32_t> counters(const Recognizer& recognizer) {
    const auto* counts = recognizer.rowNoteCounts();
    return {counts, counts + recognizer.gridRows()};
}

bool gridIsEmpty(const Recognizer& recognizer) {
    for (std::int64_t r = 0; r < recognizer.gridRows(); ++r) {
        if (recognizer.rowNoteCounts()[r] != 0 || !rowNotes(recognizer, r).empty()) return false;
    }
    return true;
}

TEST(RecognizeArguments, RefusesFactorsAndBandLimitsSilently) {
    struct Case {
        const char* what;
        float low;
        float high;
        std::int32_t factor;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case rows[] = {
        {"factor 3", kLowerF1, 12000.0f, 3},       {"factor 16", kLowerF1, 12000.0f, 16},
        {"factor 0", kLowerF1, 12000.0f, 0},       {"low -1", -1.0f, 12000.0f, 1},
        {"high -1", 100.0f, -1.0f, 1},             {"high above 44100", 100.0f, 44100.5f, 1},
        {"low NaN", nan, 12000.0f, 1},             {"high NaN", 100.0f, nan, 1},
    };
    for (const auto& row : rows) {
        Recognizer recognizer;
        test::fillSignal(recognizer, 16384, [](std::int64_t i) { return test::sine(440.0, i); });
        useDefaults(recognizer);
        test::RecordingProgress progress;
        recognizer.setProgress(&progress);
        MessageLog log;
        recognizer.recognize(row.low, row.high, row.factor);
        EXPECT_TRUE(gridIsEmpty(recognizer)) << row.what;
        EXPECT_THAT(log.texts, IsEmpty()) << row.what;
        EXPECT_THAT(progress.calls, IsEmpty()) << row.what;
    }
}

TEST(RecognizeArguments, ReportsAnEmptySignal) {
    Recognizer recognizer;
    recognizer.setBlockSize(2048);
    MessageLog log;
    recognizer.recognize(kLowerF1, 12000.0f, 1);
    EXPECT_THAT(log.texts, ElementsAre("Empty signal"));
}

TEST(RecognizeArguments, ReportsASignalShorterThanOneDecimatedBlock) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 4096, [](std::int64_t i) { return test::sine(440.0, i); });
    useDefaults(recognizer);
    MessageLog log;
    recognizer.recognize(92.5f, 185.0f, 4);  // 4 * 2048 > 4096
    EXPECT_THAT(log.texts, ElementsAre("Signal is too short"));
    recognizer.recognize(185.0f, 370.0f, 2);  // 2 * 2048 fits
    EXPECT_THAT(log.texts, ElementsAre("Signal is too short"));
}

TEST(RecognizeArguments, ReportsNoWholeBlockWhenTheBlockCountPrecedesTheSignal) {
    Recognizer recognizer;
    recognizer.setBlockSize(2048);  // no signal yet: blockCount 1
    recognizer.setSubsampling(4);
    recognizer.allocateGrid();
    test::fillSignal(recognizer, 16384, [](std::int64_t i) { return test::sine(440.0, i); });
    MessageLog log;
    recognizer.recognize(kLowerF2, kLowerF1, 2);  // 1 / 2 = 0 blocks
    EXPECT_THAT(log.texts, ElementsAre("Signal too short"));
    EXPECT_TRUE(gridIsEmpty(recognizer));
}

TEST(RecognizeBand, SwappedLimitsWorkAsOrderedOnes) {
    auto run = [](float low, float high) {
        Recognizer recognizer;
        test::fillSignal(recognizer, 40000, [](std::int64_t i) {
            return 0.5f * test::sine(523.25, i) + 0.4f * test::sine(880.0, i) + 0.3f * test::sine(1318.5, i);
        });
        useDefaults(recognizer);
        recognizer.setPolyphony(3);
        recognizer.setThreshold(0.05f);
        recognizer.recognize(low, high, 1);
        return gridBytes(recognizer);
    };
    const std::vector<std::uint8_t> ordered = run(369.99f, 12000.0f);
    EXPECT_EQ(run(12000.0f, 369.99f), ordered);
    EXPECT_EQ(ordered[0], 72);  // C5, the strongest partial, comes first
}

TEST(RecognizeBins, Bin20IsA4AtFactor1AndA3AtFactor2) {
    EXPECT_EQ(detail::binFrequency(20, 2048, 1), 441.4306640625);
    EXPECT_EQ(nearestNote(detail::binFrequency(20, 2048, 1)), 69);
    EXPECT_EQ(detail::binFrequency(0, 2048, 1), 21.533203125 / 2);
    EXPECT_EQ(detail::binFrequency(20, 2048, 2), 220.71533203125);
    EXPECT_EQ(nearestNote(detail::binFrequency(20, 2048, 2)), 57);
}

TEST(RecognizeWindowPositions, MoveTheWindowCircularlyByAQuarterBlock) {
    EXPECT_EQ(detail::windowOffset(0, 2048, 4), 0);
    EXPECT_EQ(detail::windowOffset(1, 2048, 4), 512);
    EXPECT_EQ(detail::windowOffset(2, 2048, 4), 1024);
    EXPECT_EQ(detail::windowOffset(3, 2048, 4), 1536);

    std::vector<float> window(2048);
    for (int i = 0; i < 2048; ++i) window[static_cast<std::size_t>(i)] = static_cast<float>(i + 1);
    std::vector<float> reversed(2048);
    detail::reverseWindow(window.data(), 2048, reversed.data());
    std::vector<float> samples(2 * 2048);
    for (int i = 0; i < 2 * 2048; ++i) samples[static_cast<std::size_t>(i)] = 1.0f + static_cast<float>(i) / 4096.0f;
    std::vector<float> out(2048);

    detail::weightBlock(reversed.data(), samples.data(), 2048, 0, out.data());
    EXPECT_EQ(out[0], window[0] * samples[0]) << "sample 0 takes window entry 0";
    EXPECT_EQ(out[1], window[2047] * samples[1]) << "sample 1 takes window entry 2047";
    EXPECT_EQ(out[2047], window[1] * samples[2047]);

    detail::weightBlock(reversed.data(), samples.data(), 2048, 512, out.data());
    EXPECT_EQ(out[0], window[512] * samples[0]) << "at offset 512 sample 0 takes entry 512";
    EXPECT_EQ(out[511], window[1] * samples[511]);
    EXPECT_EQ(out[512], window[0] * samples[512]);
    EXPECT_EQ(out[513], window[2047] * samples[513]);

    std::vector<float> decimated(2048);
    detail::decimateBlock(samples.data(), 2048, 2, decimated.data());
    EXPECT_EQ(decimated[1], samples[2]) << "factor 2 keeps every second sample";
    EXPECT_EQ(decimated[2047], samples[4094]);
}

TEST(RecognizeWindowPositions, RoundTheProductOnceToSinglePrecision) {
    // 1 + 2^-12 squared needs 25 bits: the float product and the rounded double
    // product must agree, also when the result is subnormal.
    const float window[4] = {1.0f + 0x1p-12f, 0x1p-70f, 3.0f, 0.75f};
    const float samples[4] = {1.0f + 0x1p-12f, 0x1.8p-80f, 1.0f / 3.0f, -0.1f};
    float reversed[4];
    detail::reverseWindow(window, 4, reversed);
    float out[4];
    detail::weightBlock(reversed, samples, 4, 0, out);
    const int entry[4] = {0, 3, 2, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(out[i], static_cast<float>(static_cast<double>(window[entry[i]]) * samples[i])) << i;
    }
    detail::weightBlock(reversed, samples, 4, 1, out);
    EXPECT_EQ(out[1], static_cast<float>(static_cast<double>(window[0]) * samples[1]));
    EXPECT_EQ(out[0], static_cast<float>(static_cast<double>(window[1]) * samples[0]));
}

TEST(RecognizePicking, TakesNotesStrongestFirstUntilOneFallsBelowTheThreshold) {
    double energy[128] = {};
    energy[60] = 5.0;
    energy[64] = 9.0;
    energy[67] = 4.0;
    std::uint8_t notes[16] = {};
    ASSERT_EQ(detail::pickNotes(energy, 3, 0.45f, 10.0, notes), 2);
    EXPECT_EQ(notes[0], 64);
    EXPECT_EQ(notes[1], 60);
    EXPECT_EQ(energy[64], 0.0);
    EXPECT_EQ(energy[60], 0.0);
    EXPECT_EQ(energy[67], 4.0) << "a rejected note keeps its energy";
}

TEST(RecognizePicking, FirstRejectionEndsThePickingEvenWithWeakerNotesLeft) {
    double energy[128] = {};
    energy[50] = 3.0;
    energy[51] = 9.0;
    std::uint8_t notes[16] = {};
    EXPECT_EQ(detail::pickNotes(energy, 16, 0.5f, 10.0, notes), 1);
    EXPECT_EQ(notes[0], 51);
}

TEST(RecognizePicking, EqualEnergiesGoToTheLowerNoteFirst) {
    double energy[128] = {};
    energy[62] = 7.0;
    energy[60] = 7.0;
    std::uint8_t notes[16] = {};
    ASSERT_EQ(detail::pickNotes(energy, 2, 0.0f, 7.0, notes), 2);
    EXPECT_EQ(notes[0], 60);
    EXPECT_EQ(notes[1], 62);
}

TEST(RecognizePicking, ChoosesOnlyEnergiesAboveZeroEvenAtThresholdZero) {
    double energy[128] = {};
    energy[70] = 1e-300;
    std::uint8_t notes[16] = {};
    ASSERT_EQ(detail::pickNotes(energy, 16, 0.0f, 1.0, notes), 1);
    EXPECT_EQ(notes[0], 70);
}

TEST(RecognizePicking, AcceptsAnEnergyEqualToThresholdTimesPeak) {
    double energy[128] = {};
    energy[40] = static_cast<double>(0.3f) * 2.0;
    std::uint8_t notes[16] = {};
    EXPECT_EQ(detail::pickNotes(energy, 1, 0.3f, 2.0, notes), 1);
}

TEST(RecognizeRows, ANoteGoesIntoEveryRowOfItsBlockButNotIntoAFullRow) {
    std::vector<std::uint8_t> grid(4 * 16, kEmptySlot);
    std::vector<std::int32_t> counts = {0, 0, 16, 3};
    for (int i = 0; i < 16; ++i) grid[2 * 16 + static_cast<std::size_t>(i)] = 40;
    for (int i = 0; i < 3; ++i) grid[3 * 16 + static_cast<std::size_t>(i)] = 41;
    const std::uint8_t notes[] = {64, 60};
    detail::writeNotes(grid.data(), counts.data(), 2, 2, notes, 2);  // block 1 at factor 2
    EXPECT_THAT(counts, ElementsAre(0, 0, 16, 5));
    EXPECT_EQ(grid[3 * 16 + 3], 64);
    EXPECT_EQ(grid[3 * 16 + 4], 60);
    EXPECT_EQ(grid[3 * 16 + 5], kEmptySlot);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(grid[2 * 16 + static_cast<std::size_t>(i)], 40);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(grid[static_cast<std::size_t>(i)], kEmptySlot);
}

TEST(RecognizeRows, AFactor2PassFillsBothRowsOfABlockUnlessOneIsFull) {
    // A tone in row 0 only; sixteen passes at factor 1 fill row 0, leave row 1 empty.
    Recognizer recognizer;
    test::fillSignal(recognizer, 4 * 2048, [](std::int64_t i) {
        return i < 2048 ? test::sine(440.0, i) : 0.0f;
    });
    useDefaults(recognizer);
    for (int pass = 0; pass < 16; ++pass) recognizer.recognize(300.0f, 600.0f, 1);
    ASSERT_EQ(recognizer.rowNoteCounts()[0], 16);
    ASSERT_EQ(recognizer.rowNoteCounts()[1], 0);
    const std::vector<int> fullRow = rowNotes(recognizer, 0);

    recognizer.recognize(300.0f, 600.0f, 2);
    EXPECT_EQ(rowNotes(recognizer, 0), fullRow);
    EXPECT_EQ(recognizer.rowNoteCounts()[0], 16);
    EXPECT_EQ(recognizer.rowNoteCounts()[1], 1);
    EXPECT_THAT(rowNotes(recognizer, 1), ElementsAre(69));
}

TEST(RecognizeSines, A440IsFoundByTheFirstPassInEveryRow) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 40 * 2048, [](std::int64_t i) { return test::sine(440.0, i); });
    useDefaults(recognizer);
    recognizer.recognize(kLowerF1, 12000.0f, 1);
    for (std::int64_t r = 0; r < 40; ++r) EXPECT_THAT(rowNotes(recognizer, r), ElementsAre(69)) << r;
    recognizer.recognize(kLowerF2, kLowerF1, 2);
    for (std::int64_t r = 0; r < 40; ++r) EXPECT_THAT(rowNotes(recognizer, r), ElementsAre(69)) << r;
}

TEST(RecognizeSines, A220IsFoundByTheSecondPassOnly) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 40 * 2048, [](std::int64_t i) { return test::sine(220.0, i); });
    useDefaults(recognizer);
    recognizer.recognize(kLowerF1, 12000.0f, 1);
    EXPECT_TRUE(gridIsEmpty(recognizer));
    recognizer.recognize(kLowerF2, kLowerF1, 2);
    for (std::int64_t r = 0; r < 40; ++r) EXPECT_THAT(rowNotes(recognizer, r), ElementsAre(57)) << r;
}

TEST(RecognizeSines, RowsPastTheLastWholeBlockOfTheRecordingStayEmpty) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 5000, [](std::int64_t i) { return test::sine(440.0, i); });
    useDefaults(recognizer);  // padded length 8192: 4 blocks, of which 5000 / 2048 = 2 are converted
    recognizer.recognize(kLowerF1, 12000.0f, 1);
    EXPECT_THAT(rowNotes(recognizer, 0), ElementsAre(69));
    EXPECT_THAT(rowNotes(recognizer, 1), ElementsAre(69));
    EXPECT_THAT(rowNotes(recognizer, 2), IsEmpty());
    EXPECT_THAT(rowNotes(recognizer, 3), IsEmpty());
}

TEST(RecognizeSilence, AnAllSilentRecordingGivesAnEmptyGrid) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 20 * 2048, [](std::int64_t) { return 0.0f; });
    useDefaults(recognizer);
    recognizer.setThreshold(0.0f);
    runDefaultPasses(recognizer);
    EXPECT_TRUE(gridIsEmpty(recognizer));
}

TEST(RecognizeSilence, ASilentStretchBetweenTonesHasNoNotes) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 30 * 2048, [](std::int64_t i) {
        if (i < 10 * 2048) return test::sine(440.0, i);
        if (i < 20 * 2048) return 0.0f;
        return test::sine(659.26, i);
    });
    useDefaults(recognizer);
    runDefaultPasses(recognizer);
    for (std::int64_t r = 0; r < 10; ++r) EXPECT_THAT(rowNotes(recognizer, r), ElementsAre(69)) << r;
    for (std::int64_t r = 10; r < 20; ++r) EXPECT_THAT(rowNotes(recognizer, r), IsEmpty()) << r;
    for (std::int64_t r = 20; r < 30; ++r) EXPECT_THAT(rowNotes(recognizer, r), ElementsAre(76)) << r;
}

TEST(RecognizeSilence, AWindowOfZerosFindsNoNotes) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 20 * 2048, [](std::int64_t i) { return test::sine(440.0, i); });
    useDefaults(recognizer);
    recognizer.setWindowType(5);
    recognizer.setThreshold(0.0f);
    runDefaultPasses(recognizer);
    EXPECT_TRUE(gridIsEmpty(recognizer));
}

TEST(RecognizeSilence, ABlockWithOneTinySampleIsStillAnalysed) {
    struct Case {
        const char* what;
        float sample;
        float threshold;
    };
    const Case rows[] = {
        {"1e-30 gives a flat spectrum that passes 0.8", 1e-30f, 0.8f},
        {"the smallest float still counts as sound at threshold 0",
         std::numeric_limits<float>::denorm_min(), 0.0f},
    };
    for (const auto& row : rows) {
        Recognizer recognizer;
        test::fillSignal(recognizer, 4 * 2048,
                         [&](std::int64_t i) { return i == 2048 + 1024 ? row.sample : 0.0f; });
        useDefaults(recognizer);
        recognizer.setThreshold(row.threshold);
        recognizer.recognize(kLowerF1, 12000.0f, 1);
        EXPECT_THAT(rowNotes(recognizer, 0), IsEmpty()) << row.what;
        EXPECT_EQ(rowNotes(recognizer, 1).size(), 1u) << row.what;
        EXPECT_THAT(rowNotes(recognizer, 2), IsEmpty()) << row.what;
    }
}

TEST(RecognizeProgress, RunsOverTheBlocksInOrderAndEndsAtZero) {
    for (int threads : {1, 2, 3}) {
        Recognizer recognizer;
        recognizer.setThreadCount(threads);
        test::fillSignal(recognizer, 5 * 2048, [](std::int64_t i) { return test::sine(440.0, i); });
        useDefaults(recognizer);  // padded length 16384: 8 blocks, 5 converted
        test::RecordingProgress progress;
        recognizer.setProgress(&progress);
        recognizer.recognize(kLowerF1, 12000.0f, 1);
        EXPECT_THAT(progress.calls,
                    ElementsAre("range 0 7", "position 0", "position 0", "position 1", "position 2",
                                "position 3", "position 4", "position 5", "position 6", "position 7",
                                "position 0"))
            << threads << " threads";
    }
}

// The steps of the pass, transcribed literally with one transform per window
// position, for comparison with the recognizer's batched and threaded form.
void referencePass(const Signal& x, std::int32_t n, std::int32_t s, std::int32_t p,
                   std::int32_t windowType, float threshold, float low, float high, std::int32_t f,
                   std::vector<std::uint8_t>& grid, std::vector<std::int32_t>& counts) {
    if (low > high) std::swap(low, high);
    Signal window;
    makeWindow(window, windowType, n);
    Signal work;
    work.create(n);
    work.allocateSpectrum();
    const std::int32_t blocks = x.paddedLength() / n / f;
    const std::int32_t hop = n / s;
    std::vector<double> binPower(static_cast<std::size_t>(n / 2));
    for (std::int32_t b = 0; b < blocks; ++b) {
        std::fill(binPower.begin(), binPower.end(), 0.0);
        bool sound = false;
        for (std::int32_t j = 0; j < s; ++j) {
            const std::int32_t o = j * hop;
            for (std::int32_t i = 0; i < n; ++i) {
                work.samples()[i] = static_cast<float>(
                    static_cast<double>(window.sampleAt(o - i)) *
                    static_cast<double>(x.samples()[(static_cast<std::int64_t>(b) * n + i) * f]));
            }
            work.transform();
            for (std::int32_t k = 0; k < n / 2; ++k) {
                const Complex c = work.spectrum()[k];
                if (c.re != 0.0f || c.im != 0.0f) sound = true;
                double power = static_cast<double>(c.re) * c.re + static_cast<double>(c.im) * c.im;
                if (power < 1e-90) power = 1e-90;
                binPower[static_cast<std::size_t>(k)] += power;
            }
        }
        if (!sound) continue;
        double peak = 0.0;
        for (auto& power : binPower) {
            power = power / s / (static_cast<double>(n) * n);
            if (power > peak) peak = power;
        }
        double energy[128] = {};
        int bins[128] = {};
        const double df = 44100.0 / (n * f);
        for (std::int32_t k = 0; k < n / 2; ++k) {
            const double fk = (k + 0.5) * df;
            if (low <= fk && fk <= high) {
                const int note = nearestNote(fk);
                if (note != -1) {
                    energy[note] += binPower[static_cast<std::size_t>(k)];
                    bins[note] += 1;
                }
            }
        }
        for (int note = 0; note < 128; ++note) {
            if (bins[note] > 0) energy[note] = energy[note] / bins[note];
        }
        for (std::int32_t repetition = 0; repetition < p; ++repetition) {
            double best = 0.0;
            int chosen = -1;
            for (int note = 0; note < 128; ++note) {
                if (energy[note] > best) {
                    best = energy[note];
                    chosen = note;
                }
            }
            if (chosen < 0 || !(energy[chosen] >= static_cast<double>(threshold) * peak)) continue;
            for (std::int64_t r = static_cast<std::int64_t>(b) * f; r < static_cast<std::int64_t>(b) * f + f; ++r) {
                auto& filled = counts[static_cast<std::size_t>(r)];
                if (filled < 16) grid[static_cast<std::size_t>(r * 16 + filled++)] = static_cast<std::uint8_t>(chosen);
            }
            energy[chosen] = 0.0;
        }
    }
}

// A noisy mixture of tones that change every 5000 samples, with a silent stretch.
float mixture(std::int64_t i, test::Lcg& noise) {
    static const double kTones[] = {110.0, 196.0, 261.63, 329.63, 440.0, 587.33, 880.0, 1760.0, 3520.0};
    const std::int64_t segment = i / 5000;
    if (segment == 7) return 0.0f;
    double value = 0.02 * noise.next();
    for (int t = 0; t < 3; ++t) {
        const double hz = kTones[(segment * 2 + t * 3) % 9];
        value += (0.5 / (t + 1)) * std::sin(test::kTwoPi * hz * static_cast<double>(i) / 44100.0);
    }
    return static_cast<float>(value);
}

struct PassSetting {
    std::int32_t blockSize;
    std::int32_t subsampling;
    std::int32_t polyphony;
    std::int32_t windowType;
    float threshold;
    float low;
    float high;
    std::int32_t factor;
};

TEST(RecognizeReference, MatchesTheLiteralStepsInEveryConvertedRow) {
    const PassSetting rows[] = {
        {1024, 4, 3, 1, 0.3f, 740.0f, 12000.0f, 1},
        {2048, 16, 16, 0, 0.0f, 92.5f, 185.0f, 4},
        {2048, 2, 5, 2, 0.1f, 369.99f, 12000.0f, 2},
        {1024, 1, 2, 2, 0.5f, 12000.0f, 90.0f, 8},
    };
    const std::int32_t count = 70000;
    for (const auto& row : rows) {
        Recognizer recognizer;
        test::Lcg noise(7);
        test::fillSignal(recognizer, count, [&](std::int64_t i) { return mixture(i, noise); });
        recognizer.setBlockSize(row.blockSize);
        recognizer.setPolyphony(row.polyphony);
        recognizer.setThreshold(row.threshold);
        recognizer.setWindowType(row.windowType);
        recognizer.setSubsampling(row.subsampling);
        recognizer.allocateGrid();
        recognizer.recognize(row.low, row.high, row.factor);

        std::vector<std::uint8_t> grid(static_cast<std::size_t>(recognizer.gridRows()) * 16, kEmptySlot);
        std::vector<std::int32_t> counts(static_cast<std::size_t>(recognizer.gridRows()), 0);
        referencePass(recognizer.signal(), row.blockSize, row.subsampling, row.polyphony, row.windowType,
                      row.threshold, row.low, row.high, row.factor, grid, counts);
        const std::int64_t converted = count / row.blockSize;
        std::int64_t notes = 0;
        for (std::int64_t r = 0; r < converted; ++r) {
            notes += counts[static_cast<std::size_t>(r)];
            ASSERT_EQ(recognizer.rowNoteCounts()[r], counts[static_cast<std::size_t>(r)])
                << "row " << r << " at N = " << row.blockSize << ", f = " << row.factor;
            ASSERT_EQ(std::memcmp(recognizer.scoreGrid() + r * 16, grid.data() + r * 16, 16), 0)
                << "row " << r << " at N = " << row.blockSize << ", f = " << row.factor;
        }
        EXPECT_GT(notes, converted / 2) << "the comparison must cover rows with notes";
    }
}

TEST(RecognizeThreads, GiveTheSameGridAsOneThreadForEveryWindowType) {
    const std::int32_t count = 200000;
    for (std::int32_t windowType : {0, 1, 2, 3}) {
        std::vector<std::uint8_t> grids[2];
        std::vector<std::int32_t> counts[2];
        const int threadCounts[2] = {1, 3};
        for (int run = 0; run < 2; ++run) {
            Recognizer recognizer;
            recognizer.setThreadCount(threadCounts[run]);
            test::Lcg noise(11);
            test::fillSignal(recognizer, count, [&](std::int64_t i) { return mixture(i, noise); });
            recognizer.setBlockSize(1024);
            recognizer.setPolyphony(16);
            recognizer.setThreshold(0.05f);
            recognizer.setWindowType(windowType);
            recognizer.setSubsampling(16);
            recognizer.allocateGrid();
            float upper = 12000.0f;
            for (std::int32_t factor = 1; factor <= 8; factor *= 2) {
                const auto lower = static_cast<float>(lowestResolvableFrequency(44100, 1024, factor));
                recognizer.recognize(lower, upper, factor);
                upper = lower;
            }
            grids[run] = gridBytes(recognizer);
            counts[run] = counters(recognizer);
        }
        EXPECT_EQ(grids[1], grids[0]) << "window type " << windowType;
        EXPECT_EQ(counts[1], counts[0]) << "window type " << windowType;
        if (windowType <= 2) {
            std::int64_t filled = 0;
            for (auto c : counts[0]) filled += c;
            EXPECT_GT(filled, 195) << "window type " << windowType;
        }
    }
}

}  // namespace
}  // namespace selvik
