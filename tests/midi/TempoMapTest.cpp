// Ticks against seconds through a tempo map, and the map a song gets from
// a recording's beats.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/TickTime.h"
#include "midi/TempoFromBeats.h"
#include "midi/TempoMap.h"

namespace selvik {
namespace {

BeatGrid steadyBeats(double first, double period, int count, TimeSignature meter = {4, 4}, double jitter = 0.0) {
    BeatGrid grid;
    grid.steady = true;
    grid.meter = meter;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> wobble(-jitter, jitter);
    for (int i = 0; i < count; ++i) grid.beats.push_back(first + period * i + (i > 0 ? wobble(random) : 0.0));
    grid.beatsPerMinute = 60.0 / period;
    return grid;
}

TEST(TempoMap, OneTempoGivesExactlyTheOneTempoTimes) {
    const TempoMap map(120.0, {}, 384);
    const double ticksPerSecond = 384 * 120.0 / 60.0;
    for (std::uint32_t tick : {0u, 1u, 383u, 384u, 123457u, 4000000000u}) {
        EXPECT_EQ(map.secondsAt(tick), tick / ticksPerSecond);
    }
    for (double seconds : {0.0, 0.0006, 0.51, 1.022, 3.576, 1234.5678}) {
        EXPECT_EQ(map.tickAt(seconds), secondsToTicks(seconds, 120.0, 384));
    }
    EXPECT_EQ(map.tickAt(-1.0), 0u);
}

TEST(TempoMap, TicksAndSecondsRoundTripAcrossTempoChanges) {
    const TempoMap map(90.0, {{1536, 140.0}, {3072, 60.5}, {9000, 200.0}}, 384);
    // At each change the time runs on from the segment before.
    EXPECT_DOUBLE_EQ(map.secondsAt(1536), 1536 / (384 * 90.0 / 60.0));
    EXPECT_DOUBLE_EQ(map.secondsAt(3072), map.secondsAt(1536) + 1536 / (384 * 140.0 / 60.0));
    for (std::uint32_t tick = 0; tick < 20000; tick += 37) {
        EXPECT_EQ(map.tickAt(map.secondsAt(tick)), tick) << tick;
    }
    // Any time comes back within half a tick of the segment it lies in.
    for (double seconds = 0.0; seconds < 30.0; seconds += 0.0137) {
        const std::uint32_t tick = map.tickAt(seconds);
        const double tickSeconds = 60.0 / (map.segmentAt(tick).tempo * 384);
        EXPECT_LE(std::abs(map.secondsAt(tick) - seconds), 0.5 * tickSeconds + 1e-9) << seconds;
    }
}

TEST(TempoMap, AChangeOutOfOrderIsIgnoredAndOneAtTheSameTickReplaces) {
    const TempoMap map(120.0, {{1000, 100.0}, {500, 60.0}, {1000, 150.0}}, 384);
    ASSERT_EQ(map.segments().size(), 2u);
    EXPECT_EQ(map.segments()[1].tick, 1000u);
    EXPECT_EQ(map.segments()[1].tempo, 150.0);
}

TEST(TempoFromBeats, ASteadyPieceGetsOneTempoDespiteWobblyBeats) {
    // 120 beats a minute, each beat up to 8 ms off, the first on the start.
    const SongTempo tempo = tempoFromBeats(steadyBeats(0.0, 0.5, 60, {4, 4}, 0.008), 384);
    EXPECT_TRUE(tempo.changes.empty());
    EXPECT_NEAR(tempo.tempo, 120.0, 0.1);
    EXPECT_EQ(tempo.meter, (TimeSignature{4, 4}));
}

TEST(TempoFromBeats, TheFirstDownbeatOpensABarAndAnUpbeatFillsTheEndOfTheOneBefore) {
    BeatGrid grid = steadyBeats(0.3, 0.6, 40, {3, 4});
    grid.firstDownbeat = 2;  // at 1.5 s: two upbeats before it
    const SongTempo tempo = tempoFromBeats(grid, 384);
    ASSERT_EQ(tempo.changes.size(), 1u);
    // The 0.3 s before the first beat are the first beat of bar 1 in 3/4;
    // the upbeats are its second and third beats, at the piece's tempo.
    EXPECT_EQ(tempo.changes[0].tick, 384u);
    EXPECT_NEAR(tempo.tempo, 200.0, 1e-6);
    EXPECT_NEAR(tempo.changes[0].tempo, 100.0, 1e-6);
    const TempoMap map(tempo.tempo, tempo.changes, 384);
    EXPECT_NEAR(map.secondsAt(3 * 384), 1.5, 1e-9) << "the first downbeat opens bar 2";
    for (std::size_t i = 0; i < grid.beats.size(); ++i) {
        EXPECT_NEAR(map.secondsAt(static_cast<std::uint32_t>(384 + i * 384)), grid.beats[i], 1e-6);
    }

    // An upbeat right at the start: the time to the first downbeat is a bar of its own.
    grid.beats.front() = 0.0;
    const SongTempo early = tempoFromBeats(grid, 384);
    ASSERT_EQ(early.changes.size(), 1u);
    EXPECT_EQ(early.changes[0].tick, 3u * 384u);
    EXPECT_NEAR(TempoMap(early.tempo, early.changes, 384).secondsAt(3 * 384), 1.5, 1e-9);
}

TEST(TempoFromBeats, SixEightBeatsAreDottedQuarters) {
    const SongTempo tempo = tempoFromBeats(steadyBeats(0.0, 1.0, 20, {6, 8}), 384);
    EXPECT_EQ(tempo.meter, (TimeSignature{6, 8}));
    EXPECT_TRUE(tempo.changes.empty());
    EXPECT_NEAR(tempo.tempo, 90.0, 1e-6) << "60 dotted quarters are 90 quarters a minute";
}

TEST(TempoFromBeats, ATempoThatMovesForTwoBeatsIsANewTempoButOneBeatOffIsNot) {
    BeatGrid grid = steadyBeats(0.0, 0.5, 20);
    grid.beats[8] += 0.03;  // one late beat: a wobble
    for (int i = 0; i < 20; ++i) grid.beats.push_back(grid.beats.back() + 0.4);
    const SongTempo tempo = tempoFromBeats(grid, 384);
    ASSERT_EQ(tempo.changes.size(), 1u);
    EXPECT_EQ(tempo.changes[0].tick, 19u * 384u);
    EXPECT_NEAR(tempo.tempo, 120.0, 0.1);
    EXPECT_NEAR(tempo.changes[0].tempo, 150.0, 0.1);
}

TEST(TempoFromBeats, OneBeatFarOffThePulseDoesNotBendTheGrid) {
    BeatGrid grid = steadyBeats(0.0, 0.5, 30);
    grid.beats[12] += 0.15;  // a beat placed on an offbeat onset
    const SongTempo tempo = tempoFromBeats(grid, 384);
    ASSERT_TRUE(tempo.changes.empty());
    EXPECT_NEAR(tempo.tempo, 120.0, 1e-9);
    const TempoMap map(tempo.tempo, tempo.changes, 384);
    for (std::size_t i = 0; i < grid.beats.size(); ++i) {
        if (i == 12) continue;
        EXPECT_NEAR(map.secondsAt(static_cast<std::uint32_t>(i * 384)), grid.beats[i], 1e-9);
    }
}

TEST(TempoFromBeats, NoSteadyPulseGives120InFourFour) {
    BeatGrid grid = steadyBeats(0.2, 0.7, 10, {3, 4});
    grid.steady = false;
    for (const BeatGrid& g : {grid, BeatGrid{}}) {
        const SongTempo tempo = tempoFromBeats(g, 384);
        EXPECT_EQ(tempo.tempo, 120.0);
        EXPECT_TRUE(tempo.changes.empty());
        EXPECT_EQ(tempo.meter, (TimeSignature{4, 4}));
    }
}

}  // namespace
}  // namespace selvik
