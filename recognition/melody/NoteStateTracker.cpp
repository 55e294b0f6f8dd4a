#include "recognition/melody/NoteStateTracker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>

#include "recognition/melody/MelodyFrames.h"

namespace selvik::melody {

namespace {

constexpr double kVoicingRampDb = 6.0;
// Keeps every likelihood above zero, so that no path is ever impossible.
constexpr double kLikelihoodFloor = 1e-6;
constexpr std::int32_t kSilence = kNoteCount;  // state index of silence
constexpr std::int32_t kStates = kNoteCount + 1;

}  // namespace

std::vector<std::int32_t> trackNoteStates(const std::vector<PitchFrame>& frames,
                                          const NoteStateSettings& settings) {
    const std::size_t n = frames.size();
    std::vector<std::int32_t> path(n, -1);
    if (n == 0) return path;

    const double stay = std::log(1.0 - settings.changeProbability);
    // Another pitch: half the change probability spread over the other notes,
    // nearer ones preferred (melodies move mostly by small steps).
    std::vector<double> jump(static_cast<std::size_t>(kNoteCount));
    {
        double total = 0.0;
        for (std::int32_t d = 1; d < kNoteCount; ++d) total += 2.0 * std::exp(-d / 12.0);
        for (std::int32_t d = 0; d < kNoteCount; ++d) {
            jump[static_cast<std::size_t>(d)] =
                std::log(0.5 * settings.changeProbability * std::exp(-d / 12.0) / total);
        }
    }
    const double toSilence = std::log(0.5 * settings.changeProbability);
    const double silenceStay = std::log(1.0 - settings.startProbability);
    const double fromSilence = std::log(settings.startProbability / kNoteCount);
    const double inverseSpread = 1.0 / (2.0 * settings.pitchSpreadCents * settings.pitchSpreadCents);

    std::vector<double> score(kStates), next(kStates), likelihood(kStates);
    // Every entry of frames 1 .. n - 1 is written before it is read, and
    // frame 0's never are: no need to zero them first.
    const std::unique_ptr<std::uint8_t[]> back(new std::uint8_t[n * static_cast<std::size_t>(kStates)]);

    auto observe = [&](const PitchFrame& frame) {
        const double voicing = std::clamp((frame.levelDb - settings.silenceFloorDb) / kVoicingRampDb, 0.0, 1.0);
        const double voiced = std::min(1.0, frame.periodicity());
        const double pVoiced = voicing * (voiced + settings.loudVoicing * (1.0 - voiced));
        const double scale = voiced > 0.0 ? pVoiced / voiced : 0.0;
        for (std::int32_t s = 0; s < kNoteCount; ++s) {
            double sum = 0.0;
            for (std::int32_t c = 0; c < frame.candidateCount; ++c) {
                const PitchCandidate& candidate = frame.candidates[static_cast<std::size_t>(c)];
                const double cents = 100.0 * (candidate.midi - (kLowestNote + s));
                if (std::fabs(cents) < 300.0) sum += candidate.probability * std::exp(-cents * cents * inverseSpread);
            }
            likelihood[static_cast<std::size_t>(s)] = std::log(scale * sum + kLikelihoodFloor);
        }
        likelihood[kSilence] = std::log(std::max(0.0, 1.0 - pVoiced) + kLikelihoodFloor);
    };

    observe(frames[0]);
    for (std::int32_t s = 0; s < kStates; ++s) {
        score[static_cast<std::size_t>(s)] = (s == kSilence ? 0.0 : fromSilence) + likelihood[static_cast<std::size_t>(s)];
    }
    for (std::size_t t = 1; t < n; ++t) {
        observe(frames[t]);
        std::uint8_t* from = &back[t * kStates];
        for (std::int32_t s = 0; s < kNoteCount; ++s) {
            double best = score[static_cast<std::size_t>(s)] + stay;
            std::int32_t arg = s;
            const double viaSilence = score[kSilence] + fromSilence;
            if (viaSilence > best) { best = viaSilence; arg = kSilence; }
            for (std::int32_t p = 0; p < kNoteCount; ++p) {
                if (p == s) continue;
                const double v = score[static_cast<std::size_t>(p)] + jump[static_cast<std::size_t>(std::abs(p - s))];
                if (v > best) { best = v; arg = p; }
            }
            next[static_cast<std::size_t>(s)] = best + likelihood[static_cast<std::size_t>(s)];
            from[s] = static_cast<std::uint8_t>(arg);
        }
        {
            double best = score[kSilence] + silenceStay;
            std::int32_t arg = kSilence;
            for (std::int32_t p = 0; p < kNoteCount; ++p) {
                const double v = score[static_cast<std::size_t>(p)] + toSilence;
                if (v > best) { best = v; arg = p; }
            }
            next[kSilence] = best + likelihood[kSilence];
            from[kSilence] = static_cast<std::uint8_t>(arg);
        }
        // Scores only matter relative to each other; keep them near zero.
        const double top = *std::max_element(next.begin(), next.end());
        for (std::int32_t s = 0; s < kStates; ++s) score[static_cast<std::size_t>(s)] = next[static_cast<std::size_t>(s)] - top;
    }
    std::int32_t state = static_cast<std::int32_t>(std::max_element(score.begin(), score.end()) - score.begin());
    for (std::size_t t = n; t-- > 0;) {
        path[t] = state == kSilence ? -1 : kLowestNote + state;
        if (t > 0) state = back[t * kStates + static_cast<std::size_t>(state)];
    }
    return path;
}

}  // namespace selvik::melody
