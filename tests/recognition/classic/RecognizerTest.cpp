#include "recognition/classic/Recognizer.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recognition/RecognitionTestSupport.h"

namespace selvik {
namespace {

using test::MessageLog;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kShortSignal = "For better results use signals with more than 4096 samples.";

TEST(Recognizer, StartsWithoutGridOrSignalAndWithBlackmanAt08) {
    Recognizer recognizer;
    EXPECT_EQ(recognizer.scoreGrid(), nullptr);
    EXPECT_EQ(recognizer.rowNoteCounts(), nullptr);
    EXPECT_EQ(recognizer.signal().paddedLength(), 0);
    EXPECT_EQ(recognizer.blockSize(), 0);
    EXPECT_EQ(recognizer.polyphony(), 0);
    EXPECT_EQ(recognizer.blockCount(), 0);
    EXPECT_EQ(recognizer.windowType(), 2);
    EXPECT_EQ(recognizer.threshold(), 0.8f);
    EXPECT_EQ(recognizer.progress(), nullptr);
}

TEST(RecognizerSetters, ReplaceInvalidValuesByTheNamedDefault) {
    struct Case {
        const char* what;
        void (*apply)(Recognizer&);
        std::int32_t (*read)(const Recognizer&);
        std::int32_t stored;
        const char* message;  // nullptr: accepted silently
    };
    const Case rows[] = {
        {"block size 3000 falls back to 2048", [](Recognizer& r) { r.setBlockSize(3000); },
         [](const Recognizer& r) { return r.blockSize(); }, 2048, "Bad block size. Defaults to 2048"},
        {"block size 8192 is accepted", [](Recognizer& r) { r.setBlockSize(8192); },
         [](const Recognizer& r) { return r.blockSize(); }, 8192, nullptr},
        {"polyphony 0 falls back to 1", [](Recognizer& r) { r.setPolyphony(0); },
         [](const Recognizer& r) { return r.polyphony(); }, 1, "Bad polyphony value. Defaults to 1"},
        {"polyphony 17 falls back to 1", [](Recognizer& r) { r.setPolyphony(17); },
         [](const Recognizer& r) { return r.polyphony(); }, 1, "Bad polyphony value. Defaults to 1"},
        {"polyphony 16 is accepted", [](Recognizer& r) { r.setPolyphony(16); },
         [](const Recognizer& r) { return r.polyphony(); }, 16, nullptr},
        {"subsampling 3 falls back to 4", [](Recognizer& r) { r.setSubsampling(3); },
         [](const Recognizer& r) { return r.subsampling(); }, 4, "Bad subsampling value. Defaults to 4."},
        {"subsampling 16 is accepted", [](Recognizer& r) { r.setSubsampling(16); },
         [](const Recognizer& r) { return r.subsampling(); }, 16, nullptr},
        {"window type 7 is stored unchecked", [](Recognizer& r) { r.setWindowType(7); },
         [](const Recognizer& r) { return r.windowType(); }, 7, nullptr},
    };
    for (const auto& row : rows) {
        MessageLog log;
        Recognizer recognizer;
        recognizer.setSubsampling(1);
        row.apply(recognizer);
        EXPECT_EQ(row.read(recognizer), row.stored) << row.what;
        if (row.message != nullptr) {
            EXPECT_THAT(log.texts, ElementsAre(row.message)) << row.what;
        } else {
            EXPECT_THAT(log.texts, IsEmpty()) << row.what;
        }
    }
}

TEST(RecognizerSetters, ThresholdTakesTheMagnitudeUpToOne) {
    struct Case {
        float given;
        float stored;
        bool warned;
    };
    const Case rows[] = {{1.5f, 0.8f, true},    {-0.5f, 0.5f, false}, {1.0f, 1.0f, false},
                         {-1.0f, 1.0f, false},  {0.0f, 0.0f, false},  {-1.25f, 0.8f, true}};
    for (const auto& row : rows) {
        MessageLog log;
        Recognizer recognizer;
        recognizer.setThreshold(row.given);
        EXPECT_EQ(recognizer.threshold(), row.stored) << row.given;
        EXPECT_EQ(log.texts.size(), row.warned ? 1u : 0u) << row.given;
        if (row.warned) {
            EXPECT_EQ(log.texts[0], "Threshold must be between 0.0 and 1.0. Defaults to 0.8");
        }
    }
}

TEST(RecognizerBlockCount, IsThePaddedLengthOverTheBlockSizeAtLeastOne) {
    struct Case {
        std::int32_t count;
        std::int32_t blockSize;
        std::int32_t blocks;
    };
    const Case rows[] = {
        {524288, 2048, 256},  // padded 524288
        {300000, 2048, 256},  // padded 524288 as well: the padding counts
        {1000, 2048, 1},      // padded 1024: 0 raised to 1
        {4096, 8192, 1},      // padded 4096: 0 raised to 1
        {4097, 1024, 8},      // padded 8192
    };
    for (const auto& row : rows) {
        Recognizer recognizer;
        recognizer.signal().create(row.count);
        recognizer.setBlockSize(row.blockSize);
        EXPECT_EQ(recognizer.blockCount(), row.blocks) << row.count << " samples at " << row.blockSize;
    }
}

TEST(RecognizerGrid, Has16EmptySlotsAndAZeroCounterPerRow) {
    Recognizer recognizer;
    recognizer.signal().create(524288);
    recognizer.setBlockSize(2048);
    recognizer.setSubsampling(4);
    ASSERT_EQ(recognizer.blockCount(), 256);
    recognizer.allocateGrid();
    ASSERT_NE(recognizer.scoreGrid(), nullptr);
    ASSERT_NE(recognizer.rowNoteCounts(), nullptr);
    EXPECT_EQ(recognizer.gridRows(), 1024);
    for (std::int64_t i = 0; i < 1024 * 16; ++i) ASSERT_EQ(recognizer.scoreGrid()[i], 0xFF) << i;
    for (std::int64_t r = 0; r < 1024; ++r) ASSERT_EQ(recognizer.rowNoteCounts()[r], 0) << r;
}

TEST(RecognizerGrid, IsNotMadeWithoutBlocks) {
    Recognizer recognizer;
    recognizer.allocateGrid();
    EXPECT_EQ(recognizer.scoreGrid(), nullptr);
    EXPECT_EQ(recognizer.rowNoteCounts(), nullptr);
    EXPECT_EQ(recognizer.gridRows(), 0);
}

TEST(RecognizerClear, ReleasesEverythingButThresholdAndSubsampling) {
    Recognizer recognizer;
    test::RecordingProgress progress;
    recognizer.signal().create(8192);
    recognizer.setBlockSize(1024);
    recognizer.setPolyphony(5);
    recognizer.setWindowType(0);
    recognizer.setThreshold(0.3f);
    recognizer.setSubsampling(8);
    recognizer.setProgress(&progress);
    recognizer.allocateGrid();
    recognizer.clear();
    EXPECT_EQ(recognizer.scoreGrid(), nullptr);
    EXPECT_EQ(recognizer.rowNoteCounts(), nullptr);
    EXPECT_EQ(recognizer.signal().paddedLength(), 0);
    EXPECT_EQ(recognizer.blockSize(), 0);
    EXPECT_EQ(recognizer.polyphony(), 0);
    EXPECT_EQ(recognizer.blockCount(), 0);
    EXPECT_EQ(recognizer.progress(), nullptr);
    EXPECT_EQ(recognizer.windowType(), 2);
    EXPECT_EQ(recognizer.threshold(), 0.3f);
    EXPECT_EQ(recognizer.subsampling(), 8);
}

TEST(RecognizerLoadWav, ReportsANonWavFileThenTheShortSignalWarning) {
    test::TemporaryFile file("notes.txt");
    {
        std::FILE* out = std::fopen(file.path().c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fputs("This is not a recording, only some text long enough to be read.\n", out);
        std::fclose(out);
    }
    MessageLog log;
    Recognizer recognizer;
    recognizer.loadWav(file.path().c_str());
    EXPECT_THAT(log.texts, ElementsAre("Bad file format", kShortSignal));
    EXPECT_EQ(recognizer.signal().paddedLength(), 0);
    EXPECT_EQ(recognizer.blockCount(), 1);
    EXPECT_EQ(recognizer.blockSize(), 2048);
    EXPECT_EQ(recognizer.polyphony(), 1);
    EXPECT_EQ(recognizer.threshold(), 0.75f);
    EXPECT_FALSE(recognizer.loadDetail().empty());
}

TEST(RecognizerLoadWav, ReportsAMissingFileAsAFileError) {
    test::TemporaryFile file("absent.wav");
    MessageLog log;
    Recognizer recognizer;
    recognizer.loadWav(file.path().c_str());
    EXPECT_THAT(log.texts, ElementsAre("File error", kShortSignal));
    EXPECT_EQ(recognizer.signal().paddedLength(), 0);
}

TEST(RecognizerLoadWav, WarnsAboutRecordingsPaddedToLessThan4096Samples) {
    struct Case {
        int samples;
        bool warned;
    };
    const Case rows[] = {{2048, true}, {2049, false}, {3000, false}};
    for (const auto& row : rows) {
        test::TemporaryFile file("tone.wav");
        std::vector<std::int16_t> samples(static_cast<std::size_t>(row.samples));
        for (int i = 0; i < row.samples; ++i) {
            samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(8000.0f * test::sine(440.0, i));
        }
        ASSERT_TRUE(test::writeWav16(file.path(), samples));
        MessageLog log;
        Recognizer recognizer;
        recognizer.loadWav(file.path().c_str());
        EXPECT_EQ(recognizer.signal().count(), row.samples);
        if (row.warned) {
            EXPECT_THAT(log.texts, ElementsAre(kShortSignal)) << row.samples;
        } else {
            EXPECT_THAT(log.texts, IsEmpty()) << row.samples;
        }
    }
}

TEST(RecognizerLoadWav, NormalisesToPeakOneAndSetsTheLoadDefaults) {
    test::TemporaryFile file("tone.wav");
    std::vector<std::int16_t> samples(5000, 0);
    samples[10] = 1000;
    samples[20] = -4000;
    ASSERT_TRUE(test::writeWav16(file.path(), samples));
    MessageLog log;
    Recognizer recognizer;
    recognizer.setThreshold(0.2f);
    recognizer.loadWav(file.path().c_str());
    EXPECT_THAT(log.texts, IsEmpty());
    EXPECT_EQ(recognizer.signal().paddedLength(), 8192);
    EXPECT_FLOAT_EQ(recognizer.signal().samples()[20], -1.0f);
    EXPECT_FLOAT_EQ(recognizer.signal().samples()[10], 0.25f);
    EXPECT_EQ(recognizer.blockSize(), 2048);
    EXPECT_EQ(recognizer.blockCount(), 4);
    EXPECT_EQ(recognizer.polyphony(), 1);
    EXPECT_EQ(recognizer.windowType(), 2);
    EXPECT_EQ(recognizer.threshold(), 0.75f);
    EXPECT_TRUE(recognizer.loadDetail().empty());
}

}  // namespace
}  // namespace selvik
