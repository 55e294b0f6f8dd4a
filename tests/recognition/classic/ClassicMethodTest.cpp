#include "recognition/AnalysisDriver.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RecognitionTestSupport.h"
#include "midi/ScoreConversion.h"
#include "midi/Song.h"

namespace selvik {
namespace {

using test::MessageLog;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ResolveAnalysisParameters, TheStartValuesGiveTheDefaultAnalysis) {
    const std::optional<AnalysisParameters> p = resolveAnalysisParameters(AnalysisSettings{});
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->blockSize, 2048);
    EXPECT_EQ(p->polyphony, 1);
    EXPECT_EQ(p->threshold, 0.8f);
    EXPECT_EQ(p->windowType, 2);
    EXPECT_EQ(p->subsampling, 4);
    EXPECT_EQ(p->passes, 2);
}

TEST(ResolveAnalysisParameters, MapsTheSliderToOneMinusItsShareOfTheRange) {
    struct Case {
        std::int32_t position;
        std::int32_t rangeMax;
        float threshold;
    };
    const Case rows[] = {{0, 100, 1.0f}, {100, 100, 0.0f}, {20, 100, 0.8f}, {1, 3, 0.6666667f}};
    for (const auto& row : rows) {
        AnalysisSettings settings;
        settings.thresholdPosition = row.position;
        settings.thresholdRangeMax = row.rangeMax;
        EXPECT_EQ(resolveAnalysisParameters(settings)->threshold, row.threshold) << row.position;
    }
}

TEST(ResolveAnalysisParameters, MapsListEntriesByPowersOfTwo) {
    AnalysisSettings settings;
    settings.blockSizeIndex = 3;
    settings.subsamplingIndex = 4;
    settings.passesIndex = 3;
    settings.windowTypeIndex = 0;
    settings.polyphony = 16;
    const auto p = resolveAnalysisParameters(settings);
    EXPECT_EQ(p->blockSize, 8192);
    EXPECT_EQ(p->subsampling, 16);
    EXPECT_EQ(p->passes, 4);
    EXPECT_EQ(p->windowType, 0);
    EXPECT_EQ(p->polyphony, 16);
}

TEST(ResolveAnalysisParameters, AThresholdRangeOfZeroResolvesToNothing) {
    AnalysisSettings settings;
    settings.thresholdRangeMax = 0;
    EXPECT_FALSE(resolveAnalysisParameters(settings).has_value());
}

TEST(RunAnalysis, ReportsInvalidParametersInTheOrderOfTheSetters) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 8192, [](std::int64_t i) { return test::sine(440.0, i); });
    Song song;
    AnalysisParameters parameters;
    parameters.blockSize = 3000;
    parameters.polyphony = 0;
    parameters.threshold = 1.5f;
    parameters.subsampling = 3;
    parameters.passes = 1;
    MessageLog log;
    EXPECT_EQ(runAnalysis(recognizer, song, nullptr, parameters), AnalysisOutcome::Completed);
    EXPECT_THAT(log.texts, ElementsAre("Bad block size. Defaults to 2048", "Bad polyphony value. Defaults to 1",
                                       "Threshold must be between 0.0 and 1.0. Defaults to 0.8",
                                       "Bad subsampling value. Defaults to 4."));
    EXPECT_EQ(recognizer.blockSize(), 2048);
    EXPECT_EQ(recognizer.subsampling(), 4);
}

// The events of track 0 as "tick note velocity".
std::vector<std::string> noteEvents(const Song& song) {
    std::vector<std::string> events;
    const SongTrack& track = song.tracks[0];
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
        const MidiEvent& e = track.events[i];
        events.push_back(std::to_string(e.time) + " " + std::to_string(e.data1) + " " + std::to_string(e.data2));
    }
    return events;
}

std::string tick(std::int32_t row) { return std::to_string(rowToTicks(row, 2048, 120.0, 384)); }

TEST(RunAnalysis, FourPassesOver5000SamplesSkipTheFourthAndConvertTwoRows) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 5000, [](std::int64_t i) { return test::sine(440.0, i); });
    Song song;
    AnalysisParameters parameters;
    parameters.passes = 4;
    MessageLog log;
    EXPECT_EQ(runAnalysis(recognizer, song, nullptr, parameters), AnalysisOutcome::Completed);
    EXPECT_THAT(log.texts, ElementsAre("Signal is too short"));
    EXPECT_THAT(noteEvents(song), ElementsAre("0 69 100", tick(2) + " 69 0"));
}

TEST(RunAnalysis, Converts48RowsOfA100000SampleRecording) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 100000, [](std::int64_t i) { return test::sine(440.0, i); });
    Song song;
    MessageLog log;
    EXPECT_EQ(runAnalysis(recognizer, song, nullptr, AnalysisParameters{}), AnalysisOutcome::Completed);
    EXPECT_EQ(recognizer.blockCount(), 64);
    EXPECT_THAT(log.texts, IsEmpty());
    EXPECT_THAT(noteEvents(song), ElementsAre("0 69 100", tick(48) + " 69 0"));
    EXPECT_EQ(song.tempo, 120.0);
    EXPECT_EQ(song.division, 384);
    EXPECT_EQ(song.totalEvents, 2u);
}

