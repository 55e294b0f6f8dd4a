// The melody tracker's note model and segmentation on hand-made frames, where
// every frame's level and pitch candidates are known exactly.

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "recognition/melody/NoteSegmenter.h"
#include "recognition/melody/NoteStateTracker.h"

namespace selvik::melody {
namespace {

constexpr float kLoud = -10.0f;

struct Span {
    int note, start, end;
    bool operator==(const Span&) const = default;
};

void PrintTo(const Span& s, std::ostream* os) { *os << s.note << " [" << s.start << ", " << s.end << ")"; }

// Frames [from, to) at `level` with one candidate, or none when probability is 0.
void fill(std::vector<PitchFrame>& frames, int from, int to, float midi, float probability, float level = kLoud) {
    if (frames.size() < static_cast<std::size_t>(to)) frames.resize(static_cast<std::size_t>(to));
    for (int t = from; t < to; ++t) {
        PitchFrame& frame = frames[static_cast<std::size_t>(t)];
        frame.levelDb = level;
        frame.candidateCount = probability > 0.0f ? 1 : 0;
        frame.candidates[0] = PitchCandidate{midi, probability};
    }
}

void setStates(std::vector<std::int32_t>& states, int from, int to, int state) {
    if (states.size() < static_cast<std::size_t>(to)) states.resize(static_cast<std::size_t>(to), -1);
    for (int t = from; t < to; ++t) states[static_cast<std::size_t>(t)] = state;
}

// A track under test: the frames and the note states read from them.
struct Track {
    std::vector<PitchFrame> frames;
    std::vector<std::int32_t> states;
    // Frames [from, to) of `midi` in state `midi`.
    Track& note(int from, int to, int midi, float probability = 1.0f, float level = kLoud) {
        fill(frames, from, to, static_cast<float>(midi), probability, level);
        setStates(states, from, to, midi);
        return *this;
    }
    // Frames [from, to) without a candidate, in silence.
    Track& rest(int from, int to, float level = -90.0f) {
        fill(frames, from, to, 0.0f, 0.0f, level);
        setStates(states, from, to, -1);
        return *this;
    }
};

std::vector<Span> spans(const std::vector<MelodyNote>& notes) {
    std::vector<Span> result;
    for (const MelodyNote& n : notes) result.push_back({n.note, n.startFrame, n.endFrame});
    return result;
}

std::vector<Span> segment(const Track& track, std::vector<std::int32_t> onsets = {},
                          const SegmentSettings& settings = {}) {
    OnsetFunction function;
    function.novelty.assign(track.frames.size(), 0.0f);
    function.onsets = std::move(onsets);
    return spans(segmentNotes(track.states, function, track.frames, settings));
}

// --- the note model ---

TEST(NoteStates, LoudStretchWithoutPeriodicityHoldsTheNote) {
    // A breathy or bowed passage: as loud as the note around it, but hardly
    // periodic for 15 frames.
    std::vector<PitchFrame> frames;
    fill(frames, 0, 40, 60.0f, 1.0f);
    fill(frames, 40, 55, 60.0f, 0.05f);
    fill(frames, 55, 100, 60.0f, 1.0f);
    const std::vector<std::int32_t> held = trackNoteStates(frames, NoteStateSettings{});
    EXPECT_EQ(held, std::vector<std::int32_t>(100, 60));

    NoteStateSettings periodicOnly;
    periodicOnly.loudVoicing = 0.0;
    const std::vector<std::int32_t> broken = trackNoteStates(frames, periodicOnly);
    EXPECT_EQ(broken[47], -1);
}

TEST(NoteStates, LoudFramesWithoutAnyCandidateAreSilence) {
    std::vector<PitchFrame> frames;
    fill(frames, 0, 60, 0.0f, 0.0f);
    EXPECT_EQ(trackNoteStates(frames, NoteStateSettings{}), std::vector<std::int32_t>(60, -1));
}

TEST(NoteStates, FramesBelowTheFloorAreSilenceHoweverPeriodic) {
    std::vector<PitchFrame> frames;
    fill(frames, 0, 60, 60.0f, 1.0f, -80.0f);
    EXPECT_EQ(trackNoteStates(frames, NoteStateSettings{}), std::vector<std::int32_t>(60, -1));
}

// --- repeated notes ---

TEST(NoteSegments, BriefLossOfPeriodicityInsideASteadyNoteSplitsIt) {
    // A tongued re-attack: level and pitch unchanged, periodicity gone for
    // two frames.
    Track track;
    track.note(0, 100, 60).note(50, 52, 60, 0.05f);
    EXPECT_EQ(segment(track), (std::vector<Span>{{60, 0, 50}, {60, 50, 100}}));
}

TEST(NoteSegments, LongerLossOfPeriodicityIsNotAnAttack) {
    Track track;
    track.note(0, 100, 60).note(50, 58, 60, 0.05f);
    EXPECT_EQ(segment(track), (std::vector<Span>{{60, 0, 100}}));
}

TEST(NoteSegments, SecondBumpOfOneAttackDoesNotStartANote) {
    // Attacks at 50 and, 10 frames (58 ms) later, a second swell of the same one.
    Track track;
    track.note(0, 45, 60, 1.0f, -20.0f).note(45, 50, 60, 1.0f, -30.0f).note(50, 57, 60, 1.0f, -10.0f);
    track.note(57, 60, 60, 1.0f, -25.0f).note(60, 120, 60, 1.0f, -10.0f);
    EXPECT_EQ(segment(track, {50, 60}), (std::vector<Span>{{60, 0, 50}, {60, 50, 120}}));
}

// --- pitch changes and starts ---

TEST(NoteSegments, PitchChangeMovesBackToWhereTheOldPitchFaded) {
    // The old note fades at frame 45; the new one wins only at 60.
    Track track;
    track.note(0, 45, 60).note(45, 60, 60, 0.1f).note(60, 120, 64);
    EXPECT_EQ(segment(track), (std::vector<Span>{{60, 0, 45}, {64, 45, 120}}));
}

TEST(NoteSegments, PitchChangeMovesBackAtMostTheFadeReach) {
    // Faded 30 frames before the change: the change moves back 20 only.
    Track track;
    track.note(0, 70, 60).note(70, 100, 60, 0.1f).note(100, 160, 64);
    const std::int32_t reach = SegmentSettings{}.fadeFrames;
    EXPECT_EQ(segment(track), (std::vector<Span>{{60, 0, 100 - reach}, {64, 100 - reach, 160}}));
}

TEST(NoteSegments, RoughAttackBeforeThePitchStartsTheNoteAtItsOnset) {
    // An attack at frame 22 that has no pitch until frame 40 (105 ms later).
    Track track;
    track.rest(0, 22).rest(22, 40, kLoud).note(40, 120, 60);
    EXPECT_EQ(segment(track, {22}), (std::vector<Span>{{60, 22, 120}}));
}

TEST(NoteSegments, FarOnsetInsideTheNoteBeforeDoesNotMoveTheStart) {
    // The same onset, but it lies within the previous note: too far back for
    // the start of this one.
    Track track;
    track.rest(0, 10).note(10, 35, 55).rest(35, 40, kLoud).note(40, 120, 60);
    const std::vector<Span> notes = segment(track, {10, 22});
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1], (Span{60, 40, 120}));
}

