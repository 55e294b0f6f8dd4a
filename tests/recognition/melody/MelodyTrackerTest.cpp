#include "recognition/melody/MelodyTracker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recognition/RecognitionTestSupport.h"
#include "midi/Song.h"
#include "midi/SongBuilder.h"
#include "signal/Signal.h"

namespace selvik {
namespace {

using test::kTwoPi;
using test::Lcg;
using test::RecordingProgress;
using ::testing::ElementsAre;

constexpr double kRate = 44100.0;
constexpr double kTicksPerSecond = 768.0;  // 120 BPM, 384 ticks per quarter

struct Note {
    int note;
    double start;  // seconds
    double end;
    int velocity;
};

double hz(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

// A signal of `seconds` filled by sample(t) with t in seconds, normalised as
// a loaded recording is.
void makeSignal(Signal& signal, double seconds, const std::function<double(double)>& sample) {
    const auto count = static_cast<std::int32_t>(seconds * kRate);
    ASSERT_EQ(signal.create(count), SignalStatus::NoError);
    signal.setSampleRate(44100);
    for (std::int32_t i = 0; i < count; ++i) signal.samples()[i] = static_cast<float>(sample(i / kRate));
    signal.normalize();
}

// A tone whose second partial is louder than its fundamental, as a reed or a
// bowed string has it. `phase` is the running phase of the fundamental.
double richTone(double phase) {
    return 0.3 * std::sin(phase) + 1.0 * std::sin(2 * phase) + 0.7 * std::sin(3 * phase) +
           0.5 * std::sin(4 * phase) + 0.3 * std::sin(5 * phase);
}

// A gate of `start`..`end` seconds with 10 ms ramps at both ends.
double gate(double t, double start, double end) {
    if (t < start || t > end) return 0.0;
    return std::min({1.0, (t - start) / 0.01, (end - t) / 0.01});
}

// The tracker's notes built into `song` as the conversion pipeline builds
// them; the song is left alone unless the tracker completed.
MethodOutcome runMelodyTracker(const Signal& signal, Song& song, ProgressIndicator* progress,
                               const MelodyTrackerParameters& parameters) {
    const MethodResult result = selvik::runMelodyTracker(signal, parameters, progress);
    if (result.outcome == MethodOutcome::Completed && !buildSong(result.notes, song)) return MethodOutcome::OutOfMemory;
    return result.outcome;
}

std::vector<Note> transcribe(const Signal& signal, const MelodyTrackerParameters& parameters = {}) {
    Song song;
    EXPECT_EQ(runMelodyTracker(signal, song, nullptr, parameters), MethodOutcome::Completed);
    std::vector<Note> notes;
    const SongTrack& track = song.tracks[0];
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
        const MidiEvent& e = track.events[i];
        EXPECT_EQ(e.status, 0x90);
        if (e.data2 > 0) {
            notes.push_back({e.data1, e.time / kTicksPerSecond, -1.0, e.data2});
        } else {
            for (Note& n : notes) {
                if (n.note == e.data1 && n.end < 0) n.end = e.time / kTicksPerSecond;
            }
        }
    }
    return notes;
}

std::vector<int> pitches(const std::vector<Note>& notes) {
    std::vector<int> result;
    for (const Note& n : notes) result.push_back(n.note);
    return result;
}

TEST(MelodyTracker, SteadyToneWithStrongHarmonicsGivesOneNoteAtItsFundamental) {
    Signal signal;
    // A3 (220 Hz) from 0.5 s to 1.5 s; its octave partial is the loudest.
    makeSignal(signal, 2.0, [](double t) { return gate(t, 0.5, 1.5) * richTone(kTwoPi * hz(57) * t); });
    const std::vector<Note> notes = transcribe(signal);
    ASSERT_THAT(pitches(notes), ElementsAre(57));
    EXPECT_NEAR(notes[0].start, 0.5, 0.03);
    EXPECT_NEAR(notes[0].end, 1.5, 0.05);
}

TEST(MelodyTracker, LowAndHighEndsOfTheRangeAreFound) {
    for (int note : {38, 93}) {
        Signal signal;
        makeSignal(signal, 1.5, [note](double t) { return gate(t, 0.2, 1.2) * richTone(kTwoPi * hz(note) * t); });
        EXPECT_THAT(pitches(transcribe(signal)), ElementsAre(note)) << note;
    }
}

TEST(MelodyTracker, VibratoOfThirtyCentsStaysOneNote) {
    Signal signal;
    // C5 with +-30 cents at 5.5 Hz; the phase is the integral of the frequency.
    const double f0 = hz(72);
    const double depth = std::pow(2.0, 30.0 / 1200.0) - 1.0;
    makeSignal(signal, 2.0, [=](double t) {
        const double phase = kTwoPi * f0 * (t - depth * std::cos(kTwoPi * 5.5 * t) / (kTwoPi * 5.5));
        return gate(t, 0.2, 1.8) * richTone(phase);
    });
    const std::vector<Note> notes = transcribe(signal);
    ASSERT_THAT(pitches(notes), ElementsAre(72));
    EXPECT_NEAR(notes[0].end - notes[0].start, 1.6, 0.06);
}

TEST(MelodyTracker, RepeatedNoteAfterAShortGapGivesTwoNotes) {
    Signal signal;
    // E4 for 400 ms, 40 ms of silence, E4 again.
    makeSignal(signal, 1.2, [](double t) {
        return (gate(t, 0.1, 0.5) + gate(t, 0.54, 0.94)) * richTone(kTwoPi * hz(64) * t);
    });
    const std::vector<Note> notes = transcribe(signal);
    ASSERT_THAT(pitches(notes), ElementsAre(64, 64));
    EXPECT_NEAR(notes[0].start, 0.1, 0.03);
    EXPECT_NEAR(notes[1].start, 0.54, 0.03);
    EXPECT_LE(notes[0].end, notes[1].start);
}

TEST(MelodyTracker, RestruckDecayingNoteWithoutAGapGivesTwoNotes) {
    Signal signal;
    // A plucked G3 that decays and is struck again at 0.6 s while still sounding.
    makeSignal(signal, 1.4, [](double t) {
        const double strike = t < 0.6 ? 0.1 : 0.6;
        if (t < 0.1) return 0.0;
        const double age = t - strike;
        return std::min(1.0, age / 0.003) * std::exp(-4.0 * age) * richTone(kTwoPi * hz(55) * t);
    });
    const std::vector<Note> notes = transcribe(signal);
    ASSERT_THAT(pitches(notes), ElementsAre(55, 55));
    EXPECT_NEAR(notes[1].start, 0.6, 0.03);
}

TEST(MelodyTracker, GlideGivesAFewNotesNoneShorterThanTheMinimum) {
    Signal signal;
    // A3 held, a 400 ms glide up an octave, A4 held; the phase integrates the
    // exponential glide exactly.
    const double f0 = hz(57);
    makeSignal(signal, 1.6, [=](double t) {
        const double a = 0.4, b = 0.8, k = std::log(2.0) / (b - a);
        double phase;
        if (t < a) {
            phase = f0 * t;
        } else if (t < b) {
            phase = f0 * a + f0 * (std::exp(k * (t - a)) - 1.0) / k;
        } else {
            phase = f0 * a + f0 / k + 2.0 * f0 * (t - b);
        }
        return gate(t, 0.1, 1.5) * richTone(kTwoPi * phase);
    });
    const std::vector<Note> notes = transcribe(signal);
    ASSERT_GE(notes.size(), 2u);
    EXPECT_LE(notes.size(), 5u);
    EXPECT_EQ(notes.front().note, 57);
    EXPECT_EQ(notes.back().note, 69);
    for (const Note& n : notes) EXPECT_GE(n.end - n.start, 0.06 - 1e-3) << n.note;
}

// The pitch sounding at `t` in a song of one line: the note sounding on the
// highest channel that has one, plus that channel's bend; -1 when none sounds.
double soundingPitch(const Song& song, double t) {
    const SongTrack& track = song.tracks[0];
    double pitch = -1.0;
    int bend[16] = {};
    int range = 2;
    std::int32_t noteOf[16];
    std::fill(std::begin(noteOf), std::end(noteOf), -1);
    for (std::uint32_t i = 0; i < track.eventCount && track.events[i].time / kTicksPerSecond <= t; ++i) {
        const MidiEvent& e = track.events[i];
        const int channel = e.status & 0x0F;
        if ((e.status & 0xF0) == 0xB0 && e.data1 == 6) range = e.data2;
        if ((e.status & 0xF0) == 0xE0) bend[channel] = (e.data1 | (e.data2 << 7)) - 8192;
        if ((e.status & 0xF0) == 0x90) {
            noteOf[channel] = e.data2 > 0 ? e.data1 : (noteOf[channel] == e.data1 ? -1 : noteOf[channel]);
        }
    }
    for (int c = 0; c < 16; ++c) {
        if (noteOf[c] >= 0) pitch = noteOf[c] + bend[c] * range / 8192.0;
    }
    return pitch;
}

TEST(MelodyTracker, AWholeToneGlideGivesABendThatReachesIt) {
    Signal signal;
    // A4 for 0.4 s, a 150 ms glide up a whole tone, B4 held; the phase
    // integrates the exponential glide exactly.
    const double f0 = hz(69);
    const double a = 0.5, b = 0.65, k = std::log(std::pow(2.0, 2.0 / 12.0)) / (b - a);
    makeSignal(signal, 1.6, [=](double t) {
        double phase;
        if (t < a) {
            phase = f0 * t;
        } else if (t < b) {
            phase = f0 * a + f0 * (std::exp(k * (t - a)) - 1.0) / k;
        } else {
            phase = f0 * a + f0 * (std::exp(k * (b - a)) - 1.0) / k + hz(71) * (t - b);
        }
        return gate(t, 0.1, 1.5) * richTone(kTwoPi * phase);
    });
    auto truePitch = [=](double t) { return t < a ? 69.0 : t < b ? 69.0 + 2.0 * (t - a) / (b - a) : 71.0; };
    const MethodResult result = selvik::runMelodyTracker(signal, MelodyTrackerParameters{}, nullptr);
    ASSERT_EQ(result.outcome, MethodOutcome::Completed);
    for (bool bends : {false, true}) {
        SongTiming timing;
        timing.pitchBends = bends;
        Song song;
        ASSERT_TRUE(buildSong(result.notes, song, timing));
        double worst = 0.0;
        for (double t = 0.15; t < 1.4; t += 0.005) worst = std::max(worst, std::abs(soundingPitch(song, t) - truePitch(t)));
        if (bends) {
            EXPECT_LT(worst, 0.5) << "the sounding pitch follows the glide within 50 cents";
            EXPECT_NEAR(soundingPitch(song, 0.3), 69.0, 0.05);
            EXPECT_NEAR(soundingPitch(song, 1.3), 71.0, 0.05) << "the bend reaches the whole tone";
        } else {
            EXPECT_GT(worst, 0.6) << "notes alone jump across the glide";
        }
    }
}

TEST(MelodyTracker, SilenceGivesNoNotes) {
    Signal signal;
    makeSignal(signal, 1.0, [](double) { return 0.0; });
    EXPECT_TRUE(transcribe(signal).empty());
}

TEST(MelodyTracker, WhiteNoiseGivesNoNotes) {
    Signal signal;
    Lcg noise(7);
    makeSignal(signal, 3.0, [&](double) { return noise.next(); });
    EXPECT_TRUE(transcribe(signal).empty());
}

TEST(MelodyTracker, VelocityGrowsWithLevel) {
    Signal signal;
    makeSignal(signal, 1.6, [](double t) {
        const double level = t < 0.5 ? 0.05 : (t < 1.0 ? 0.25 : 1.0);
        return level * (gate(t, 0.1, 0.4) + gate(t, 0.6, 0.9) + gate(t, 1.1, 1.4)) *
               richTone(kTwoPi * hz(60) * t);
    });
    const std::vector<Note> notes = transcribe(signal);
    ASSERT_THAT(pitches(notes), ElementsAre(60, 60, 60));
    EXPECT_LT(notes[0].velocity, notes[1].velocity);
    EXPECT_LT(notes[1].velocity, notes[2].velocity);
    // Five times the amplitude is 14 dB: sqrt(5) times the velocity, as a
    // synthesizer's square-law velocity curve gives it back.
    EXPECT_NEAR(static_cast<double>(notes[1].velocity) / notes[0].velocity, std::sqrt(5.0), 0.25);
    EXPECT_NEAR(static_cast<double>(notes[2].velocity) / notes[1].velocity, 2.0, 0.25);

    MelodyTrackerParameters fixed;
    fixed.loudnessVelocity = false;
    for (const Note& n : transcribe(signal, fixed)) EXPECT_EQ(n.velocity, 100);
}

TEST(MelodyTracker, NotesShorterThanTheMinimumAreDropped) {
    Signal signal;
    // A 40 ms blip of D5 alone.
    makeSignal(signal, 0.6, [](double t) { return gate(t, 0.2, 0.24) * richTone(kTwoPi * hz(74) * t); });
    EXPECT_TRUE(transcribe(signal).empty());
    MelodyTrackerParameters shorter;
    shorter.minNoteMs = 20.0;
    EXPECT_THAT(pitches(transcribe(signal, shorter)), ElementsAre(74));
}

TEST(MelodyTracker, HigherSensitivityValueDropsQuietNotes) {
    Signal signal;
    // A loud note, then one 40 dB quieter.
    makeSignal(signal, 1.2, [](double t) {
        return (gate(t, 0.1, 0.5) + 0.01 * gate(t, 0.7, 1.1)) * richTone(kTwoPi * hz(67) * t);
    });
    EXPECT_THAT(pitches(transcribe(signal)), ElementsAre(67, 67));
    MelodyTrackerParameters strict;
    strict.sensitivity = 0.9f;
    EXPECT_THAT(pitches(transcribe(signal, strict)), ElementsAre(67));
}

TEST(MelodyTracker, FillsTheSongLikeTheClassicAnalysis) {
    Signal signal;
    makeSignal(signal, 1.0, [](double t) { return gate(t, 0.1, 0.6) * richTone(kTwoPi * hz(62) * t); });
    Song song;
    song.tracks[3].eventCount = 0;
    song.text = "left over";
    RecordingProgress progress;
    ASSERT_EQ(runMelodyTracker(signal, song, &progress, {}), MethodOutcome::Completed);
    EXPECT_EQ(song.tempo, 120.0);
    EXPECT_EQ(song.division, 384);
    EXPECT_FALSE(song.text.has_value());
    EXPECT_EQ(song.totalEvents, 2u);
    EXPECT_EQ(song.tracks[0].eventCount, 2u);
    EXPECT_EQ(song.endTime, song.tracks[0].events[1].time);
    EXPECT_EQ(song.tracks[0].events[1].data2, 0);
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.front(), "range 0 3");
    EXPECT_EQ(progress.calls.back(), "position 3");
}

TEST(MelodyTracker, EmptySignalIsNotRunAndLeavesTheSong) {
    Signal signal;
    Song song;
    song.text = "kept";
    EXPECT_EQ(runMelodyTracker(signal, song, nullptr, {}), MethodOutcome::NotRun);
    EXPECT_EQ(song.text, "kept");
}

TEST(MelodyTrackerRange, NamesTheLowestAndHighestNoteLikeTheClassicLabel) {
    EXPECT_EQ(melodyTrackerRange(), "C2 to C7");
}

}  // namespace
}  // namespace selvik
