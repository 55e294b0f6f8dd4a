#include "recognition/classic/ClassicMethod.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "midi/Song.h"
#include "midi/SongBuilder.h"
#include "recognition/RecognitionTestSupport.h"
#include "recognition/classic/GridConversion.h"

namespace selvik {
namespace {

using test::MessageLog;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The classic analysis of the recognizer's signal, built into `song` as the
// conversion pipeline builds it.
MethodOutcome runAnalysis(Recognizer& recognizer, Song& song, ProgressIndicator* progress,
                          const MethodSettings& parameters) {
    const MethodResult result = runClassicAnalysis(recognizer, parameters, progress);
    if (result.outcome == MethodOutcome::Completed && !buildSong(result.notes, song)) return MethodOutcome::OutOfMemory;
    return result.outcome;
}

TEST(RunAnalysis, ReportsInvalidParametersInTheOrderOfTheSetters) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 8192, [](std::int64_t i) { return test::sine(440.0, i); });
    Song song;
    MethodSettings parameters;
    parameters.blockSize = 3000;
    parameters.polyphony = 0;
    parameters.threshold = 1.5f;
    parameters.subsampling = 3;
    parameters.passes = 1;
    MessageLog log;
    EXPECT_EQ(runAnalysis(recognizer, song, nullptr, parameters), MethodOutcome::Completed);
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
    MethodSettings parameters;
    parameters.passes = 4;
    MessageLog log;
    EXPECT_EQ(runAnalysis(recognizer, song, nullptr, parameters), MethodOutcome::Completed);
    EXPECT_THAT(log.texts, ElementsAre("Signal is too short"));
    EXPECT_THAT(noteEvents(song), ElementsAre("0 69 100", tick(2) + " 69 0"));
}

TEST(RunAnalysis, Converts48RowsOfA100000SampleRecording) {
    Recognizer recognizer;
    test::fillSignal(recognizer, 100000, [](std::int64_t i) { return test::sine(440.0, i); });
    Song song;
    MessageLog log;
    EXPECT_EQ(runAnalysis(recognizer, song, nullptr, MethodSettings{}), MethodOutcome::Completed);
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
    MethodSettings parameters;
    parameters.threshold = 0.0f;
    parameters.passes = 4;
    EXPECT_EQ(runAnalysis(recognizer, song, nullptr, parameters), MethodOutcome::Completed);
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
    EXPECT_EQ(runAnalysis(recognizer, song, &progress, MethodSettings{}), MethodOutcome::Completed);
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

}  // namespace
}  // namespace selvik
