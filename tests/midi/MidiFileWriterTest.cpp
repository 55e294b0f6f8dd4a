#include "midi/MidiFileWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <ostream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "midi/TemporaryFolder.h"

namespace selvik {
namespace {

using Bytes = std::vector<std::uint8_t>;

void fillTrack(SongTrack& track, std::initializer_list<MidiEvent> events) {
    track.eventCount = static_cast<std::uint32_t>(events.size());
    track.events = std::make_unique<MidiEvent[]>(events.size());
    std::uint32_t i = 0;
    for (const MidiEvent& event : events) {
        track.events[i++] = event;
    }
}

// The song the four-row grid converts to.
void exampleSong(Song& song) {
    song.tempo = 120.0;
    song.division = 384;
    fillTrack(song.tracks[0], {{0, 0x90, 60, 100}, {36, 0x90, 60, 0}, {36, 0x90, 62, 100}, {71, 0x90, 62, 0}});
}

class MidiFileWriter : public ::testing::Test {
protected:
    // Writes the song and returns the file's bytes; fails the test unless written.
    Bytes written(const Song& song) {
        const std::string path = folder.file("out.mid");
        EXPECT_EQ(writeMidiFile(path.c_str(), &song), MidiResult::Success);
        return test::readBytes(path);
    }

    test::TemporaryFolder folder;
};

// Bytes [from, from + n) of `bytes`.
Bytes slice(const Bytes& bytes, std::size_t from, std::size_t n) {
    if (from + n > bytes.size()) {
        return {};
    }
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + n));
}

TEST_F(MidiFileWriter, WritesTheFourRowExampleAsExactly58Bytes) {
    Song song;
    exampleSong(song);
    const Bytes expected = {
        0x4D, 0x54, 0x68, 0x64,  // "MThd"
        0x00, 0x00, 0x00, 0x06,  // header length 6
        0x00, 0x01,              // format 1
        0x00, 0x02,              // two track chunks: texts and tempo, track 0
        0x01, 0x80,              // division 384
        0x4D, 0x54, 0x72, 0x6B,  // "MTrk"
        0x00, 0x00, 0x00, 0x0B,  // length 11
        0x00, 0xFF, 0x51, 0x03,  // delta 0, tempo meta event, 3 bytes
        0x07, 0xA1, 0x20,        // 500000 microseconds per quarter note
        0x01, 0xFF, 0x2F, 0x00,  // delta 1, end of track
        0x4D, 0x54, 0x72, 0x6B,  // "MTrk"
        0x00, 0x00, 0x00, 0x11,  // length 17
        0x00, 0x90, 0x3C, 0x64,  // delta 0, note-on 60 velocity 100
        0x24, 0x3C, 0x00,        // delta 36, running status, 60 velocity 0
        0x00, 0x3E, 0x64,        // delta 0, 62 velocity 100
        0x23, 0x3E, 0x00,        // delta 35, 62 velocity 0
        0x01, 0xFF, 0x2F, 0x00,  // delta 1, end of track
    };
    EXPECT_EQ(written(song), expected);
}

TEST_F(MidiFileWriter, WritesTempo100As600000Microseconds) {
    Song song;
    reset(&song);
    fillTrack(song.tracks[0], {{0, 0x90, 60, 100}});
    const Bytes bytes = written(song);
    EXPECT_EQ(slice(bytes, 12, 2), (Bytes{0x00, 0x78}));            // division 120
    EXPECT_EQ(slice(bytes, 22, 7), (Bytes{0x00, 0xFF, 0x51, 0x03,  // tempo meta event
                                          0x09, 0x27, 0xC0}));      // 600000
}

