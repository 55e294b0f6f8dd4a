#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "midi/SongNotes.h"

namespace selvik {
namespace {

void setEvents(Song& song, int track, const std::vector<MidiEvent>& events) {
    SongTrack& t = song.tracks[static_cast<std::size_t>(track)];
    t.eventCount = static_cast<std::uint32_t>(events.size());
    t.events = std::make_unique<MidiEvent[]>(events.size());
    std::copy(events.begin(), events.end(), t.events.get());
}

TEST(SongNotes, PairsEachStartWithTheEndingOfTheEarliestOpenNoteOfItsNumber) {
    Song song;
    reset(&song);
    setEvents(song, 0, {{0, 0x90, 60, 100},
                        {10, 0x90, 60, 90},   // the same note again while it sounds
                        {20, 0x90, 60, 0},    // ends the first
                        {30, 0x80, 60, 64},   // a note-off ends the second
                        {40, 0xB0, 60, 0},    // not a note message
                        {50, 0x90, 62, 100}});  // never ended
    const std::vector<SongNote> notes = songNotes(song);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0], (SongNote{60, 0, 20}));
    EXPECT_EQ(notes[1], (SongNote{60, 10, 30}));
    EXPECT_EQ(notes[2], (SongNote{62, 50, 50}));
}

TEST(SongNotes, ReadsEveryTrackInTurn) {
    Song song;
    reset(&song);
    setEvents(song, 0, {{100, 0x90, 70, 1}, {200, 0x90, 70, 0}});
    setEvents(song, 3, {{0, 0x93, 40, 1}, {50, 0x93, 40, 0}});
    const std::vector<SongNote> notes = songNotes(song);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], (SongNote{70, 100, 200}));
    EXPECT_EQ(notes[1], (SongNote{40, 0, 50}));
}

}  // namespace
}  // namespace selvik
