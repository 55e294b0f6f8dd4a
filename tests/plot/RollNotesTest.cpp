#include <gtest/gtest.h>

#include "plot/RollBeats.h"
#include "plot/RollNotes.h"
#include "plot/SongBuilder.h"

namespace selvik::testing_support {
namespace {

TEST(RollNotes, TicksBecomeSecondsAtTheSongsTempoAndDivision) {
    Song song;
    // 120 quarter notes per minute at 384 ticks each: 768 ticks per second.
    fillSong(song, {{69, 768, 1152}, {72, 1536, 3840}});
    const std::vector<RollNote> notes = rollNotes(song);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].number, 69);
    EXPECT_DOUBLE_EQ(notes[0].startSeconds, 1.0);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 1.5);
    EXPECT_EQ(notes[1].number, 72);
    EXPECT_DOUBLE_EQ(notes[1].startSeconds, 2.0);
    EXPECT_DOUBLE_EQ(notes[1].endSeconds, 5.0);
}

TEST(RollNotes, TicksAfterATempoChangeFollowTheNewTempo) {
    Song song;
    fillSong(song, {{60, 1536, 2304}});
    song.tempoChanges = {{768, 60.0}};  // 1 s, then 384 ticks a second
    const std::vector<RollNote> notes = rollNotes(song);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_DOUBLE_EQ(notes[0].startSeconds, 3.0);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 5.0);
}

TEST(RollBeats, AMeteredSongGetsABeatLineEveryCountedBeatAndABarLineEveryBar) {
    Song song;
    fillSong(song, {{60, 0, 12 * 384}});
    EXPECT_TRUE(rollBeats(song).empty()) << "no time signature, no bars";

    song.timeSignature = TimeSignature{3, 4};
    song.tempoChanges = {{3 * 384, 60.0}};  // the first bar at 120, then 60
    const std::vector<RollBeat> beats = rollBeats(song);
    ASSERT_EQ(beats.size(), 13u);
    const double expected[] = {0.0, 0.5, 1.0, 1.5, 2.5, 3.5, 4.5};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_DOUBLE_EQ(beats[i].seconds, expected[i]) << i;
        EXPECT_EQ(beats[i].barLine, i % 3 == 0) << i;
    }

    song.timeSignature = TimeSignature{6, 8};  // two dotted quarters a bar
    const std::vector<RollBeat> compound = rollBeats(song);
    ASSERT_EQ(compound.size(), 9u);
    EXPECT_DOUBLE_EQ(compound[1].seconds, 0.75);
    EXPECT_TRUE(compound[2].barLine);
}

TEST(RollNotes, AnotherTempoScalesTheTimes) {
    Song song;
    fillSong(song, {{60, 120, 240}}, 100.0, 120);  // 200 ticks per second
    const std::vector<RollNote> notes = rollNotes(song);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_DOUBLE_EQ(notes[0].startSeconds, 0.6);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 1.2);
}

TEST(RollNotes, RepeatedNotesEndInTheOrderTheyStarted) {
    Song song;
    fillSong(song, {{64, 0, 384}, {64, 384, 768}});
    const std::vector<RollNote> notes = rollNotes(song);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 0.5);
    EXPECT_DOUBLE_EQ(notes[1].startSeconds, 0.5);
    EXPECT_DOUBLE_EQ(notes[1].endSeconds, 1.0);
}

TEST(RollNotes, NotesOfSeveralTracksAreSortedByStart) {
    Song song;
    fillSong(song, {{60, 768, 1536}});
    SongTrack& second = song.tracks[3];
    second.events = std::make_unique<MidiEvent[]>(2);
    second.events[0] = {0, 0x93, 50, 90};
    second.events[1] = {384, 0x93, 50, 0};
    second.eventCount = 2;
    const std::vector<RollNote> notes = rollNotes(song);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].number, 50);
    EXPECT_EQ(notes[1].number, 60);
}

TEST(RollNotes, AnEmptySongHasNoNotes) {
    Song song;
    reset(&song);
    EXPECT_TRUE(rollNotes(song).empty());
}

}  // namespace
}  // namespace selvik::testing_support
