// Files the writer makes are read back by mido (check_midi_file.py), a reader
// that shares no code with it: they parse, and their notes are the song's.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "midi/MidiFileWriter.h"
#include "midi/NoteTrack.h"
#include "midi/SongBuilder.h"
#include "midi/TemporaryFolder.h"
#include "recognition/classic/GridConversion.h"
#include "recognition/classic/ScoreGrid.h"

namespace selvik {
namespace {

struct Note {
    int note;
    std::int64_t start;
    std::int64_t end;
};

const std::string kPython = "/usr/bin/python3";
const std::string kScript = std::string(SELVIK_SOURCE_DIR) + "/tests/midi/check_midi_file.py";

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

class IndependentReader : public ::testing::Test {
protected:
    void SetUp() override {
        if (run(kPython + " -c 'import mido' 2>/dev/null") != 0) {
            GTEST_SKIP() << kPython << " cannot import mido (Debian package python3-mido)";
        }
    }

    // Writes the song, then runs the checker against `notes`; its exit status.
    int check(const Song& song, const std::vector<Note>& notes, const std::string& options = "") {
        const std::string mid = folder.file("song.mid");
        const std::string tsv = folder.file("expect.tsv");
        EXPECT_EQ(writeMidiFile(mid.c_str(), &song), MidiResult::Success);
        std::ofstream out(tsv);
        out << "# note\tstart_tick\tend_tick\n";
        for (const Note& n : notes) {
            out << n.note << '\t' << n.start << '\t' << n.end << '\n';
        }
        out.close();
        return run(kPython + " " + quoted(kScript) + " " + quoted(mid) + " --expect-notes " + quoted(tsv) +
                   " " + options);
    }

