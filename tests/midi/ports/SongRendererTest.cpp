// Offline rendering of songs through FluidSynth into WAV files, checked by
// reading the files back and by our own recognizer.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RenderedWav.h"
#include "recognition/classic/GridConversion.h"
#include "midi/Song.h"
#include "midi/ports/SongRenderer.h"
#include "midi/ports/SoundFontLocator.h"
#include "support/ClassicSong.h"

namespace selvik {
namespace {

namespace fs = std::filesystem;
using testing_support::dbfs;
using testing_support::peakOf;
using testing_support::readRenderedWav;
using testing_support::RenderedWav;
using testing_support::rmsOf;

constexpr std::uint32_t kDivision = 384;
constexpr double kTempo = 120.0;
constexpr std::size_t kRate = 44100;

// Seconds at 120 BPM and 384 ticks per quarter.
constexpr std::uint32_t ticksOf(double seconds) {
    return static_cast<std::uint32_t>(seconds * kTempo / 60.0 * kDivision + 0.5);
}

struct Note {
    int number;
    double start;  // seconds
    double end;
    int velocity = 100;
};

void setTrack(Song& song, int track, const std::vector<MidiEvent>& events) {
    SongTrack& t = song.tracks[static_cast<std::size_t>(track)];
    t.eventCount = static_cast<std::uint32_t>(events.size());
    t.events.reset(new MidiEvent[events.size()]);
    std::copy(events.begin(), events.end(), t.events.get());
}

// A song of these notes on track 0, ends as note-ons of velocity 0 (as the
// score conversion writes them).
void makeSong(Song& song, const std::vector<Note>& notes) {
    reset(&song);
    song.tempo = kTempo;
    song.division = kDivision;
    std::vector<MidiEvent> events;
    for (const Note& n : notes) {
        events.push_back({ticksOf(n.start), 0x90, static_cast<std::uint8_t>(n.number),
                          static_cast<std::uint8_t>(n.velocity)});
        events.push_back({ticksOf(n.end), 0x90, static_cast<std::uint8_t>(n.number), 0});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.time < b.time; });
    setTrack(song, 0, events);
    countEvents(song);
    computeEndTime(song);
}

// First frame louder than the dither, from `from` on; frames() when none.
std::size_t firstSoundFrom(const RenderedWav& wav, std::size_t from) {
    for (std::size_t f = from; f < wav.frames(); ++f) {
        if (std::abs(wav.samples[2 * f]) > 8 || std::abs(wav.samples[2 * f + 1]) > 8) return f;
    }
    return wav.frames();
}

class SongRendering : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/selvik-render-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        const auto soundFont = findSoundFont();
        ASSERT_TRUE(soundFont) << "no soundfont installed";
        soundFont_ = *soundFont;
    }
    void TearDown() override { fs::remove_all(dir_); }

    RenderedWav renderAndRead(const Song& song, std::optional<int> program, RenderOutcome* out = nullptr) {
        const fs::path wav = dir_ / "song.wav";
        const RenderOutcome outcome = renderSong(song, wav.string(), soundFont_, program);
        if (out) *out = outcome;
        EXPECT_TRUE(outcome.ok) << outcome.error;
        EXPECT_EQ(outcome.error, "");
        RenderedWav read = readRenderedWav(wav);
        EXPECT_TRUE(read.valid) << read.problem;
        EXPECT_EQ(read.frames(), outcome.frames);
        return read;
    }

    fs::path dir_;
    std::string soundFont_;
};

TEST_F(SongRendering, WritesA44100HzSixteenBitStereoFile) {
    Song song;
    makeSong(song, {{72, 0.0, 0.5}});
    const RenderedWav wav = renderAndRead(song, 73);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, 44100u);
    EXPECT_EQ(wav.bits, 16);
    EXPECT_GE(wav.frames(), kRate / 2);
}

// Notes of the recognised song, as half-open tick spans.
struct FoundNote {
    int number;
    std::uint32_t start;
    std::uint32_t end;
};