TEST(RunAnalysis, ASilentRecordingGivesAnEmptySong) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 100000, [](std::int64_t) { return 0.0f; });
    Song song;
    AnalysisParameters parameters;
    parameters.threshold = 0.0f;
    parameters.passes = 4;
    EXPECT_EQ(runAnalysis(recognizer, song, nullptr, parameters), AnalysisOutcome::Completed);
    EXPECT_EQ(song.totalEvents, 0u);
    for (const auto& track : song.tracks) EXPECT_EQ(track.eventCount, 0u);
}

TEST(RunAnalysis, ReplacesTheWholeSongAndReportsProgress) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 20000, [](std::int64_t i) { return test::sine(220.0, i); });
    Song song;
    song.sequenceName = "old";
    song.notice = "old";
    song.text = "old";
    song.tracks[3].events.reset(new MidiEvent[1]{{0, 0x90, 60, 100}});
    song.tracks[3].eventCount = 1;
    test::RecordingProgress progress;
    EXPECT_EQ(runAnalysis(recognizer, song, &progress, AnalysisParameters{}), AnalysisOutcome::Completed);
    EXPECT_FALSE(song.sequenceName.has_value());
    EXPECT_FALSE(song.notice.has_value());
    EXPECT_FALSE(song.text.has_value());
    EXPECT_EQ(song.tracks[3].eventCount, 0u);
    EXPECT_THAT(noteEvents(song), ElementsAre("0 57 100", tick(9) + " 57 0"));
    EXPECT_EQ(recognizer.progress(), &progress);
    // Two passes over 16 and 8 blocks, each ending at position 0.
    ASSERT_EQ(progress.calls.size(), (2 + 16 + 1) + (2 + 8 + 1u));
    EXPECT_EQ(progress.calls[0], "range 0 15");
    EXPECT_EQ(progress.calls[19], "range 0 7");
    EXPECT_EQ(progress.calls.back(), "position 0");
}

TEST(Analyze, DoesNothingWithoutALoadedFile) {
    struct Case {
        const char* what;
        const char* path;
        std::int32_t samples;  // 0: no signal
    };
    const Case rows[] = {{"no path", "", 8192}, {"no signal", "tone.wav", 0}};
    for (const auto& row : rows) {
        Recognizer recognizer;
        if (row.samples > 0) {
            test::fillSignal(recognizer, row.samples, [](std::int64_t i) { return test::sine(440.0, i); });
        }
        Song song;
        song.sequenceName = "kept";
        bool settingsRead = false;
        MessageLog log;
        const AnalysisOutcome outcome = analyze(row.path, recognizer, song, nullptr, [&] {
            settingsRead = true;
            return AnalysisSettings{};
        });
        EXPECT_EQ(outcome, AnalysisOutcome::NotRun) << row.what;
        EXPECT_FALSE(settingsRead) << row.what;
        EXPECT_THAT(log.texts, IsEmpty()) << row.what;
        EXPECT_EQ(recognizer.scoreGrid(), nullptr) << row.what;
        EXPECT_EQ(song.sequenceName, "kept") << row.what;
    }
}

TEST(Analyze, AThresholdRangeOfZeroRunsNothing) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 8192, [](std::int64_t i) { return test::sine(440.0, i); });
    Song song;
    song.sequenceName = "kept";
    AnalysisSettings settings;
    settings.thresholdRangeMax = 0;
    EXPECT_EQ(analyze("tone.wav", recognizer, song, nullptr, [&] { return settings; }), AnalysisOutcome::NotRun);
    EXPECT_EQ(recognizer.scoreGrid(), nullptr);
    EXPECT_EQ(song.sequenceName, "kept");
}

TEST(Analyze, RunsTheSettingsReadAtTheMomentOfTheCall) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 100000, [](std::int64_t i) { return test::sine(440.0, i); });
    Song song;
    AnalysisSettings settings;
    settings.blockSizeIndex = 0;
    settings.passesIndex = 0;
    MessageLog log;
    EXPECT_EQ(analyze("tone.wav", recognizer, song, nullptr, [&] { return settings; }),
              AnalysisOutcome::Completed);
    EXPECT_THAT(log.texts, IsEmpty());
    EXPECT_EQ(recognizer.blockSize(), 1024);
    EXPECT_EQ(recognizer.gridRows(), 128 * 4);
    // A4 lies below the single pass's band at N = 1024 (F#5 and up).
    EXPECT_EQ(song.totalEvents, 0u);
}

TEST(NoteName, WritesTheNameAndTheOctave) {
    struct Case {
        std::int32_t note;
        const char* name;
    };
    const Case rows[] = {{-1, "G9"}, {0, "C-1"}, {60, "C4"}, {61, "C#4"}, {66, "F#4"},
                         {69, "A4"}, {127, "G9"}, {128, "C-1"}, {11, "B-1"}, {12, "C0"}};
    for (const auto& row : rows) EXPECT_EQ(noteName(row.note), row.name) << row.note;
}

TEST(RefreshRangeLabel, NamesTheLowestNoteOfTheLastPass) {
    struct Case {
        std::int32_t blockSizeIndex;
        std::int32_t passesIndex;
        const char* label;
    };
    const Case rows[] = {{0, 0, "F#5 to G9"}, {1, 1, "F#3 to G9"}, {3, 3, "F#-1 to G9"},
                         {1, 0, "F#4 to G9"}, {0, 3, "F#2 to G9"}, {2, 2, "F#1 to G9"}};
    for (const auto& row : rows) {
        EXPECT_EQ(refreshRangeLabel(row.blockSizeIndex, row.passesIndex), row.label)
            << row.blockSizeIndex << ", " << row.passesIndex;
    }
}

}  // namespace
}  // namespace selvik
