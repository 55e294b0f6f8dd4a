#include "midi/Song.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>

namespace selvik {
namespace {

void fillTrack(SongTrack& track, std::initializer_list<MidiEvent> events) {
    track.eventCount = static_cast<std::uint32_t>(events.size());
    track.events = std::make_unique<MidiEvent[]>(events.size());
    std::uint32_t i = 0;
    for (const MidiEvent& event : events) {
        track.events[i++] = event;
    }
}

void expectResetTrack(const SongTrack& track) {
    EXPECT_FALSE(track.name.has_value());
    EXPECT_EQ(track.program, 0);
    EXPECT_EQ(track.volume, 100);
    EXPECT_EQ(track.pan, 64);
    EXPECT_EQ(track.reserved, 0);
    EXPECT_EQ(track.eventCount, 0u);
    EXPECT_EQ(track.readCursor, 0u);
    EXPECT_EQ(track.events, nullptr);
}

// A song with every field away from its default.
void dirty(Song& song) {
    song.tempo = 120.0;
    song.division = 384;
    song.sequenceName = "name";
    song.notice = "notice";
    song.text = "text";
    for (SongTrack& track : song.tracks) {
        track.name = "track";
        track.program = 5;
        track.volume = 127;
        track.pan = 1;
        track.reserved = 9;
        track.readCursor = 3;
        fillTrack(track, {{7, 0x90, 60, 100}});
    }
    song.totalEvents = 16;
    song.endTime = 7;
}

TEST(SongReset, OnANullSongDoesNothing) {
    reset(nullptr);
}

TEST(SongReset, SetsTheDefaultsAndLeavesTheDerivedValues) {
    Song song;
    dirty(song);
    reset(&song);
    EXPECT_EQ(song.tempo, 100.0);
    EXPECT_EQ(song.division, 120);
    EXPECT_FALSE(song.sequenceName.has_value());
    EXPECT_FALSE(song.notice.has_value());
    EXPECT_FALSE(song.text.has_value());
    for (const SongTrack& track : song.tracks) {
        expectResetTrack(track);
    }
    EXPECT_EQ(song.totalEvents, 16u);
    EXPECT_EQ(song.endTime, 7u);
}

TEST(SongClear, EmptiesAFilledSong) {
    Song song;
    dirty(song);
    clear(song);
    EXPECT_EQ(song.tempo, 100.0);
    EXPECT_EQ(song.division, 120);
    EXPECT_FALSE(song.sequenceName.has_value());
    EXPECT_FALSE(song.notice.has_value());
    EXPECT_FALSE(song.text.has_value());
    for (const SongTrack& track : song.tracks) {
        expectResetTrack(track);
    }
}

TEST(SongClear, OnASongThatWasOnlyResetKeepsTheDefaults) {
    Song song;
    reset(&song);
    clear(song);
    EXPECT_EQ(song.tempo, 100.0);
    EXPECT_EQ(song.division, 120);
    for (const SongTrack& track : song.tracks) {
        expectResetTrack(track);
    }
}

TEST(SongCountEvents, SumsTheEventCountsOfAllTracks) {
    Song song;
    song.totalEvents = 99;
    fillTrack(song.tracks[0], {{0, 0x90, 60, 100}, {5, 0x90, 60, 0}});
    fillTrack(song.tracks[15], {{1, 0x90, 61, 100}, {2, 0x90, 61, 0}, {3, 0xC0, 4, 0}});
    countEvents(song);
    EXPECT_EQ(song.totalEvents, 5u);
}

TEST(SongCountEvents, OfAnEmptySongIsZero) {
    Song song;
    song.totalEvents = 99;
    countEvents(song);
    EXPECT_EQ(song.totalEvents, 0u);
}

TEST(SongComputeEndTime, OfASongWithNoEventsIsZero) {
    Song song;
    song.endTime = 99;
    computeEndTime(song);
    EXPECT_EQ(song.endTime, 0u);
}

TEST(SongComputeEndTime, IsTheLargestTimeOfAnyTrackComparedUnsigned) {
    Song song;
    fillTrack(song.tracks[0], {{10, 0x90, 60, 100}, {3, 0x90, 60, 0}});
    fillTrack(song.tracks[7], {{0x80000001u, 0x90, 61, 100}, {2, 0x90, 61, 0}});
    fillTrack(song.tracks[9], {{0x7FFFFFFFu, 0x90, 62, 100}});
    computeEndTime(song);
    EXPECT_EQ(song.endTime, 0x80000001u);
}

TEST(SongComputeEndTime, IgnoresEventsBeyondATracksEventCount) {
    Song song;
    fillTrack(song.tracks[0], {{10, 0x90, 60, 100}, {500, 0x90, 60, 0}});
    song.tracks[0].eventCount = 1;
    computeEndTime(song);
    EXPECT_EQ(song.endTime, 10u);
}

TEST(SongSortTracks, SortsEveryTrackWithEvents) {
    Song song;
    fillTrack(song.tracks[0], {{9, 0x90, 1, 0}, {4, 0x90, 2, 0}});
    fillTrack(song.tracks[3], {{300, 0x90, 3, 0}, {256, 0x90, 4, 0}, {1, 0x90, 5, 0}});
    ASSERT_TRUE(sortTracks(song));
    EXPECT_EQ(song.tracks[0].events[0].data1, 2);
    EXPECT_EQ(song.tracks[0].events[1].data1, 1);
    EXPECT_EQ(song.tracks[3].events[0].data1, 5);
    EXPECT_EQ(song.tracks[3].events[1].data1, 4);
    EXPECT_EQ(song.tracks[3].events[2].data1, 3);
}

}  // namespace
}  // namespace selvik
