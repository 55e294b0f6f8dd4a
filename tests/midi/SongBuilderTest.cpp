// The song built from notes: laid on a tempo map from beats, snapped to a
// grid, and with pitch bends on channels of their own.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "core/TickTime.h"
#include "midi/SongBuilder.h"
#include "midi/SongNotes.h"
#include "midi/TempoMap.h"

namespace selvik {
namespace {

RecognizedNote note(double start, double end, int number, int velocity = 100) {
    RecognizedNote n;
    n.startSeconds = start;
    n.endSeconds = end;
    n.note = static_cast<std::uint8_t>(number);
    n.velocity = static_cast<std::uint8_t>(velocity);
    return n;
}

// Beats that speed up from 90 to 135 beats a minute halfway, in 3/4, with
// their first downbeat 0.4 s in.
BeatGrid changingBeats() {
    BeatGrid grid;
    grid.steady = true;
    grid.meter = {3, 4};
    double at = 0.4;
    for (int i = 0; i < 24; ++i, at += 60.0 / 90.0) grid.beats.push_back(at);
    for (int i = 0; i < 24; ++i, at += 60.0 / 135.0) grid.beats.push_back(at);
    return grid;
}

// Notes at random, in start order; notes of one number never overlap, so
// that each ending belongs to one start however the channels fall.
std::vector<RecognizedNote> randomNotes(int count, double seconds, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> start(0.0, seconds);
    std::uniform_real_distribution<double> length(0.03, 1.5);
    std::uniform_int_distribution<int> number(40, 90);
    std::vector<RecognizedNote> notes;
    while (static_cast<int>(notes.size()) < count) {
        const double s = start(random);
        const RecognizedNote candidate = note(s, s + length(random), number(random));
        const bool overlaps = std::any_of(notes.begin(), notes.end(), [&](const RecognizedNote& n) {
            return n.note == candidate.note && n.startSeconds < candidate.endSeconds + 0.2 &&
                   candidate.startSeconds < n.endSeconds + 0.2;
        });
        if (!overlaps) notes.push_back(candidate);
    }
    std::sort(notes.begin(), notes.end(),
              [](const RecognizedNote& a, const RecognizedNote& b) { return a.startSeconds < b.startSeconds; });
    return notes;
}

// Every event of the song's first track, by channel.
std::map<int, std::vector<MidiEvent>> eventsByChannel(const Song& song) {
    std::map<int, std::vector<MidiEvent>> channels;
    const SongTrack& track = song.tracks[0];
    for (std::uint32_t i = 0; i < track.eventCount; ++i) channels[track.events[i].status & 0x0F].push_back(track.events[i]);
    return channels;
}

// The notes as (start, end, number, velocity), channel aside, in start order.
std::vector<std::tuple<std::uint32_t, std::uint32_t, int, int>> plainNotes(const Song& song) {
    std::vector<std::tuple<std::uint32_t, std::uint32_t, int, int>> notes;
    std::map<std::pair<int, int>, std::vector<std::pair<std::uint32_t, int>>> open;
    const SongTrack& track = song.tracks[0];
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
        const MidiEvent& e = track.events[i];
        if ((e.status & 0xF0) != 0x90) continue;
        auto& started = open[{e.status & 0x0F, e.data1}];
        if (e.data2 > 0) {
            started.push_back({e.time, e.data2});
        } else {
            notes.emplace_back(started.front().first, e.time, e.data1, started.front().second);
            started.erase(started.begin());
        }
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

TEST(SongBuilder, TheDefaultsAreTheFixedGridOf120Bpm) {
    const std::vector<RecognizedNote> notes = randomNotes(200, 60.0, 1);
    Song song;
    ASSERT_TRUE(buildSong(notes, song));
    EXPECT_EQ(song.tempo, 120.0);
    EXPECT_EQ(song.division, 384);
    EXPECT_TRUE(song.tempoChanges.empty());
    EXPECT_FALSE(song.timeSignature);
    const std::vector<SongNote> built = songNotes(song);
    ASSERT_EQ(built.size(), notes.size());
    EXPECT_EQ(eventsByChannel(song).size(), 1u) << "every note on the first channel";
    std::vector<std::uint32_t> starts;
    for (const RecognizedNote& n : notes) starts.push_back(secondsToTicks(n.startSeconds, 120.0, 384));
    for (std::size_t i = 0; i < built.size(); ++i) EXPECT_EQ(built[i].startTick, starts[i]);
}

TEST(SongBuilder, NotesKeepTheirSecondsThroughTheTempoMap) {
    const std::vector<RecognizedNote> notes = randomNotes(300, 30.0, 2);
    SongTiming timing;
    timing.beats = changingBeats();
    Song song;
    ASSERT_TRUE(buildSong(notes, song, timing));
    ASSERT_EQ(song.timeSignature, (TimeSignature{3, 4}));
    ASSERT_EQ(song.tempoChanges.size(), 2u) << "the bar before the first downbeat, then the step";
    const TempoMap map = TempoMap::of(song);
    const std::vector<SongNote> built = songNotes(song);
    ASSERT_EQ(built.size(), notes.size());
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const double tick = 60.0 / (map.segmentAt(built[i].startTick).tempo * 384);
        EXPECT_NEAR(map.secondsAt(built[i].startTick), notes[i].startSeconds, tick) << "note " << i;
        const double endTick = 60.0 / (map.segmentAt(built[i].endTick).tempo * 384);
        EXPECT_NEAR(map.secondsAt(built[i].endTick), notes[i].endSeconds, endTick) << "note " << i;
    }
    // And each beat from the first downbeat falls on a quarter note.
    const std::uint32_t downbeat = song.tempoChanges[0].tick;
    EXPECT_EQ(downbeat % (3 * 384), 0u);
    for (std::size_t b = 0; b < timing.beats->beats.size(); ++b) {
        EXPECT_NEAR(map.secondsAt(static_cast<std::uint32_t>(downbeat + 384 * b)), timing.beats->beats[b], 1e-6);
    }
}

TEST(SongBuilder, QuantizedOnsetsLieOnTheGridAndNoNoteIsLost) {
    std::vector<RecognizedNote> notes = randomNotes(300, 30.0, 3);
    // Two repeats of one pitch 5 ms apart, both snapping to the same step.
    notes.push_back(note(10.0, 10.2, 100));
    notes.push_back(note(10.005, 10.3, 100));
    std::stable_sort(notes.begin(), notes.end(),
                     [](const RecognizedNote& a, const RecognizedNote& b) { return a.startSeconds < b.startSeconds; });
    for (const QuantizeGrid& grid : kQuantizeGrids) {
        SongTiming timing;
        timing.beats = changingBeats();
        timing.quantize = grid;
        Song song;
        ASSERT_TRUE(buildSong(notes, song, timing));
        const std::uint32_t step = grid.stepTicks(384);
        const std::vector<SongNote> built = songNotes(song);
        ASSERT_EQ(built.size(), notes.size()) << grid.name();
        std::map<int, std::vector<std::uint32_t>> startsOf;
        for (const SongNote& n : built) {
            EXPECT_EQ(n.startTick % step, 0u) << grid.name();
            EXPECT_EQ(n.endTick % step, 0u) << grid.name();
            EXPECT_GE(n.endTick, n.startTick + step) << grid.name();
            startsOf[n.number].push_back(n.startTick);
        }
        for (auto& [number, starts] : startsOf) {
            std::sort(starts.begin(), starts.end());
            for (std::size_t i = 1; i < starts.size(); ++i) {
                EXPECT_GE(starts[i], starts[i - 1] + step) << "note " << number << " at " << grid.name();
            }
        }
    }
}

TEST(SongBuilder, PitchBendsOnlyAddEvents) {
    std::vector<RecognizedNote> notes = randomNotes(200, 30.0, 4);
    for (RecognizedNote& n : notes) {
        for (double t = n.startSeconds; t < n.endSeconds; t += 0.0058) {
            n.pitch.push_back({t, static_cast<float>(40.0 * std::sin(2.0 * 3.14159 * 6.0 * (t - n.startSeconds)))});
        }
    }
    for (bool quantize : {false, true}) {
        SongTiming timing;
        timing.beats = changingBeats();
        if (quantize) timing.quantize = {16, false};
        Song plain, bent;
        ASSERT_TRUE(buildSong(notes, plain, timing));
        timing.pitchBends = true;
        ASSERT_TRUE(buildSong(notes, bent, timing));
        EXPECT_EQ(plainNotes(bent), plainNotes(plain));
        EXPECT_GT(bent.totalEvents, plain.totalEvents);
        EXPECT_EQ(bent.tempoChanges, plain.tempoChanges);
    }
}

TEST(SongBuilder, OverlappingNotesGetSeparateChannelsNeverTheTenth) {
    // Twelve notes sounding at once, then a note alone.
    std::vector<RecognizedNote> notes;
    for (int i = 0; i < 12; ++i) notes.push_back(note(1.0 + 0.01 * i, 3.0, 50 + i));
    notes.push_back(note(4.0, 5.0, 70));
    for (RecognizedNote& n : notes) n.pitch = {{n.startSeconds, 20.0f}, {n.startSeconds + 0.1, 30.0f}};
    SongTiming timing;
    timing.pitchBends = true;
    Song song;
    ASSERT_TRUE(buildSong(notes, song, timing));
    std::map<int, int> noteOns;
    const SongTrack& track = song.tracks[0];
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
        const MidiEvent& e = track.events[i];
        if ((e.status & 0xF0) == 0x90 && e.data2 > 0) ++noteOns[e.status & 0x0F];
    }
    EXPECT_EQ(noteOns.count(9), 0u) << "channel 10 is the drums'";
    EXPECT_EQ(noteOns.size(), 12u) << "twelve notes, twelve channels";
    EXPECT_EQ(noteOns[0], 2) << "the lone note takes the lowest free channel";
}

TEST(SongBuilder, MoreThanFifteenSoundingNotesShareChannelsOnlyWithoutBends) {
    std::vector<RecognizedNote> notes;
    for (int i = 0; i < 20; ++i) notes.push_back(note(1.0 + 0.01 * i, 3.0, 40 + i));
    // The first ten bend, the last ten do not.
    for (int i = 0; i < 10; ++i) notes[static_cast<std::size_t>(i)].pitch = {{1.0 + 0.01 * i, 50.0f}};
    SongTiming timing;
    timing.pitchBends = true;
    Song song;
    ASSERT_TRUE(buildSong(notes, song, timing));
    std::map<int, std::vector<int>> notesOn;  // channel: note numbers started on it
    std::map<int, std::vector<int>> bendValues;
    const SongTrack& track = song.tracks[0];
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
        const MidiEvent& e = track.events[i];
        if ((e.status & 0xF0) == 0x90 && e.data2 > 0) notesOn[e.status & 0x0F].push_back(e.data1);
        if ((e.status & 0xF0) == 0xE0) bendValues[e.status & 0x0F].push_back(e.data1 | (e.data2 << 7));
    }
    EXPECT_EQ(notesOn.size(), 15u);
    for (const auto& [channel, numbers] : notesOn) {
        if (numbers.size() < 2) continue;
        // A shared channel holds only notes without a bend, and stays centred.
        for (int n : numbers) EXPECT_GE(n, 50) << "channel " << channel;
        for (int v : bendValues[channel]) EXPECT_EQ(v, 8192) << "channel " << channel;
    }
}