TEST_F(MidiFileWriter, PutsTheTimeSignatureAndTheTempoChangesInTheTempoTrack) {
    Song song;
    exampleSong(song);
    song.timeSignature = TimeSignature{6, 8};
    song.tempoChanges = {{200, 90.0}, {100, 60.0}, {200, 100.0}, {20000, 150.0}};
    const Bytes bytes = written(song);
    const Bytes firstChunk = {
        0x4D, 0x54, 0x72, 0x6B,                    // "MTrk"
        0x00, 0x00, 0x00, 0x2B,                    // length 11 + 8 + 8 + 7 + 9 = 43
        0x00, 0xFF, 0x58, 0x04, 0x06, 0x03, 0x24, 0x08,  // 6/8, a click per dotted quarter
        0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo 500000 at tick 0
        0x81, 0x48, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2A,  // delta 200: 666666 (90 BPM)
        // the change at tick 100 lies before the one written: left out
        0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0,  // delta 0: 600000 (100 BPM) replaces it
        0x81, 0x9A, 0x58, 0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80,  // delta 19800: 400000 (150 BPM)
        0x01, 0xFF, 0x2F, 0x00,                    // delta 1, end of track
    };
    EXPECT_EQ(slice(bytes, 14, firstChunk.size()), firstChunk);
    EXPECT_EQ(bytes.size(), 58u + firstChunk.size() - 19u);
}

TEST_F(MidiFileWriter, WritesTheTextsInOrderSequenceNameNoticeText) {
    Song song;
    exampleSong(song);
    song.sequenceName = "abc";
    song.notice = "(c)";
    song.text = "hi";
    const Bytes bytes = written(song);
    const Bytes firstChunk = {
        0x4D, 0x54, 0x72, 0x6B,              // "MTrk"
        0x00, 0x00, 0x00, 0x1F,              // length 11 + 7 + 7 + 6 = 31
        0x00, 0xFF, 0x03, 0x03, 'a', 'b', 'c',  // delta 0, sequence name, 3 bytes
        0x00, 0xFF, 0x02, 0x03, '(', 'c', ')',  // delta 0, copyright notice, 3 bytes
        0x00, 0xFF, 0x01, 0x02, 'h', 'i',       // delta 0, text, 2 bytes
        0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo 500000
        0x01, 0xFF, 0x2F, 0x00,              // delta 1, end of track
    };
    EXPECT_EQ(slice(bytes, 14, firstChunk.size()), firstChunk);
    EXPECT_EQ(bytes.size(), 58u + 20u);
}

TEST_F(MidiFileWriter, ASequenceNameAloneMakesTheFirstChunk18Bytes) {
    Song song;
    exampleSong(song);
    song.sequenceName = "abc";
    const Bytes bytes = written(song);
    EXPECT_EQ(slice(bytes, 18, 4), (Bytes{0x00, 0x00, 0x00, 0x12}));                 // length 18
    EXPECT_EQ(slice(bytes, 22, 7), (Bytes{0x00, 0xFF, 0x03, 0x03, 0x61, 0x62, 0x63}));  // "abc"
}

TEST_F(MidiFileWriter, GivesALongTextATwoByteLength) {
    Song song;
    exampleSong(song);
    song.text = std::string(200, 'x');
    const Bytes bytes = written(song);
    EXPECT_EQ(slice(bytes, 18, 4), (Bytes{0x00, 0x00, 0x00, 0xD8}));  // 11 + 3 + 2 + 200
    EXPECT_EQ(slice(bytes, 22, 5), (Bytes{0x00, 0xFF, 0x01,            // delta 0, text
                                          0x81, 0x48}));              // length 200
}

TEST_F(MidiFileWriter, EndsATextAtItsFirstZeroByte) {
    Song song;
    exampleSong(song);
    song.sequenceName = std::string("ab\0cd", 5);
    const Bytes bytes = written(song);
    EXPECT_EQ(slice(bytes, 18, 4), (Bytes{0x00, 0x00, 0x00, 0x11}));  // 11 + 3 + 1 + 2
    EXPECT_EQ(slice(bytes, 22, 6), (Bytes{0x00, 0xFF, 0x03, 0x02, 'a', 'b'}));
}

TEST_F(MidiFileWriter, StartsANamedTracksChunkWithItsName) {
    Song song;
    exampleSong(song);
    song.tracks[0].name = "Melody";
    const Bytes bytes = written(song);
    EXPECT_EQ(slice(bytes, 33, 8 + 10), (Bytes{
                                            0x4D, 0x54, 0x72, 0x6B,  // "MTrk"
                                            0x00, 0x00, 0x00, 0x1B,  // 17 + 3 + 1 + 6
                                            0x00, 0xFF, 0x03, 0x06,  // delta 0, track name, 6 bytes
                                            'M', 'e', 'l', 'o', 'd', 'y'}));
    EXPECT_EQ(bytes.size(), 58u + 10u);
}

