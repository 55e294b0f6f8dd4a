#include "rhythm/BeatTracker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "rhythm/MeterGuess.h"
#include "rhythm/OnsetEnvelope.h"

namespace selvik::rhythm {

namespace {

double median(std::vector<double> values) {
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    return values[middle];
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
    RecordingOnsets heard = recordingOnsets(samples, count, sampleRate);
    const auto frames = heard.all.values.empty() ? framesOfNotes(notes)
                                                 : static_cast<std::int32_t>(heard.all.values.size());
    const OnsetEnvelope written = noteOnsets(notes, frames);
    const OnsetEnvelope envelope = combineOnsets(heard.all, written, notes.empty() ? 0.0 : settings.noteWeight);
    if (countOnsets(envelope) < settings.leastOnsets) return grid;

    const TempoPath tempo = followTempo(envelope, settings.tempo);
    if (!(tempo.mainPeriod > 0.0) || tempo.clarity < settings.leastClarity) return grid;
    const std::vector<double> beats = placeBeats(envelope, tempo.period, settings.beats);
    if (beats.size() < static_cast<std::size_t>(settings.leastOnsets)) return grid;

    const MeterGuess meter = guessMeter(beats, envelope, heard.low, notes);
    grid.steady = true;
    grid.meter = meter.meter;
    grid.firstDownbeat = meter.firstDownbeat;
    grid.beats.reserve(beats.size());
    for (double frame : beats) grid.beats.push_back(frameSeconds(frame));
    std::vector<double> intervals;
    for (std::size_t i = 1; i < grid.beats.size(); ++i) intervals.push_back(grid.beats[i] - grid.beats[i - 1]);
    grid.beatsPerMinute = 60.0 / median(intervals);
    return grid;
}

}  // namespace selvik::rhythm