TEST(SongBuilder, TheBendRangeIsDeclaredOnEveryChannelBeforeAnyNote) {
    std::vector<RecognizedNote> notes = {note(0.0, 1.0, 60), note(0.5, 1.5, 64)};
    notes[1].pitch = {{0.5, 0.0f}, {0.7, 290.0f}};  // a glide of three semitones
    SongTiming timing;
    timing.pitchBends = true;
    Song song;
    ASSERT_TRUE(buildSong(notes, song, timing));
    const SongTrack& track = song.tracks[0];
    const std::uint8_t declaration[][2] = {{101, 0}, {100, 0}, {6, 3}, {38, 0}, {101, 127}, {100, 127}};
    ASSERT_GE(track.eventCount, 12u);
    for (int channel = 0; channel < 2; ++channel) {
        for (int k = 0; k < 6; ++k) {
            const MidiEvent& e = track.events[channel * 6 + k];
            EXPECT_EQ(e.time, 0u);
            EXPECT_EQ(e.status, 0xB0 | channel);
            EXPECT_EQ(e.data1, declaration[k][0]);
            EXPECT_EQ(e.data2, declaration[k][1]) << "controller " << int(declaration[k][0]);
        }
    }
    // Then the first note's starting bend (centred) comes before its note-on.
    EXPECT_EQ(track.events[12].status, 0xE0);
    EXPECT_EQ(track.events[12].data1 | (track.events[12].data2 << 7), 8192);
    EXPECT_EQ(track.events[13].status, 0x90);
}

