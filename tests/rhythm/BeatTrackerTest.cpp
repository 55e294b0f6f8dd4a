// The beat tracker on sounds whose pulse is known: clicks, a waltz, a tempo
// step, and sounds without a pulse.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "midi/TempoFromBeats.h"
#include "rhythm/BeatTracker.h"

namespace selvik::rhythm {
namespace {

constexpr std::int32_t kRate = 44100;

// A sound of `seconds` to which strokes are added.
struct Sound {
    explicit Sound(double seconds) : samples(static_cast<std::size_t>(seconds * kRate), 0.0f) {}

    // A click: a 1 kHz burst of 15 ms that dies away.
    void click(double at, double level = 0.8) { tone(at, 1000.0, 0.015, level, 0.004); }

    // A sine of `seconds` at `hz`, starting at `at`, decaying with `decay` seconds (0: held).
    void tone(double at, double hz, double seconds, double level, double decay = 0.0) {
        const auto first = static_cast<std::size_t>(at * kRate);
        const auto count = static_cast<std::size_t>(seconds * kRate);
        for (std::size_t i = 0; i < count && first + i < samples.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double envelope = decay > 0.0 ? std::exp(-t / decay) : std::min(1.0, t / 0.005);
            samples[first + i] += static_cast<float>(level * envelope * std::sin(2.0 * std::numbers::pi * hz * t));
        }
    }

    BeatGrid track(const std::vector<RecognizedNote>& notes = {}) const {
        return trackBeats(samples.data(), static_cast<std::int32_t>(samples.size()), kRate, notes);
    }