TEST_F(MidiFileWriter, GivesANamedTrackWithoutEventsNoChunk) {
    Song song;
    exampleSong(song);
    song.tracks[1].name = "Empty";
    const Bytes bytes = written(song);
    EXPECT_EQ(bytes.size(), 58u);
    EXPECT_EQ(slice(bytes, 10, 2), (Bytes{0x00, 0x02}));  // two track chunks
}

TEST_F(MidiFileWriter, WritesTracksTwoAndFiveAfterTheTempoChunkInTrackOrder) {
    Song song;
    exampleSong(song);
    song.tracks[0].eventCount = 0;
    song.tracks[0].events.reset();
    fillTrack(song.tracks[5], {{0, 0x90, 55, 100}});
    fillTrack(song.tracks[2], {{0, 0x90, 52, 100}});
    const Bytes bytes = written(song);
    EXPECT_EQ(slice(bytes, 10, 2), (Bytes{0x00, 0x03}));  // three track chunks
    const Bytes trackChunk2 = {0x4D, 0x54, 0x72, 0x6B,  // "MTrk"
                               0x00, 0x00, 0x00, 0x08,  // length 8
                               0x00, 0x90, 0x34, 0x64,  // note-on 52
                               0x01, 0xFF, 0x2F, 0x00};
    const Bytes trackChunk5 = {0x4D, 0x54, 0x72, 0x6B,  // "MTrk"
                               0x00, 0x00, 0x00, 0x08,  // length 8
                               0x00, 0x90, 0x37, 0x64,  // note-on 55
                               0x01, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(slice(bytes, 33, 16), trackChunk2);
    EXPECT_EQ(slice(bytes, 49, 16), trackChunk5);
    EXPECT_EQ(bytes.size(), 65u);
}

struct RunningStatusCase {
    const char* description;
    std::vector<MidiEvent> events;
    Bytes chunkBody;  // after the length, before the end of track
};

// Names the row in a failure message.
void PrintTo(const RunningStatusCase& c, std::ostream* out) { *out << c.description; }

class RunningStatus : public MidiFileWriter, public ::testing::WithParamInterface<RunningStatusCase> {};

TEST_P(RunningStatus, InANoteTrack) {
    const RunningStatusCase& c = GetParam();
    Song song;
    exampleSong(song);
    song.tracks[0].eventCount = static_cast<std::uint32_t>(c.events.size());
    song.tracks[0].events = std::make_unique<MidiEvent[]>(c.events.size());
    std::copy(c.events.begin(), c.events.end(), song.tracks[0].events.get());
    const Bytes bytes = written(song);
    const std::uint32_t length = static_cast<std::uint32_t>(c.chunkBody.size() + 4);
    EXPECT_EQ(slice(bytes, 37, 4), (Bytes{0, 0, static_cast<std::uint8_t>(length >> 8),
                                          static_cast<std::uint8_t>(length)}))
        << c.description;
    EXPECT_EQ(slice(bytes, 41, c.chunkBody.size()), c.chunkBody) << c.description;
    EXPECT_EQ(bytes.size(), 41 + c.chunkBody.size() + 4) << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunningStatus,
    ::testing::Values(
        RunningStatusCase{"two note-ons write the status once",
                          {{0, 0x90, 60, 100}, {10, 0x90, 60, 0}},
                          {0x00, 0x90, 0x3C, 0x64,  // delta 0, note-on 60
                           0x0A, 0x3C, 0x00}},      // delta 10, running status
        RunningStatusCase{"a different status writes its own and the next note-on writes 0x90 again",
                          {{0, 0x90, 60, 100}, {5, 0x80, 60, 64}, {5, 0x90, 62, 100}, {6, 0x90, 62, 0}},
                          {0x00, 0x90, 0x3C, 0x64,  // note-on 60
                           0x05, 0x80, 0x3C, 0x40,  // note-off 60, velocity 64
                           0x00, 0x90, 0x3E, 0x64,  // note-on 62, status again
                           0x01, 0x3E, 0x00}},      // running status
        RunningStatusCase{"running status also holds for a repeated program change",
                          {{0, 0xC0, 5, 0}, {0, 0xC0, 6, 0}},
                          {0x00, 0xC0, 0x05,  // program change 5, one data byte
                           0x00, 0x06}},      // running status, program 6
        RunningStatusCase{"a delta of 2^21 takes four bytes",
                          {{0x200000, 0x90, 60, 100}},
                          {0x81, 0x80, 0x80, 0x00,  // delta 2097152
                           0x90, 0x3C, 0x64}}));

struct DataBytesCase {
    std::uint8_t status;
    int dataBytes;
};

class DataBytes : public ::testing::TestWithParam<DataBytesCase> {};

TEST_P(DataBytes, PerStatusByte) {
    EXPECT_EQ(dataByteCount(GetParam().status), GetParam().dataBytes)
        << "status 0x" << std::hex << int(GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, DataBytes,
    ::testing::Values(DataBytesCase{0x00, 1}, DataBytesCase{0x7F, 1}, DataBytesCase{0x80, 2},
                      DataBytesCase{0x9F, 2}, DataBytesCase{0xBF, 2}, DataBytesCase{0xC0, 1},
                      DataBytesCase{0xDF, 1}, DataBytesCase{0xE0, 2}, DataBytesCase{0xEF, 2},
                      DataBytesCase{0xF0, 1}, DataBytesCase{0xF1, 1}, DataBytesCase{0xF2, 2},
                      DataBytesCase{0xF3, 1}, DataBytesCase{0xF4, 1}, DataBytesCase{0xF5, 1},
                      DataBytesCase{0xF6, 0}, DataBytesCase{0xF8, 0}, DataBytesCase{0xFF, 0}));

TEST_F(MidiFileWriter, WritesAnEventsDataBytesByItsStatus) {
    Song song;
    exampleSong(song);
    fillTrack(song.tracks[0], {{0, 0xF8, 1, 2}, {0, 0xD0, 3, 4}, {0, 0xF2, 5, 6}, {0, 0x40, 7, 8}});
    const Bytes bytes = written(song);
    EXPECT_EQ(slice(bytes, 41, 13), (Bytes{0x00, 0xF8,              // clock: no data
                                           0x00, 0xD0, 0x03,        // channel pressure: one
                                           0x00, 0xF2, 0x05, 0x06,  // song position: two
                                           0x00, 0x40, 0x07,        // below 0x80: one
                                           0x01}));                 // end of track follows
}

TEST_F(MidiFileWriter, RefusesANullSongWithoutCreatingAFile) {
    const std::string path = folder.file("out.mid");
    EXPECT_EQ(writeMidiFile(path.c_str(), nullptr), MidiResult::NoSong);
    EXPECT_TRUE(folder.entries().empty());
}

TEST_F(MidiFileWriter, RefusesASongWithoutEventsAndLeavesAnExistingFile) {
    Song song;
    reset(&song);
    song.tracks[3].name = "named but empty";
    const std::string path = folder.file("out.mid");
    EXPECT_EQ(writeMidiFile(path.c_str(), &song), MidiResult::NoTrackWithEvents);
    EXPECT_TRUE(folder.entries().empty());

    test::writeBytes(path, {1, 2, 3});
    EXPECT_EQ(writeMidiFile(path.c_str(), &song), MidiResult::NoTrackWithEvents);
    EXPECT_EQ(test::readBytes(path), (Bytes{1, 2, 3}));
}

TEST_F(MidiFileWriter, LeavesTheSongUnchanged) {
    Song song;
    exampleSong(song);
    song.tracks[0].readCursor = 2;
    written(song);
    EXPECT_EQ(song.tracks[0].eventCount, 4u);
    EXPECT_EQ(song.tracks[0].readCursor, 2u);
    EXPECT_EQ(song.tracks[0].events[3].time, 71u);
}

}  // namespace
}  // namespace selvik