std::vector<FoundNote> notesOf(const Song& song) {
    std::vector<FoundNote> found;
    for (const SongTrack& track : song.tracks) {
        std::map<int, std::uint32_t> open;
        for (std::uint32_t i = 0; i < track.eventCount; ++i) {
            const MidiEvent& e = track.events[i];
            const bool on = (e.status & 0xF0) == 0x90 && e.data2 > 0;
            const bool off = (e.status & 0xF0) == 0x80 || ((e.status & 0xF0) == 0x90 && e.data2 == 0);
            if (on) open[e.data1] = e.time;
            if (off && open.count(e.data1)) {
                found.push_back({e.data1, open[e.data1], e.time});
                open.erase(e.data1);
            }
        }
    }
    return found;
}

// Each played note must be found by the recognizer in at least 80% of the
// grid rows wholly inside it, and no other note in more than 10% of them.
// The notes are ones the default settings follow on the flutes of both the
// TimGM6mb and the FluidR3_GM soundfonts (their A4, for one, is heard partly
// as A#4, and E5 only in part on FluidR3_GM).
TEST_F(SongRendering, RenderedFluteMelodyIsRecognisedNoteByNote) {
    const std::vector<Note> melody = {
        {72, 0.0, 1.0}, {67, 1.0, 2.0}, {68, 2.0, 3.0}, {66, 3.0, 4.0}, {72, 4.0, 5.5}};
    Song song;
    makeSong(song, melody);
    const RenderedWav wav = renderAndRead(song, 73);
    ASSERT_GE(wav.frames(), static_cast<std::size_t>(5.5 * kRate));

    Song recognised;
    ASSERT_EQ(testing_support::classicSong(dir_ / "song.wav", recognised), AnalysisOutcome::Completed);
    const std::vector<FoundNote> found = notesOf(recognised);

    constexpr int kBlock = 2048;
    for (const Note& note : melody) {
        const int firstRow = static_cast<int>(std::ceil(note.start * kRate / kBlock));
        const int endRow = static_cast<int>(std::floor(note.end * kRate / kBlock));
        int rows = 0;
        int hits = 0;
        std::map<int, int> others;
        for (int row = firstRow; row < endRow; ++row) {
            ++rows;
            const std::uint32_t tick = rowToTicks(row, kBlock, kTempo, kDivision);
            for (const FoundNote& f : found) {
                if (f.start <= tick && tick < f.end) {
                    if (f.number == note.number) {
                        ++hits;
                    } else {
                        ++others[f.number];
                    }
                }
            }
        }
        ASSERT_GT(rows, 0);
        EXPECT_GE(hits * 10, rows * 8) << "note " << note.number << " at " << note.start << " s: "
                                       << hits << " of " << rows << " rows";
        for (const auto& [other, count] : others) {
            EXPECT_LE(count * 10, rows) << "note " << other << " inside note " << note.number
                                        << " at " << note.start << " s";
        }
    }
}