    std::vector<float> samples;
};

// The beat nearest to `seconds`.
double nearestBeat(const BeatGrid& grid, double seconds) {
    double best = 1e9;
    for (double beat : grid.beats) {
        if (std::abs(beat - seconds) < std::abs(best - seconds)) best = beat;
    }
    return best;
}

void expectNoPulse(const BeatGrid& grid) {
    EXPECT_FALSE(grid.steady);
    EXPECT_TRUE(grid.beats.empty());
    EXPECT_EQ(grid.beatsPerMinute, 120.0);
    EXPECT_EQ(grid.meter, (TimeSignature{4, 4}));
}

TEST(BeatTracker, ClicksAt100BpmGive100BpmWithTheBeatsOnTheClicks) {
    Sound sound(20.0);
    std::vector<double> clicks;
    for (double at = 0.5; at < 19.5; at += 0.6) {
        sound.click(at);
        clicks.push_back(at);
    }
    const BeatGrid grid = sound.track();
    ASSERT_TRUE(grid.steady);
    EXPECT_NEAR(grid.beatsPerMinute, 100.0, 1.0);
    EXPECT_NEAR(grid.quarterTempo(), 100.0, 1.0);
    // Every click has a beat within 15 ms, and there is no beat between clicks.
    for (double click : clicks) EXPECT_NEAR(nearestBeat(grid, click), click, 0.015) << "the click at " << click;
    EXPECT_GE(grid.beats.size(), clicks.size() - 1);
    EXPECT_LE(grid.beats.size(), clicks.size() + 1);
}

TEST(BeatTracker, AWaltzPatternGivesThreeFourWithItsDownbeatsOnTheBass) {
    // A low note on each bar's first beat, a softer chord on the other two.
    Sound sound(18.0);
    std::vector<double> bars;
    for (int beat = 0; beat < 33; ++beat) {
        const double at = 0.4 + 0.5 * beat;
        if (beat % 3 == 0) {
            sound.tone(at, 98.0, 0.45, 0.5, 0.3);
            sound.tone(at, 196.0, 0.45, 0.25, 0.3);
            bars.push_back(at);
        } else {
            for (double hz : {392.0, 493.9, 587.3}) sound.tone(at, hz, 0.2, 0.12, 0.1);
        }
    }
    const BeatGrid grid = sound.track();
    ASSERT_TRUE(grid.steady);
    EXPECT_NEAR(grid.beatsPerMinute, 120.0, 1.5);
    EXPECT_EQ(grid.meter, (TimeSignature{3, 4}));
    ASSERT_LT(grid.firstDownbeat, grid.beats.size());
    // The first downbeat is a bass note, and so is every third beat after it.
    for (std::size_t i = grid.firstDownbeat; i < grid.beats.size(); i += 3) {
        double nearestBar = 1e9;
        for (double bar : bars) {
            if (std::abs(bar - grid.beats[i]) < std::abs(nearestBar - grid.beats[i])) nearestBar = bar;
        }
        EXPECT_NEAR(grid.beats[i], nearestBar, 0.03) << "downbeat " << i;
    }
}

TEST(BeatTracker, EighthsInThreesGiveSixEightCountedInDottedQuarters) {
    // 6/8 at 96 dotted quarters a minute: a bass note on each bar's first
    // eighth, a lighter one on its fourth, a soft click on the others.
    Sound sound(20.0);
    const double eighth = 60.0 / 96.0 / 3.0;
    for (int e = 0; e < 84; ++e) {
        const double at = 0.3 + eighth * e;
        if (e % 6 == 0) {
            sound.tone(at, 98.0, 0.4, 0.6, 0.25);
        } else if (e % 6 == 3) {
            sound.tone(at, 147.0, 0.3, 0.35, 0.2);
        } else {
            sound.click(at, 0.15);
        }
    }
    const BeatGrid grid = sound.track();
    ASSERT_TRUE(grid.steady);
    EXPECT_EQ(grid.meter, (TimeSignature{6, 8}));
    EXPECT_NEAR(grid.beatsPerMinute, 96.0, 1.0);
    EXPECT_NEAR(grid.quarterTempo(), 144.0, 1.5);
    ASSERT_LT(grid.firstDownbeat, grid.beats.size());
    const double firstBar = grid.beats[grid.firstDownbeat] - 0.3;
    EXPECT_NEAR(std::remainder(firstBar, 6 * eighth), 0.0, 0.03) << "the downbeats are the bars' first eighths";
}

TEST(BeatTracker, ATempoStepGivesTwoTempos) {
    Sound sound(26.0);
    double at = 0.5;
    for (; at < 13.0; at += 0.6) sound.click(at);  // 100 BPM
    for (; at < 25.5; at += 60.0 / 130.0) sound.click(at);  // then 130 BPM
    const BeatGrid grid = sound.track();
    ASSERT_TRUE(grid.steady);
    // The song's tempos from its first downbeat on (the time before it is a
    // bar of its own).
    const SongTempo tempo = tempoFromBeats(grid, 384);
    ASSERT_GT(grid.beats[grid.firstDownbeat], 0.0);
    std::vector<double> tempos;
    for (const TempoChange& change : tempo.changes) tempos.push_back(change.tempo);
    ASSERT_EQ(tempos.size(), 2u) << "one tempo before the step, one after";
    EXPECT_NEAR(tempos[0], 100.0, 1.0);
    EXPECT_NEAR(tempos[1], 130.0, 1.3);
}

TEST(BeatTracker, SilenceGives120BpmAndNoError) {
    expectNoPulse(Sound(8.0).track());
    expectNoPulse(trackBeats(nullptr, 0, kRate, {}));
}

TEST(BeatTracker, SoundsWithoutAPulseGive120BpmInFourFour) {
    Sound drone(8.0);
    drone.tone(0.2, 220.0, 7.5, 0.5);
    expectNoPulse(drone.track());

    Sound three(8.0);
    for (double at : {1.0, 3.0, 5.0}) three.click(at);
    expectNoPulse(three.track());

    // Free time: clicks at intervals drawn from 0.12 s to 1.5 s.
    Sound free(20.0);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> interval(0.12, 1.5);
    for (double at = 0.3; at < 19.5; at += interval(random)) free.click(at);
    expectNoPulse(free.track());
}

TEST(BeatTracker, NotesAloneGiveThePulseOfTheirStarts) {
    // No samples: the notes' starts are the only onsets.
    std::vector<RecognizedNote> notes;
    for (int i = 0; i < 30; ++i) {
        RecognizedNote note;
        note.startSeconds = 1.0 + 0.75 * i;  // 80 BPM
        note.endSeconds = note.startSeconds + 0.5;
        note.note = static_cast<std::uint8_t>(60 + i % 5);
        notes.push_back(note);
    }
    const BeatGrid grid = trackBeats(nullptr, 0, kRate, notes);
    ASSERT_TRUE(grid.steady);
    EXPECT_NEAR(grid.beatsPerMinute, 80.0, 1.0);
    EXPECT_NEAR(nearestBeat(grid, 1.0 + 0.75 * 10), 1.0 + 0.75 * 10, 0.015);
}

}  // namespace
}  // namespace selvik::rhythm