    test::TemporaryFolder folder;
};

void fillFromSpans(SongTrack& track, const NoteSpan* spans, std::int32_t count) {
    ASSERT_TRUE(buildNoteTrack(track, spans, count));
}

std::vector<Note> notesOf(const NoteSpan* spans, std::int32_t count) {
    std::vector<Note> notes;
    for (std::int32_t i = 0; i < count; ++i) {
        notes.push_back({spans[i].note, spans[i].startTick, spans[i].endTick});
    }
    return notes;
}

TEST_F(IndependentReader, ReadsTheFourRowExample) {
    Song song;
    song.tempo = 120.0;
    song.division = 384;
    const NoteSpan spans[] = {{60, 100, 0, 36}, {62, 100, 36, 71}};
    fillFromSpans(song.tracks[0], spans, 2);
    EXPECT_EQ(check(song, {{60, 0, 36}, {62, 36, 71}}, "--division 384 --tempo 500000"), 0);
}

TEST_F(IndependentReader, NoticesANoteThatDiffers) {
    Song song;
    song.tempo = 120.0;
    song.division = 384;
    const NoteSpan spans[] = {{60, 100, 0, 36}, {62, 100, 36, 71}};
    fillFromSpans(song.tracks[0], spans, 2);
    EXPECT_EQ(check(song, {{60, 0, 36}, {62, 36, 72}}, "2>/dev/null"), 1);
    EXPECT_EQ(check(song, {{60, 0, 36}}, "2>/dev/null"), 1);
    EXPECT_EQ(check(song, {{60, 0, 36}, {62, 36, 71}}, "--tempo 600000 2>/dev/null"), 1);
}

TEST_F(IndependentReader, ReadsAConvertedRandomGridWithTextsAndSeveralTracks) {
    // 400 rows of 8192 samples with up to four notes a row, runs of any length.
    constexpr std::int32_t kRows = 400;
    std::vector<std::uint8_t> grid(static_cast<std::size_t>(kRows) * kSlotsPerRow, kEmptySlot);
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> note(48, 60);
    std::uniform_int_distribution<int> slot(0, 3);
    for (std::int32_t r = 0; r < kRows; ++r) {
        for (int s = 0; s < 4; ++s) {
            if (slot(random) != 0) {
                grid[static_cast<std::size_t>(r) * kSlotsPerRow + static_cast<std::size_t>(slot(random) * 4 + s)] =
                    static_cast<std::uint8_t>(note(random));
            }
        }
    }
    removeRepeatedNotes(grid.data(), kRows);
    const NoteSpans spans = extractNoteSpans(grid.data(), kRows, 8192, 120.0, 384);
    ASSERT_TRUE(spans.ok);
    ASSERT_GT(spans.count, 300);

    Song song;
    song.tempo = 120.0;
    song.division = 384;
    song.sequenceName = "Random grid";
    song.notice = "(c) nobody";
    song.text = std::string(300, 't');
    fillFromSpans(song.tracks[0], spans.spans.get(), spans.count);
    // A second track far out in time: deltas of four bytes.
    const NoteSpan late[] = {{100, 100, 3000000, 3000384}, {101, 100, 200000000, 200000001}};
    fillFromSpans(song.tracks[9], late, 2);
    song.tracks[9].name = "Late";

    std::vector<Note> expected = notesOf(spans.spans.get(), spans.count);
    expected.push_back({100, 3000000, 3000384});
    expected.push_back({101, 200000000, 200000001});
    EXPECT_EQ(check(song, expected, "--division 384 --tempo 500000"), 0);
}

TEST_F(IndependentReader, DumpsTheNotesInTheirOrderOfStart) {
    Song song;
    song.tempo = 120.0;
    song.division = 384;
    const NoteSpan spans[] = {{64, 100, 18, 53}, {60, 100, 0, 36}, {67, 100, 18, 36}};
    fillFromSpans(song.tracks[0], spans, 3);
    const std::string mid = folder.file("song.mid");
    const std::string dump = folder.file("dump.tsv");
    ASSERT_EQ(writeMidiFile(mid.c_str(), &song), MidiResult::Success);
    ASSERT_EQ(run(kPython + " " + quoted(kScript) + " " + quoted(mid) + " --dump > " + quoted(dump)), 0);
    std::ifstream in(dump);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "60\t0\t36\n64\t18\t53\n67\t18\t36\n");
}

TEST_F(IndependentReader, RefusesAFileThatIsNotMidi) {
    const std::string bad = folder.file("bad.mid");
    test::writeBytes(bad, {'M', 'T', 'h', 'd', 0, 0});
    EXPECT_EQ(run(kPython + " " + quoted(kScript) + " " + quoted(bad) + " --dump >/dev/null 2>&1"), 2);
}

// The notes of a song laid on a tempo map from changing beats, with bends on
// several channels, come back from mido at their own seconds within a tick.
TEST_F(IndependentReader, PlaysTheNotesOfATempoMapAtTheirOwnSeconds) {
    BeatGrid beats;
    beats.steady = true;
    beats.meter = {6, 8};
    double at = 0.35;
    for (int i = 0; i < 16; ++i, at += 0.8) beats.beats.push_back(at);
    for (int i = 0; i < 16; ++i, at += 0.6) beats.beats.push_back(at);
    std::vector<RecognizedNote> notes;
    std::mt19937 random(77);
    std::uniform_real_distribution<double> start(0.0, 22.0);
    for (int i = 0; i < 60; ++i) {
        RecognizedNote note;
        note.startSeconds = start(random);
        note.endSeconds = note.startSeconds + 0.1 + 0.01 * i;
        note.note = static_cast<std::uint8_t>(40 + i);  // no number twice
        note.pitch = {{note.startSeconds, 30.0f}, {note.startSeconds + 0.05, -20.0f}};
        notes.push_back(note);
    }
    std::sort(notes.begin(), notes.end(),
              [](const RecognizedNote& a, const RecognizedNote& b) { return a.startSeconds < b.startSeconds; });
    SongTiming timing;
    timing.beats = beats;
    timing.pitchBends = true;
    Song song;
    ASSERT_TRUE(buildSong(notes, song, timing));
    const std::string mid = folder.file("mapped.mid");
    ASSERT_EQ(writeMidiFile(mid.c_str(), &song), MidiResult::Success);
    const std::string out = folder.file("seconds.tsv");
    ASSERT_EQ(run(kPython + " " + quoted(kScript) + " " + quoted(mid) + " --dump-seconds > " + quoted(out)), 0);

    std::ifstream in(out);
    std::string line;
    std::vector<std::string> meters;
    std::size_t matched = 0;
    const double longestTick = 60.0 / (1.5 * 75.0 * 384);  // the slowest tempo, 75 quarters a minute
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first == "meter") {
            std::string meter;
            fields >> meter;
            meters.push_back(meter);
            continue;
        }
        double startSeconds = 0.0, endSeconds = 0.0;
        int channel = 0;
        fields >> startSeconds >> endSeconds >> channel;
        const int number = std::stoi(first);
        for (const RecognizedNote& note : notes) {
            if (note.note != number) continue;
            EXPECT_NEAR(startSeconds, note.startSeconds, longestTick) << "note " << number;
            EXPECT_NEAR(endSeconds, note.endSeconds, longestTick) << "note " << number;
            ++matched;
        }
    }
    EXPECT_EQ(matched, notes.size());
    EXPECT_EQ(meters, std::vector<std::string>{"6/8"});
}

}  // namespace
}  // namespace selvik
