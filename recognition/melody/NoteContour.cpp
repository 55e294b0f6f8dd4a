#include "recognition/melody/NoteContour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "recognition/melody/MelodyFrames.h"

namespace selvik::melody {

namespace {

constexpr double kReachSemitones = 4.0;
constexpr float kLeastProbability = 0.02f;
constexpr std::size_t kMedianSpan = 5;

}  // namespace

std::vector<PitchPoint> noteContour(const std::vector<PitchFrame>& frames, const MelodyNote& note,
                                    double startSeconds, double endSeconds) {
    struct Taken {
        double seconds;
        double midi;
    };
    std::vector<Taken> taken;
    double followed = note.note;
    const std::int32_t last = std::min<std::int32_t>(note.endFrame, static_cast<std::int32_t>(frames.size()));
    for (std::int32_t f = std::max(0, note.startFrame); f < last; ++f) {
        const double seconds = frameSeconds(f);
        if (seconds < startSeconds || seconds >= endSeconds) continue;
        const PitchFrame& frame = frames[static_cast<std::size_t>(f)];
        double best = 0.0;
        double distance = kReachSemitones;
        bool found = false;
        for (std::int32_t c = 0; c < frame.candidateCount; ++c) {
            const PitchCandidate& candidate = frame.candidates[static_cast<std::size_t>(c)];
            if (candidate.probability < kLeastProbability) continue;
            if (std::abs(candidate.midi - note.note) > kReachSemitones) continue;
            const double d = std::abs(candidate.midi - followed);
            if (d < distance) {
                distance = d;
                best = candidate.midi;
                found = true;
            }
        }
        if (!found) continue;
        taken.push_back({seconds, best});
        followed = best;
    }

    std::vector<PitchPoint> points;
    points.reserve(taken.size());
    std::array<double, kMedianSpan> window{};
    for (std::size_t i = 0; i < taken.size(); ++i) {
        const std::size_t from = i >= kMedianSpan / 2 ? i - kMedianSpan / 2 : 0;
        const std::size_t to = std::min(taken.size(), i + kMedianSpan / 2 + 1);
        std::size_t n = 0;
        for (std::size_t j = from; j < to; ++j) window[n++] = taken[j].midi;
        std::nth_element(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(n / 2), window.begin() + static_cast<std::ptrdiff_t>(n));
        const double midi = window[n / 2];
        points.push_back({taken[i].seconds, static_cast<float>(100.0 * (midi - note.note))});
    }
    return points;
}

}  // namespace selvik::melody
