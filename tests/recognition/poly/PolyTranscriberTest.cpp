// The whole recognizer on short rendered pieces (FluidSynth and TimGM6mb,
// a training source) and synthesized sounds: exact cases it must get right,
// at the defaults the converter and the window give the method.
#include "recognition/poly/PolyTranscriber.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "RenderedMusic.h"
#include "recognition/poly/PolyMethod.h"
#include "signal/Signal.h"

namespace selvik::poly {
namespace {

using test::PlayedNote;

std::vector<RecognizedNote> transcribeSignal(const Signal& signal) {
    MethodResult result = kPolyMethod.recognize(signal, MethodSettings{}, MethodRun{});
    EXPECT_EQ(result.outcome, signal.count() > 0 ? MethodOutcome::Completed : MethodOutcome::NotRun);
    return result.notes;
}

std::string describe(const std::vector<RecognizedNote>& notes) {
    std::string text;
    for (const RecognizedNote& n : notes) {
        text += std::to_string(n.note) + "@" + std::to_string(n.startSeconds).substr(0, 5) + "-" +
                std::to_string(n.endSeconds).substr(0, 5) + " ";
    }
    return text;
}

// Every played note found once (same note, onset within 50 ms) and, when
// `exactly`, nothing else.
void expectFound(const std::vector<PlayedNote>& played, const std::vector<RecognizedNote>& found, bool exactly) {
    std::vector<bool> used(found.size(), false);
    for (const PlayedNote& p : played) {
        bool matched = false;
        for (std::size_t i = 0; i < found.size() && !matched; ++i) {
            if (!used[i] && found[i].note == p.note && std::fabs(found[i].startSeconds - p.start) <= 0.05) {
                used[i] = matched = true;
            }
        }
        EXPECT_TRUE(matched) << "note " << p.note << " at " << p.start << " s not found in " << describe(found);
    }
    for (std::size_t i = 0; i < found.size() && exactly; ++i) {
        EXPECT_TRUE(used[i]) << "extra note " << int(found[i].note) << " at " << found[i].startSeconds << " s in "
                             << describe(found);
    }
}

void expectTranscribed(const std::vector<PlayedNote>& played, const std::vector<int>& programs,
                       bool exactly = true) {
    Signal signal;
    ASSERT_TRUE(test::renderNotes(played, programs, signal)) << "fluidsynth could not render the piece";
    expectFound(played, transcribeSignal(signal), exactly);
}

// C major on the piano, then A minor in the second inversion.
const std::vector<PlayedNote> kTriads = {{0, 60, 0.2, 1.2}, {0, 64, 0.2, 1.2}, {0, 67, 0.2, 1.2},
                                         {0, 64, 1.4, 2.4}, {0, 69, 1.4, 2.4}, {0, 72, 1.4, 2.4}};

// A rising clarinet line and a falling string line pass through each other.
std::vector<PlayedNote> crossingVoices() {
    std::vector<PlayedNote> played;
    const int up[] = {57, 60, 64, 67, 71};
    const int down[] = {72, 69, 65, 62, 59};
    for (int i = 0; i < 5; ++i) {
        played.push_back({0, up[i], 0.2 + 0.5 * i, 0.65 + 0.5 * i});
        played.push_back({1, down[i], 0.2 + 0.5 * i, 0.65 + 0.5 * i});
    }
    return played;
}

TEST(PolyTranscriber, ATriadGivesItsThreeNotes) { expectTranscribed(kTriads, {0}, false); }

TEST(PolyTranscriber, TwoCrossingVoicesKeepTheirNotes) { expectTranscribed(crossingVoices(), {71, 48}, false); }

// The cases below are what the network must learn next; the compiled-in one
// fails them. It adds short notes an octave above two notes of the first
// triad, a short A4 where the lines pass through E4 and F4 a semitone apart,
// and misses the upper note of the last octave. Enable each when a network
// passes it.
TEST(PolyTranscriber, DISABLED_ATriadGivesItsThreeNotesAndNothingElse) { expectTranscribed(kTriads, {0}); }

TEST(PolyTranscriber, DISABLED_TwoCrossingVoicesKeepTheirNotesAndNothingElse) {
    expectTranscribed(crossingVoices(), {71, 48});
}

TEST(PolyTranscriber, DISABLED_AnOctaveDoublingGivesBothNotes) {
    expectTranscribed({{0, 48, 0.2, 0.9}, {0, 60, 0.2, 0.9}, {0, 53, 1.0, 1.7}, {0, 65, 1.0, 1.7},
                       {0, 55, 1.8, 2.6}, {0, 67, 1.8, 2.6}},
                      {0});
}

TEST(PolyTranscriber, ASingleLineGivesItsNotes) {
    std::vector<PlayedNote> played;
    const int line[] = {67, 69, 71, 72, 74, 72, 71, 67};
    for (int i = 0; i < 8; ++i) played.push_back({0, line[i], 0.2 + 0.3 * i, 0.45 + 0.3 * i});
    expectTranscribed(played, {40});  // violin
}

TEST(PolyTranscriber, SilenceNoiseAndDrumsGiveNoNotes) {
    Signal silence;
    ASSERT_EQ(silence.create(44100 * 2), SignalStatus::NoError);
    EXPECT_EQ(describe(transcribeSignal(silence)), "");

    Signal noise;
    ASSERT_EQ(noise.create(44100 * 2), SignalStatus::NoError);
    std::uint32_t state = 12345;
    for (std::int32_t i = 0; i < noise.count(); ++i) {
        state = state * 1664525u + 1013904223u;
        noise.samples()[i] = static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
    }
    noise.normalize();
    EXPECT_EQ(describe(transcribeSignal(noise)), "");

    // Kick, snare and closed hi-hat on the drum channel.
    std::vector<PlayedNote> drums;
    for (int beat = 0; beat < 8; ++beat) {
        const double t = 0.2 + 0.25 * beat;
        drums.push_back({9, beat % 2 == 0 ? 36 : 38, t, t + 0.1});
        drums.push_back({9, 42, t, t + 0.1});
    }
    Signal kit;
    ASSERT_TRUE(test::renderNotes(drums, {}, kit));
    EXPECT_EQ(describe(transcribeSignal(kit)), "");
}

TEST(PolyTranscriber, ReportsProgressAndStopsWhenCancelled) {
    Signal signal;
    ASSERT_EQ(signal.create(44100 * 3), SignalStatus::NoError);
    for (std::int32_t i = 0; i < signal.count(); ++i) {
        signal.samples()[i] = static_cast<float>(0.5 * std::sin(6.283185307179586 * 440.0 * i / 44100.0));
    }
    struct Progress : ProgressIndicator {
        void setRange(std::int32_t, std::int32_t maximum) override { top = maximum; }
        void setPosition(std::int32_t position) override { last = position; ++calls; }
        std::int32_t top = -1, last = -1, calls = 0;
    } progress;
    transcribe(signal.samples(), signal.count(), PolySettings{}, &progress, nullptr);
    EXPECT_GT(progress.calls, 2);
    EXPECT_EQ(progress.last, progress.top);

    const std::atomic<bool> cancel{true};
    EXPECT_TRUE(transcribe(signal.samples(), signal.count(), PolySettings{}, nullptr, &cancel).empty());
}

}  // namespace
}  // namespace selvik::poly
