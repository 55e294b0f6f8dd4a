#include "rhythm/MeterGuess.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace selvik::rhythm {

namespace {

constexpr std::int64_t kAccentReach = 3;   // frames either side of a beat
constexpr double kNoteReachSeconds = 0.06;  // a note this close starts on the beat
// 2 or 3 beats a bar must score this much more than 4 to be chosen.
constexpr double kOtherMeterMargin = 1.2;
// Beats are divided in three when the envelope a third and two thirds of the
// way through them beats the envelope half way by this factor.
constexpr double kTripleMargin = 1.5;
constexpr double kLeastSubdivision = 0.3;

double peakNear(const std::vector<float>& values, double frame, std::int64_t reach) {
    if (values.empty()) return 0.0;
    const auto centre = static_cast<std::int64_t>(std::lround(frame));
    const auto n = static_cast<std::int64_t>(values.size());
    double best = 0.0;
    for (std::int64_t t = std::max<std::int64_t>(0, centre - reach); t <= std::min(n - 1, centre + reach); ++t) {
        best = std::max(best, static_cast<double>(values[static_cast<std::size_t>(t)]));
    }
    return best;
}

// Scales a feature to mean 0 and deviation 1 over the beats (all 0 when flat).
void standardise(std::vector<double>& values) {
    double mean = 0.0;
    for (double v : values) mean += v;
    mean /= static_cast<double>(values.size());
    double variance = 0.0;
    for (double v : values) variance += (v - mean) * (v - mean);
    variance /= static_cast<double>(values.size());
    const double scale = variance > 1e-12 ? 1.0 / std::sqrt(variance) : 0.0;
    for (double& v : values) v = (v - mean) * scale;
}

std::vector<double> noteWeights(const std::vector<double>& beats, const std::vector<RecognizedNote>& notes) {
    std::vector<double> weights(beats.size(), 0.0);
    for (const RecognizedNote& note : notes) {
        const double frame = note.startSeconds * kFramesPerSecond;
        const auto at = std::lower_bound(beats.begin(), beats.end(), frame);
        std::size_t nearest = static_cast<std::size_t>(at - beats.begin());
        if (nearest == beats.size() || (nearest > 0 && frame - beats[nearest - 1] < beats[nearest] - frame)) --nearest;
        if (std::abs(beats[nearest] - frame) > kNoteReachSeconds * kFramesPerSecond) continue;
        const double length = std::clamp(note.endSeconds - note.startSeconds, 0.05, 2.0);
        const double lowness = std::clamp((96.0 - note.note) / 60.0, 0.0, 1.0);
        weights[nearest] += (note.velocity / 127.0) * (1.0 + std::log2(length / 0.05) / 4.0) * (0.5 + lowness);
    }
    return weights;
}

struct Grouping {
    double score = -1e300;
    std::size_t phase = 0;
};

Grouping bestPhase(const std::vector<double>& accent, std::size_t beatsPerBar) {
    Grouping best;
    for (std::size_t phase = 0; phase < beatsPerBar; ++phase) {
        double on = 0.0, off = 0.0;
        std::size_t onCount = 0, offCount = 0;
        for (std::size_t i = 0; i < accent.size(); ++i) {
            if (i % beatsPerBar == phase) {
                on += accent[i];
                ++onCount;
            } else {
                off += accent[i];
                ++offCount;
            }
        }
        if (onCount == 0 || offCount == 0) continue;
        const double score = on / static_cast<double>(onCount) - off / static_cast<double>(offCount);
        if (score > best.score) best = {score, phase};
    }
    return best;
}

bool dividedInThree(const std::vector<double>& beats, const std::vector<float>& all) {
    double half = 0.0, thirds = 0.0;
    for (std::size_t i = 0; i + 1 < beats.size(); ++i) {
        const double span = beats[i + 1] - beats[i];
        half += peakNear(all, beats[i] + span / 2.0, 1);
        thirds += 0.5 * (peakNear(all, beats[i] + span / 3.0, 1) + peakNear(all, beats[i] + 2.0 * span / 3.0, 1));
    }
    const double intervals = static_cast<double>(beats.size() - 1);
    return thirds / intervals > kLeastSubdivision && thirds > kTripleMargin * half;
}

}  // namespace

MeterGuess guessMeter(const std::vector<double>& beats, const OnsetEnvelope& all, const OnsetEnvelope& low,
                      const std::vector<RecognizedNote>& notes) {
    MeterGuess guess;
    if (beats.size() < 4) return guess;
    std::vector<double> accent(beats.size(), 0.0);
    std::vector<std::vector<double>> features;
    for (const OnsetEnvelope* envelope : {&all, &low}) {
        std::vector<double> feature(beats.size());
        for (std::size_t i = 0; i < beats.size(); ++i) feature[i] = peakNear(envelope->values, beats[i], kAccentReach);
        features.push_back(std::move(feature));
    }
    features.push_back(noteWeights(beats, notes));
    for (std::vector<double>& feature : features) {
        standardise(feature);
        for (std::size_t i = 0; i < beats.size(); ++i) accent[i] += feature[i];
    }

    const bool compound = dividedInThree(beats, all.values);
    if (compound) {
        guess.meter = {6, 8};
        guess.firstDownbeat = bestPhase(accent, 2).phase;
        return guess;
    }
    const Grouping two = bestPhase(accent, 2);
    const Grouping three = bestPhase(accent, 3);
    const Grouping four = bestPhase(accent, 4);
    Grouping chosen = four;
    std::uint8_t numerator = 4;
    if (three.score > kOtherMeterMargin * std::max(four.score, 0.0) && three.score >= two.score) {
        chosen = three;
        numerator = 3;
    } else if (two.score > kOtherMeterMargin * std::max(four.score, 0.0) && two.score > three.score) {
        chosen = two;
        numerator = 2;
    }
    guess.meter = {numerator, 4};
    guess.firstDownbeat = chosen.phase;
    return guess;
}

}  // namespace selvik::rhythm