// Every soundfont installed where the locator looks, the one it picks first.
std::vector<std::string> installedSoundFonts() {
    std::vector<std::string> found;
    if (const auto chosen = findSoundFont()) found.push_back(*chosen);
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/share/sounds/sf2", error)) {
        if (entry.path().extension() == ".sf2" && !fs::is_symlink(entry.path()) &&
            entry.is_regular_file() &&
            fs::canonical(entry.path()) != fs::canonical(found.empty() ? entry.path() : fs::path(found[0]))) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

// The synthesizer's gain: a piano C4 at velocity 100 must be clearly audible
// and must not clip (FluidSynth clips to the 16-bit limits), on each soundfont
// the program may be given.
TEST_F(SongRendering, PianoMiddleCAtVelocity100PeaksAboveMinus20DbfsWithoutClipping) {
    Song song;
    makeSong(song, {{60, 0.0, 1.0}});
    for (const std::string& soundFont : installedSoundFonts()) {
        soundFont_ = soundFont;
        const RenderedWav wav = renderAndRead(song, 0);
        const int peak = peakOf(wav, 0, wav.frames());
        std::printf("%s: piano C4 velocity 100 peaks at %d (%.1f dBFS)\n", soundFont.c_str(), peak,
                    dbfs(peak));
        EXPECT_GT(dbfs(peak), -20.0) << soundFont << ": peak " << peak;
        EXPECT_LT(peak, 32767) << soundFont << ": the note clips";
        // Room is left for the chords a recognised score may hold.
        EXPECT_LT(dbfs(peak), -6.0) << soundFont << ": peak " << peak;
    }
}

TEST_F(SongRendering, ReleaseTailIsRenderedAfterTheLastNoteOffAndEndsInSilence) {
    Song song;
    makeSong(song, {{60, 0.0, 1.0}});
    RenderOutcome outcome;
    const RenderedWav wav = renderAndRead(song, 0, &outcome);
    const std::size_t noteOff = kRate;  // tick 768 at 120 BPM
    ASSERT_GT(wav.frames(), noteOff + kRate / 20);
    EXPECT_GT(peakOf(wav, noteOff + kRate / 50, noteOff + kRate / 20), 300)
        << "the note's release must be in the file";
    // Rendering stopped because the output fell silent, not at the cap, and
    // the last frames written are the quiet end of the tail.
    EXPECT_LT(wav.frames(), noteOff + 5 * kRate);
    EXPECT_LT(peakOf(wav, wav.frames() - kRate / 100, wav.frames()), 300);
}

TEST_F(SongRendering, EventsSoundAtTheSampleTheirTickFallsOnForTheSongsTempoAndDivision) {
    Song song;
    reset(&song);
    song.tempo = 90.0;  // 2/3 s per quarter
    song.division = 96;
    // Tick 288 is three quarters: exactly 2 s, frame 88200.
    setTrack(song, 0, {{288, 0x90, 72, 100}, {384, 0x90, 72, 0}});
    const RenderedWav wav = renderAndRead(song, 73);
    const std::size_t onset = firstSoundFrom(wav, 0);
    EXPECT_GE(onset, 88200u);
    // FluidSynth starts events on its 64-frame blocks; the attack takes a few more.
    EXPECT_LT(onset, 88200u + 64 + 256) << "onset at frame " << onset;
}

TEST_F(SongRendering, EventsAfterATempoChangeSoundAtTheirTimeThroughTheMap) {
    Song song;
    reset(&song);
    song.tempo = 120.0;  // ticks 0..768 take 1 s
    song.division = 384;
    song.tempoChanges = {{768, 60.0}};  // then a quarter a second
    // Tick 1536 is 1 s + 2 quarters at 60 = 3 s, frame 132300; on the first
    // channel and on the third, which also gets the program.
    setTrack(song, 0, {{1536, 0x90, 72, 100}, {1536, 0x92, 76, 100}, {1900, 0x90, 72, 0}, {1900, 0x92, 76, 0}});
    const RenderedWav wav = renderAndRead(song, 73);
    const std::size_t onset = firstSoundFrom(wav, 0);
    EXPECT_GE(onset, 132300u);
    EXPECT_LT(onset, 132300u + 64 + 256) << "onset at frame " << onset;
}

TEST_F(SongRendering, TheProgramGoesToEveryChannelTheSongUses) {
    // One note on the second channel alone: with the organ on every channel
    // used it is held, a piano's would decay.
    Song song;
    reset(&song);
    song.tempo = kTempo;
    song.division = kDivision;
    setTrack(song, 0, {{0, 0x91, 72, 100}, {ticksOf(1.0), 0x91, 72, 0}});
    const RenderedWav organ = renderAndRead(song, 19);
    EXPECT_GT(rmsOf(organ, 3 * kRate / 4, kRate) / rmsOf(organ, 0, kRate / 4), 0.6);
}

TEST_F(SongRendering, TracksAreMergedInTimeOrderWithEqualTimesInTrackOrder) {
    // Track 0 ends note 72 at 1 s, when track 1 starts it again. In track
    // order the end comes first and the second note sounds; the other way
    // round the end would cut the new note at once.
    Song song;
    reset(&song);
    song.tempo = kTempo;
    song.division = kDivision;
    setTrack(song, 1, {{ticksOf(1.0), 0x90, 72, 100}, {ticksOf(2.0), 0x90, 72, 0}});
    setTrack(song, 0, {{0, 0x90, 72, 100}, {ticksOf(1.0), 0x90, 72, 0}});
    const RenderedWav wav = renderAndRead(song, 19);  // organ: steady while held
    const double first = rmsOf(wav, kRate / 4, 3 * kRate / 4);
    const double second = rmsOf(wav, 5 * kRate / 4, 7 * kRate / 4);
    EXPECT_GT(first, 300.0);
    EXPECT_GT(second, 0.7 * first) << "the second note did not sound on";
}

TEST_F(SongRendering, ProgramIsSentOnTheFirstChannelBeforeTheSong) {
    Song song;
    makeSong(song, {{72, 0.0, 1.0}});
    const RenderedWav piano = renderAndRead(song, std::nullopt);
    const RenderedWav organ = renderAndRead(song, 19);
    // A piano note decays while held, an organ note does not.
    const double pianoRatio = rmsOf(piano, 3 * kRate / 4, kRate) / rmsOf(piano, 0, kRate / 4);
    const double organRatio = rmsOf(organ, 3 * kRate / 4, kRate) / rmsOf(organ, 0, kRate / 4);
    EXPECT_LT(pianoRatio, 0.6) << "no program should leave the piano";
    EXPECT_GT(organRatio, 0.6);
}

TEST_F(SongRendering, EmptySongGivesAValidFileWithoutFrames) {
    Song song;
    reset(&song);
    song.tempo = kTempo;
    song.division = kDivision;
    RenderOutcome outcome;
    const RenderedWav wav = renderAndRead(song, 73, &outcome);
    EXPECT_EQ(outcome.frames, 0u);
    EXPECT_EQ(wav.frames(), 0u);
    EXPECT_EQ(wav.channels, 2);
}

TEST_F(SongRendering, UnwritablePathFailsWithAReasonAndLeavesNoFile) {
    Song song;
    makeSong(song, {{72, 0.0, 0.5}});
    const fs::path target = dir_ / "missing" / "song.wav";
    const RenderOutcome outcome = renderSong(song, target.string(), soundFont_, 73);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error, "");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(SongRendering, UnloadableSoundFontFailsQuietlyAndKeepsTheFileThatWasThere) {
    Song song;
    makeSong(song, {{72, 0.0, 0.5}});
    const fs::path target = dir_ / "song.wav";
    // Not a soundfont at all; and a soundfont's header over nothing, which
    // FluidSynth's own loader refuses and passes on to its other loaders.
    const std::string contents[] = {"plainly not a soundfont",
                                    std::string("RIFF\x10\0\0\0sfbkLISTjunkjunk", 24)};
    for (const std::string& content : contents) {
        const fs::path bogus = dir_ / "bogus.sf2";
        std::ofstream(bogus, std::ios::binary) << content;
        std::ofstream(target) << "previous";
        testing::internal::CaptureStderr();
        const RenderOutcome outcome = renderSong(song, target.string(), bogus.string(), 73);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(outcome.ok);
        EXPECT_NE(outcome.error.find("soundfont"), std::string::npos) << outcome.error;
        EXPECT_EQ(testing_support::readFile(target), "previous");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2)
            << "a temporary file was left behind";
    }
}

TEST_F(SongRendering, ProgramOutsideTheMidiRangeIsRefusedBeforeAnythingIsWritten) {
    Song song;
    makeSong(song, {{72, 0.0, 0.5}});
    for (int program : {-1, 128}) {
        const RenderOutcome outcome = renderSong(song, (dir_ / "song.wav").string(), soundFont_, program);
        EXPECT_FALSE(outcome.ok) << program;
        EXPECT_FALSE(fs::exists(dir_ / "song.wav"));
    }
}

}  // namespace
}  // namespace selvik
