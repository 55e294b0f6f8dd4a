// The note decoder on hand-made probability grids.
#include "recognition/poly/NoteDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "recognition/poly/NetworkWeights.h"
#include "recognition/poly/LevelGrid.h"

namespace selvik::poly {
namespace {

constexpr double kFrame = 512.0 / 44100.0;
constexpr int kC4 = 60 - 21;

struct Grid {
    explicit Grid(std::int64_t frames) {
        out.frames = frames;
        const auto cells = static_cast<std::size_t>(frames * kNoteCount);
        out.onset.assign(cells, 0.0f);
        out.sounding.assign(cells, 0.0f);
        out.offset.assign(cells, 0.0f);
        out.velocity.assign(cells, 0.0f);
    }
    float& onset(std::int64_t t, int n) { return out.onset[static_cast<std::size_t>(t * kNoteCount + n)]; }
    void sound(int n, std::int64_t from, std::int64_t to, float p = 0.9f) {
        for (std::int64_t t = from; t < to; ++t) out.sounding[static_cast<std::size_t>(t * kNoteCount + n)] = p;
    }
    NetworkOutput out;
};

DecoderSettings settings(int gap = 2, int minFrames = 3) {
    DecoderSettings s;
    s.onset = 0.5f;
    s.sounding = 0.5f;
    s.gap = gap;
    s.minFrames = minFrames;
    s.peakRadius = 2;
    return s;
}

TEST(NoteDecoder, AnOnsetPeakStartsANoteThatTheSoundingProbabilityCarries) {
    Grid g(40);
    g.onset(9, kC4) = 0.3f;
    g.onset(10, kC4) = 0.9f;
    g.onset(11, kC4) = 0.3f;
    g.out.velocity[10 * kNoteCount + kC4] = 0.5f;
    g.sound(kC4, 10, 30);
    const auto notes = decodeNotes(g.out, settings(), true);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].note, 60);
    EXPECT_DOUBLE_EQ(notes[0].startSeconds, 10 * kFrame);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 30 * kFrame);
    EXPECT_EQ(notes[0].velocity, 64);
    EXPECT_EQ(decodeNotes(g.out, settings(), false)[0].velocity, 100);

    // The start follows the onset probabilities' centroid between frames.
    g.onset(9, kC4) = 0.0f;
    g.onset(11, kC4) = 0.6f;
    EXPECT_DOUBLE_EQ(decodeNotes(g.out, settings(), true)[0].startSeconds,
                     (10 + static_cast<double>(0.6f / (0.9f + 0.6f))) * kFrame);
}

TEST(NoteDecoder, OnsetTiesAndNeighboursStartOneNote) {
    Grid g(40);
    for (int t = 10; t < 13; ++t) g.onset(t, kC4) = 0.8f;   // a plateau
    g.onset(14, kC4) = 0.7f;                                // lower, within the peak radius
    g.sound(kC4, 10, 30);
    const auto notes = decodeNotes(g.out, settings(), true);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NEAR(notes[0].startSeconds, 10.5 * kFrame, 1e-9);

    Grid quiet(40);
    quiet.onset(10, kC4) = 0.45f;
    quiet.sound(kC4, 10, 30);
    EXPECT_TRUE(decodeNotes(quiet.out, settings(), true).empty());
}

TEST(NoteDecoder, ShortDipsAreBridgedLongerOnesEndTheNote) {
    Grid g(40);
    g.onset(10, kC4) = 0.9f;
    g.sound(kC4, 10, 20);
    g.sound(kC4, 22, 30);  // frames 20, 21 dip
    auto notes = decodeNotes(g.out, settings(2), true);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 30 * kFrame);
    notes = decodeNotes(g.out, settings(1), true);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 20 * kFrame);
}

TEST(NoteDecoder, ARepeatedOnsetSplitsTheNoteAndChordsComeInNoteOrder) {
    Grid g(40);
    const int e4 = kC4 + 4;
    g.onset(10, kC4) = 0.9f;
    g.onset(20, kC4) = 0.9f;
    g.onset(10, e4) = 0.9f;
    g.sound(kC4, 10, 30);
    g.sound(e4, 10, 15);
    const auto notes = decodeNotes(g.out, settings(), true);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].note, 60);
    EXPECT_EQ(notes[1].note, 64);
    EXPECT_DOUBLE_EQ(notes[1].endSeconds, 15 * kFrame);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 20 * kFrame);
    EXPECT_EQ(notes[2].note, 60);
    EXPECT_DOUBLE_EQ(notes[2].startSeconds, 20 * kFrame);
    EXPECT_DOUBLE_EQ(notes[2].endSeconds, 30 * kFrame);
}

