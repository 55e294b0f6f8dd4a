// The window's own commands, free of Qt: the settings read from its
// controls, the Analyze command and the range label.

#include <cstdint>
#include <optional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/AnalysisSettings.h"
#include "app/AnalyzeCommand.h"
#include "app/RangeLabel.h"
#include "recognition/RecognitionTestSupport.h"
#include "recognition/classic/ClassicMethod.h"

namespace selvik::app {
namespace {

using test::MessageLog;
using ::testing::IsEmpty;

// A classic-readable recording of a full-scale sine.
void fillRecording(Recording& recording, std::int32_t count, double hz) {
    recording.signal.create(count);
    recording.signal.setSampleRate(44100);
    for (std::int32_t i = 0; i < count; ++i) recording.signal.samples()[i] = test::sine(hz, i);
    recording.classicReadable = true;
}

TEST(ResolveAnalysisParameters, TheStartValuesGiveTheDefaultAnalysis) {
    const std::optional<MethodSettings> p = resolveAnalysisParameters(AnalysisSettings{});
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

TEST(Analyze, DoesNothingWithoutALoadedFile) {
    struct Case {
        const char* what;
        const char* path;
        std::int32_t samples;  // 0: no signal
    };
    const Case rows[] = {{"no path", "", 8192}, {"no signal", "tone.wav", 0}};
    for (const auto& row : rows) {
        Recording recording;
        if (row.samples > 0) fillRecording(recording, row.samples, 440.0);
        Song song;
        song.sequenceName = "kept";
        bool settingsRead = false;
        MessageLog log;
        const Analysis analysis = analyze(row.path, recording, kClassicMethod, song, nullptr, [&] {
            settingsRead = true;
            return AnalysisSettings{};
        });
        EXPECT_EQ(analysis.outcome, AnalysisOutcome::NotRun) << row.what;
        EXPECT_FALSE(settingsRead) << row.what;
        EXPECT_THAT(log.texts, IsEmpty()) << row.what;
        EXPECT_EQ(analysis.method.outcome, MethodOutcome::NotRun) << row.what;
        EXPECT_EQ(song.sequenceName, "kept") << row.what;
    }
}

TEST(Analyze, AThresholdRangeOfZeroRunsNothing) {
    Recording recording;
    fillRecording(recording, 8192, 440.0);
    Song song;
    song.sequenceName = "kept";
    AnalysisSettings settings;
    settings.thresholdRangeMax = 0;
    const Analysis analysis = analyze("tone.wav", recording, kClassicMethod, song, nullptr, [&] { return settings; });
    EXPECT_EQ(analysis.outcome, AnalysisOutcome::NotRun);
    EXPECT_EQ(analysis.method.outcome, MethodOutcome::NotRun);
    EXPECT_EQ(song.sequenceName, "kept");
}

TEST(Analyze, RunsTheSettingsReadAtTheMomentOfTheCall) {
    Recording recording;
    fillRecording(recording, 100000, 440.0);
    Song song;
    AnalysisSettings settings;
    settings.blockSizeIndex = 0;
    settings.passesIndex = 0;
    MessageLog log;
    const Analysis analysis = analyze("tone.wav", recording, kClassicMethod, song, nullptr, [&] { return settings; });
    EXPECT_EQ(analysis.outcome, AnalysisOutcome::Completed);
    EXPECT_THAT(log.texts, IsEmpty());
    EXPECT_EQ(analysis.method.applied.blockSize, 1024);
    EXPECT_EQ(analysis.method.applied.subsampling, 4);
    // A4 lies below the single pass's band at N = 1024 (F#5 and up).
    EXPECT_EQ(song.totalEvents, 0u);
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

TEST(Analyze, TheClassicMethodDoesNotRunOnARecordingItsReaderRefused) {
    Recording recording;
    fillRecording(recording, 100000, 440.0);
    recording.classicReadable = false;
    Song song;
    song.sequenceName = "kept";
    bool settingsRead = false;
    const Analysis analysis = analyze("tone.flac", recording, kClassicMethod, song, nullptr, [&] {
        settingsRead = true;
        return AnalysisSettings{};
    });
    EXPECT_EQ(analysis.outcome, AnalysisOutcome::NotRun);
    EXPECT_FALSE(settingsRead);
    EXPECT_EQ(song.sequenceName, "kept");
    EXPECT_EQ(rangeLabel(kClassicMethod, 1, 1, false), "44.1 kHz WAV only");
    EXPECT_EQ(rangeLabel(kClassicMethod, 1, 1, true), "F#3 to G9");
}

}  // namespace
}  // namespace selvik::app
