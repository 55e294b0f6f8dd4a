#include "recognition/MelodyTracker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "midi/ScoreConversion.h"
#include "recognition/MelodyFrames.h"
#include "recognition/NoteSegmenter.h"
#include "recognition/NoteStateTracker.h"
#include "recognition/OnsetDetector.h"
#include "recognition/PitchCandidates.h"

namespace selvik {

namespace {

constexpr double kSongTempo = 120.0;
constexpr std::uint16_t kSongDivision = 384;
constexpr double kTicksPerSecond = kSongTempo / 60.0 * kSongDivision;

constexpr float kDefaultSensitivity = 0.8f;
// Silence floor at the default sensitivity, and its change per unit of sensitivity.
constexpr double kDefaultFloorDb = -60.0;
constexpr double kFloorDbPerUnit = 300.0;

// Time of the frame grid against the sound, measured on rendered melodies:
// the frames of a note start about 11 ms after its onset and, even with the
// tail cut, reach some 40 ms past its release.
constexpr double kStartShiftSeconds = -0.011;
constexpr double kEndShiftSeconds = -0.040;

// A frame's RMS level as a velocity. The level is taken relative to a
// full-scale sine (whose RMS is -3 dB), the usual full-scale reference, and
// General MIDI synthesizers play velocity v at roughly (v / 127)^2 of full
// amplitude, so the inverse is 127 * 10^(dB / 40).
constexpr double kFullScaleSineDb = -3.0103;
std::uint8_t velocityForLevel(double levelDb) {
    const double v = 127.0 * std::pow(10.0, (levelDb - kFullScaleSineDb) / 40.0);
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 1L, 127L));
}

std::int32_t secondsToTicks(double seconds) {
    return static_cast<std::int32_t>(std::max(0L, std::lround(seconds * kTicksPerSecond)));
}

AnalysisOutcome songOutOfMemory(Song& song) {
    clear(song);
    reset(&song);
    return AnalysisOutcome::SongOutOfMemory;
}

}  // namespace

AnalysisOutcome runMelodyTracker(const Signal& signal, Song& song, ProgressIndicator* progress,
                                 const MelodyTrackerParameters& parameters) {
    if (signal.count() <= 0 || signal.samples() == nullptr) return AnalysisOutcome::NotRun;
    using namespace melody;

    float sensitivity = parameters.sensitivity;
    if (!(sensitivity >= 0.0f && sensitivity <= 1.0f)) sensitivity = kDefaultSensitivity;
    const double minNoteMs = std::isfinite(parameters.minNoteMs) ? std::max(0.0, parameters.minNoteMs) : 60.0;

    if (progress != nullptr) {
        progress->setRange(0, 3);
        progress->setPosition(0);
    }
    std::vector<NoteSpan> spans;
    try {
        const std::vector<PitchFrame> frames = estimatePitchCandidates(signal);
        if (progress != nullptr) progress->setPosition(1);
        const OnsetFunction onsets = detectOnsets(signal, OnsetSettings{});
        if (progress != nullptr) progress->setPosition(2);

        NoteStateSettings stateSettings;
        stateSettings.silenceFloorDb =
            kDefaultFloorDb + (static_cast<double>(sensitivity) - kDefaultSensitivity) * kFloorDbPerUnit;
        const std::vector<std::int32_t> states = trackNoteStates(frames, stateSettings);

        SegmentSettings segmentSettings;
        segmentSettings.minimumFrames = static_cast<std::int32_t>(
            std::ceil(minNoteMs / 1000.0 * kSampleRate / kHop - 1e-9));
        const std::vector<MelodyNote> notes = segmentNotes(states, onsets, frames, segmentSettings);

        // A note that runs into the next one ends where that one starts; the
        // release shift applies only before silence, and never makes a note
        // shorter than the minimum.
        spans.reserve(notes.size());
        const double minimumSeconds = minNoteMs / 1000.0;
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const MelodyNote& note = notes[i];
            const double start = frameSeconds(note.startFrame) + kStartShiftSeconds;
            double end = frameSeconds(note.endFrame) + kEndShiftSeconds;
            if (i + 1 < notes.size()) {
                const double next = frameSeconds(notes[i + 1].startFrame) + kStartShiftSeconds;
                end = notes[i + 1].startFrame == note.endFrame ? next : std::min(std::max(end, start + minimumSeconds), next);
            } else {
                end = std::max(end, start + minimumSeconds);
            }
            NoteSpan span{};
            span.note = static_cast<std::uint8_t>(note.note);
            span.velocity = parameters.loudnessVelocity ? velocityForLevel(note.levelDb) : 100;
            span.startTick = secondsToTicks(start);
            span.endTick = std::max(span.startTick + 1, secondsToTicks(end));
            spans.push_back(span);
        }
    } catch (const std::bad_alloc&) {
        return songOutOfMemory(song);
    }

    clear(song);
    reset(&song);
    song.tempo = kSongTempo;
    song.division = kSongDivision;
    if (!buildNoteTrack(song.tracks[0], spans.data(), static_cast<std::int32_t>(spans.size()))) {
        return songOutOfMemory(song);
    }
    countEvents(song);
    computeEndTime(song);
    if (!sortTracks(song)) return songOutOfMemory(song);
    if (progress != nullptr) progress->setPosition(3);
    return AnalysisOutcome::Completed;
}

std::string melodyTrackerRange() {
    return noteName(melody::kLowestNote) + " to " + noteName(melody::kHighestNote);
}

}  // namespace selvik