// --- harmonic slips ---

TEST(NoteSegments, ShortPieceAnOctaveBelowWithoutAnAttackJoinsTheNote) {
    // A plucked attack heard an octave low before the pitch settles.
    Track track;
    track.note(0, 15, 48).note(15, 100, 60);
    EXPECT_EQ(segment(track, {0}), (std::vector<Span>{{60, 0, 100}}));
}

TEST(NoteSegments, TwelfthAboveAtTheEndJoinsTheNoteBeforeIt) {
    Track track;
    track.note(0, 80, 48).note(80, 100, 67);
    EXPECT_EQ(segment(track, {0}), (std::vector<Span>{{48, 0, 100}}));
}

TEST(NoteSegments, OctaveLeapWithAnAttackStaysTwoNotes) {
    Track track;
    track.note(0, 30, 48, 1.0f, -20.0f).note(30, 100, 60);
    EXPECT_EQ(segment(track, {0, 30}), (std::vector<Span>{{48, 0, 30}, {60, 30, 100}}));
}

TEST(NoteSegments, PieceOfANonHarmonicIntervalIsKept) {
    Track track;
    track.note(0, 15, 53).note(15, 100, 60);
    EXPECT_EQ(segment(track, {0}), (std::vector<Span>{{53, 0, 15}, {60, 15, 100}}));
}

}  // namespace
}  // namespace selvik::melody