TEST(NoteDecoder, NotesShorterThanTheMinimumAreDropped) {
    Grid g(40);
    g.onset(10, kC4) = 0.9f;
    g.sound(kC4, 10, 12);  // two frames
    EXPECT_TRUE(decodeNotes(g.out, settings(0, 3), true).empty());
    EXPECT_EQ(decodeNotes(g.out, settings(0, 2), true).size(), 1u);
    // A peak on the last frame has nothing to carry it.
    Grid edge(20);
    edge.onset(19, kC4) = 0.9f;
    EXPECT_TRUE(decodeNotes(edge.out, settings(0, 2), true).empty());
}

TEST(NoteDecoder, AHeldNoteWithoutAnOnsetPeakNeedsItsRun) {
    Grid g(60);
    g.sound(kC4, 5, 12, 0.95f);   // seven frames, no onset anywhere
    g.onset(30, kC4) = 0.9f;      // an onset note whose sounding run
    g.sound(kC4, 30, 50, 0.95f);  // is not counted twice
    DecoderSettings s = settings();
    EXPECT_EQ(decodeNotes(g.out, s, true).size(), 1u);  // held notes off
    s.held = 0.9f;
    s.heldFrames = 8;
    EXPECT_EQ(decodeNotes(g.out, s, true).size(), 1u);  // the run is too short
    s.heldFrames = 7;
    const auto notes = decodeNotes(g.out, s, true);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_DOUBLE_EQ(notes[0].startSeconds, 5 * kFrame);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 12 * kFrame);
    EXPECT_DOUBLE_EQ(notes[1].startSeconds, 30 * kFrame);
    s.held = 0.96f;
    EXPECT_EQ(decodeNotes(g.out, s, true).size(), 1u);
}

TEST(NoteDecoder, AnOffsetPeakEndsTheNoteButDoesNotChangeWhichNotesAreFound) {
    Grid g(60);
    auto offset = [&g](std::int64_t t, float p) { g.out.offset[static_cast<std::size_t>(t * kNoteCount + kC4)] = p; };
    g.onset(10, kC4) = 0.9f;
    g.sound(kC4, 10, 40);
    offset(12, 0.9f);  // too close to the start
    offset(24, 0.6f);  // a peak's flank
    offset(25, 0.7f);
    offset(26, 0.7f);  // a plateau ends the note at its first frame
    offset(33, 0.9f);
    offset(45, 0.9f);  // after the sounding end: never lengthens a note
    g.onset(30, kC4) = 0.6f;  // too weak to repeat the note, cut or not
    DecoderSettings s = settings();
    s.reonset = 0.8f;
    auto notes = decodeNotes(g.out, s, true);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 40 * kFrame);  // offsets unused
    s.offset = 0.65f;
    notes = decodeNotes(g.out, s, true);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_DOUBLE_EQ(notes[0].startSeconds, 10 * kFrame);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 25 * kFrame);
    s.offset = 0.8f;
    notes = decodeNotes(g.out, s, true);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 33 * kFrame);
    s.minFrames = 2;  // the peak at 12 is now far enough in
    EXPECT_DOUBLE_EQ(decodeNotes(g.out, s, true)[0].endSeconds, 12 * kFrame);
}

TEST(NoteDecoder, ANoteCutByAnOffsetPeakKeepsItsSoundingTailOutOfHeldNotes) {
    Grid g(60);
    g.onset(10, kC4) = 0.9f;
    g.sound(kC4, 10, 40, 0.95f);
    g.out.offset[static_cast<std::size_t>(20 * kNoteCount + kC4)] = 0.9f;
    DecoderSettings s = settings();
    s.held = 0.9f;
    s.heldFrames = 5;
    s.offset = 0.5f;
    const auto notes = decodeNotes(g.out, s, true);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_DOUBLE_EQ(notes[0].endSeconds, 20 * kFrame);
}

TEST(NoteDecoder, TheUserThresholdMovesTheTunedOnsetThreshold) {
    EXPECT_FLOAT_EQ(decoderSettingsFor(0.8f, -1.0).onset, kTunedDecoder.onset);
    EXPECT_EQ(decoderSettingsFor(0.8f, -1.0).minFrames, kTunedDecoder.minFrames);
    EXPECT_FLOAT_EQ(decoderSettingsFor(1.0f, -1.0).onset, 1.0f);
    EXPECT_LT(decoderSettingsFor(0.5f, -1.0).onset, decoderSettingsFor(0.8f, -1.0).onset);
    EXPECT_GT(decoderSettingsFor(0.9f, -1.0).onset, decoderSettingsFor(0.8f, -1.0).onset);
    EXPECT_EQ(decoderSettingsFor(0.8f, 35.0).minFrames, 3);
    EXPECT_EQ(decoderSettingsFor(0.8f, 0.0).minFrames, 1);
    EXPECT_DOUBLE_EQ(tunedMinNoteMs(), kTunedDecoder.minFrames * kFrame * 1000.0);
    EXPECT_FLOAT_EQ(decoderSettingsFor(0.3f, 40.0).offset, kTunedDecoder.offset);
}

}  // namespace
}  // namespace selvik::poly