TEST(SongBuilder, AWholeToneGlideGivesABendThatReachesIt) {
    RecognizedNote glide = note(1.0, 2.0, 69);
    for (int k = 0; k <= 100; ++k) glide.pitch.push_back({1.0 + 0.01 * k, static_cast<float>(std::min(200.0, 4.0 * k))});
    SongTiming timing;
    timing.pitchBends = true;
    Song song;
    ASSERT_TRUE(buildSong({glide}, song, timing));
    const TempoMap map = TempoMap::of(song);
    std::vector<std::pair<double, int>> bends;
    const SongTrack& track = song.tracks[0];
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
        const MidiEvent& e = track.events[i];
        if ((e.status & 0xF0) == 0xE0) bends.push_back({map.secondsAt(e.time), e.data1 | (e.data2 << 7)});
    }
    ASSERT_GE(bends.size(), 10u);
    EXPECT_EQ(bends.front().second, 8192) << "it starts on the note";
    // Range 2: the top of the wheel is a whole tone.
    EXPECT_GE(bends.back().second * 200.0 / 8192.0 - 200.0, -3.0) << "it reaches the whole tone";
    for (std::size_t i = 1; i < bends.size(); ++i) {
        EXPECT_GE(bends[i].first - bends[i - 1].first, 0.010 - 1e-9) << "at most one bend per 10 ms";
        const double cents = (bends[i].second - bends[i - 1].second) * 200.0 / 8192.0;
        EXPECT_GT(std::abs(cents), 3.0 - 0.05) << "a new bend only after a change of more than 3 cents";
    }
}

}  // namespace
}  // namespace selvik
