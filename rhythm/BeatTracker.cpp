#include "rhythm/BeatTracker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "rhythm/MeterGuess.h"
#include "rhythm/OnsetEnvelope.h"

namespace selvik::rhythm {

namespace {

// The beats come this long after the attacks that make them (measured on
// rendered pieces): the rise is taken over 20 ms, and the window must be
// well into the new sound to see it; the notes' starts pull the other way.
constexpr double kEnvelopeLateSeconds = 0.003;

// Triple meters at this many beats a minute or more may be compound ones.
constexpr double kFastestTriple = 150.0;
constexpr double kFewestHalfBeats = 0.15;
constexpr std::size_t kFewestNotes = 16;
// The sound must show the half beats too before the beat is doubled.
constexpr double kStrongHalfBeats = 0.45;

std::vector<double> differences(const std::vector<double>& values) {
    std::vector<double> out;
    for (std::size_t i = 1; i < values.size(); ++i) out.push_back(values[i] - values[i - 1]);
    return out;
}

double median(std::vector<double> values) {
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    return values[middle];
}

// How many note starts lie half-way between the beats for each start on a
// beat (within 50 ms, or an eighth of the beat when that is less); 0 with
// fewer than 16 notes. Music puts more starts on its beats than half-way
// between them, so a beat whose halves hold as many starts is too slow.
double startsOnHalfBeats(const std::vector<double>& beats, const std::vector<RecognizedNote>& notes) {
    if (notes.size() < kFewestNotes || beats.size() < 3) return 0.0;
    std::size_t on = 0, half = 0;
    for (const RecognizedNote& note : notes) {
        const double frame = note.startSeconds * kFramesPerSecond;
        const auto next = std::lower_bound(beats.begin(), beats.end(), frame);
        if (next == beats.begin() || next == beats.end()) continue;
        const double before = *(next - 1), after = *next;
        const double reach = std::min(0.05 * kFramesPerSecond, (after - before) / 8.0);
        const double middle = 0.5 * (before + after);
        if (frame - before <= reach || after - frame <= reach) {
            ++on;
        } else if (std::abs(frame - middle) <= reach) {
            ++half;
        }
    }
    return on > 0 ? static_cast<double>(half) / static_cast<double>(on) : 0.0;
}

// The envelope's mean peak half-way between the beats against its mean peak
// on them (within two frames).
double halfBeatStrength(const std::vector<double>& beats, const OnsetEnvelope& envelope) {
    const std::vector<float>& v = envelope.values;
    auto peak = [&v](double frame) {
        const auto centre = static_cast<long>(std::lround(frame));
        double best = 0.0;
        for (long t = std::max(0L, centre - 2); t <= std::min(static_cast<long>(v.size()) - 1, centre + 2); ++t) {
            best = std::max(best, static_cast<double>(v[static_cast<std::size_t>(t)]));
        }
        return best;
    };
    double on = 0.0, half = 0.0;
    for (std::size_t i = 0; i + 1 < beats.size(); ++i) {
        on += peak(beats[i]);
        half += peak(0.5 * (beats[i] + beats[i + 1]));
    }
    return on > 0.0 ? half / on : 0.0;
}

std::int32_t framesOfNotes(const std::vector<RecognizedNote>& notes) {
    double end = 0.0;
    for (const RecognizedNote& note : notes) {
        if (std::isfinite(note.endSeconds)) end = std::max(end, note.endSeconds);
    }
    return static_cast<std::int32_t>(std::min(end, 1e6) * kFramesPerSecond) + 1;
}

}  // namespace

BeatGrid trackBeats(const float* samples, std::int32_t count, std::int32_t sampleRate,
                    const std::vector<RecognizedNote>& notes, const BeatTrackerSettings& settings) {
    BeatGrid grid;
    const RecordingOnsets heard = recordingOnsets(samples, count, sampleRate);
    const auto frames = heard.all.values.empty() ? framesOfNotes(notes)
                                                 : static_cast<std::int32_t>(heard.all.values.size());
    const OnsetEnvelope written = noteOnsets(notes, frames);
    const OnsetEnvelope envelope = combineOnsets(heard.all, written, notes.empty() ? 0.0 : settings.noteWeight);
    if (countOnsets(envelope) < settings.leastOnsets) return grid;

    const TempoPath tempo = followTempo(envelope, settings.tempo);
    if (!(tempo.mainPeriod > 0.0) || tempo.clarity < settings.leastClarity) return grid;
    // Placed once on the tempogram's periods, then again, more tightly, on
    // the periods those beats show.
    std::vector<double> beats = placeBeats(envelope, tempo.period, settings.beats);
    std::vector<double> period = periodsOfBeats(beats, tempo.period);
    beats = placeBeats(envelope, period, settings.refinedBeats);
    if (beats.size() < static_cast<std::size_t>(settings.leastOnsets)) return grid;
    const bool roomToDouble = 2.0 * 60.0 * kFramesPerSecond / tempo.mainPeriod <= settings.tempo.fastestBpm;
    if (roomToDouble && startsOnHalfBeats(beats, notes) * settings.fasterBelow > 1.0 &&
        halfBeatStrength(beats, envelope) >= kStrongHalfBeats) {
        for (double& p : period) p *= 0.5;
        beats = placeBeats(envelope, period, settings.refinedBeats);
    }
    beats = evenBeats(beats, periodsOfBeats(beats, period));

    MeterGuess meter = guessMeter(beats, envelope, heard.low, notes);
    // A fast pulse in threes with hardly a note between its beats is the
    // eighths of a compound meter: its beats are every third one.
    const double bpm = 60.0 * kFramesPerSecond / median(differences(beats));
    if (meter.meter == TimeSignature{3, 4} && bpm >= kFastestTriple && notes.size() >= kFewestNotes &&
        startsOnHalfBeats(beats, notes) <= kFewestHalfBeats) {
        std::vector<double> dotted;
        for (std::size_t i = meter.firstDownbeat % 3; i < beats.size(); i += 3) dotted.push_back(beats[i]);
        if (dotted.size() >= static_cast<std::size_t>(settings.leastOnsets)) {
            const MeterGuess regrouped = guessMeter(dotted, envelope, heard.low, notes);
            if (regrouped.meter.compound()) {
                beats = std::move(dotted);
                meter = regrouped;
            }
        }
    }
    grid.steady = true;
    grid.meter = meter.meter;
    grid.firstDownbeat = meter.firstDownbeat;
    grid.beats.reserve(beats.size());
    for (double frame : beats) grid.beats.push_back(std::max(0.0, frameSeconds(frame) - kEnvelopeLateSeconds));
    std::vector<double> intervals;
    for (std::size_t i = 1; i < grid.beats.size(); ++i) intervals.push_back(grid.beats[i] - grid.beats[i - 1]);
    // The mean of the intervals near their median: the beats lie on 10 ms
    // frames unless refined, and a median of such steps is a step off.
    const double typical = median(intervals);
    double sum = 0.0;
    int counted = 0;
    for (double interval : intervals) {
        if (std::abs(interval / typical - 1.0) > 0.1) continue;
        sum += interval;
        ++counted;
    }
    grid.beatsPerMinute = 60.0 * counted / sum;
    return grid;
}

}  // namespace selvik::rhythm
