// The analysis step: the method, then the beat tracker when the tempo comes
// from the recording, then the song at the timing the options ask for.

#include <gtest/gtest.h>

#include <cmath>

#include "pipeline/Analysis.h"
#include "recognition/classic/ClassicMethod.h"
#include "recognition/melody/MelodyTracker.h"

namespace selvik {
namespace {

// A recording of `seconds` with a 440 Hz tone from 0.1 s to 1.1 s, or silence.
Recording recordingOf(double seconds, bool tone) {
    Recording recording;
    const auto count = static_cast<std::int32_t>(seconds * 44100);
    EXPECT_EQ(recording.signal.create(count), SignalStatus::NoError);
    recording.signal.setSampleRate(44100);
    if (tone) {
        for (std::int32_t i = 4410; i < 48510; ++i) {
            recording.signal.samples()[i] = static_cast<float>(0.5 * std::sin(2.0 * 3.14159265 * 440.0 * i / 44100.0));
        }
    }
    recording.classicReadable = true;
    return recording;
}

TEST(Analysis, TheClassicMethodKeepsTheFixedGridUnlessATempoIsAsked) {
    const Recording recording = recordingOf(2.0, true);
    Song song;
    Analysis plain = analyseRecording(recording, kClassicMethod, MethodSettings{}, song, MethodRun{});
    ASSERT_EQ(plain.outcome, AnalysisOutcome::Completed);
    EXPECT_FALSE(plain.beats) << "no beat tracking by default";
    EXPECT_EQ(song.tempo, 120.0);
    EXPECT_FALSE(song.timeSignature);

    SongOptions fixed;
    fixed.tempo = TempoSource::Fixed;
    fixed.fixedTempo = 72.5;
    const Analysis slow = analyseRecording(recording, kClassicMethod, MethodSettings{}, song, MethodRun{}, fixed);
    EXPECT_FALSE(slow.beats);
    EXPECT_EQ(song.tempo, 72.5);
    EXPECT_EQ(song.timeSignature, (TimeSignature{4, 4}));

    SongOptions followed;
    followed.tempo = TempoSource::Recording;
    const Analysis tracked = analyseRecording(recording, kClassicMethod, MethodSettings{}, song, MethodRun{}, followed);
    ASSERT_TRUE(tracked.beats);
    EXPECT_FALSE(tracked.beats->steady) << "one tone is no pulse";
}

TEST(Analysis, SilenceThroughTheTrackerGives120BpmInFourFourAndNoError) {
    const Recording recording = recordingOf(4.0, false);
    Song song;
    const Analysis analysis = analyseRecording(recording, kMelodyMethod, MethodSettings{}, song, MethodRun{});
    ASSERT_EQ(analysis.outcome, AnalysisOutcome::Completed);
    ASSERT_TRUE(analysis.beats) << "our methods follow the recording's tempo by default";
    EXPECT_FALSE(analysis.beats->steady);
    EXPECT_EQ(song.tempo, 120.0);
    EXPECT_TRUE(song.tempoChanges.empty());
    EXPECT_EQ(song.timeSignature, (TimeSignature{4, 4}));
    EXPECT_EQ(song.totalEvents, 0u);
}

}  // namespace
}  // namespace selvik
