#include "recognition/melody/MelodyTracker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "core/NoteName.h"
#include "recognition/melody/MelodyFrames.h"
#include "recognition/melody/NoteContour.h"
#include "recognition/melody/NoteSegmenter.h"
#include "recognition/melody/NoteStateTracker.h"
#include "recognition/melody/OnsetDetector.h"
#include "recognition/melody/PitchCandidates.h"

namespace selvik {

namespace {

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

bool cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(); }

MethodResult recognizeMelody(const Signal& recording, const MethodSettings& settings, const MethodRun& run) {
    MelodyTrackerParameters parameters;
    parameters.minNoteMs = settings.minNoteMs;
    parameters.loudnessVelocity = settings.loudnessVelocity;
    // The slider gives the tracker its sensitivity with the same value it
    // gives the classic method's threshold.
    parameters.sensitivity = settings.threshold;
    MethodResult result = runMelodyTracker(recording, parameters, run.progress, run.cancel);
    result.applied = settings;
    return result;
}

std::string melodyRange(const MethodSettings&) { return melodyTrackerRange(); }

}  // namespace

const MethodDescriptor kMelodyMethod = {
    "melody",
    "Melody tracker",
    "a tracker for recordings of one line at a time",
    kThresholdControl | kMinNoteControl | kVelocityControl,
    false,
    "sensitivity: the level below the loudest moment under which sound counts as silence, "
    "-60 dB at 0.8 (the default), 30 dB less for each 0.1 less",
    &melodyRange,
    &recognizeMelody,
};

MethodResult runMelodyTracker(const Signal& signal, const MelodyTrackerParameters& parameters,
                              ProgressIndicator* progress, const std::atomic<bool>* cancel) {
    MethodResult result;
    if (signal.count() <= 0 || signal.samples() == nullptr) return result;
    using namespace melody;

    float sensitivity = parameters.sensitivity;
    if (!(sensitivity >= 0.0f && sensitivity <= 1.0f)) sensitivity = kDefaultSensitivity;
    const double minNoteMs = std::isfinite(parameters.minNoteMs) ? std::max(0.0, parameters.minNoteMs) : 60.0;

    if (progress != nullptr) {
        progress->setRange(0, 3);
        progress->setPosition(0);
    }
    try {
        const std::vector<PitchFrame> frames = estimatePitchCandidates(signal);
        if (progress != nullptr) progress->setPosition(1);
        if (cancelled(cancel)) return MethodResult{MethodOutcome::Cancelled, {}, {}};
        const OnsetFunction onsets = detectOnsets(signal, OnsetSettings{});
        if (progress != nullptr) progress->setPosition(2);
        if (cancelled(cancel)) return MethodResult{MethodOutcome::Cancelled, {}, {}};

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
        result.notes.reserve(notes.size());
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
            RecognizedNote recognized;
            recognized.note = static_cast<std::uint8_t>(note.note);
            recognized.velocity = parameters.loudnessVelocity ? velocityForLevel(note.levelDb) : 100;
            recognized.startSeconds = std::max(0.0, start);
            recognized.endSeconds = end;
            recognized.pitch = noteContour(frames, note, recognized.startSeconds, end);
            result.notes.push_back(std::move(recognized));
        }
    } catch (const std::bad_alloc&) {
        return MethodResult{MethodOutcome::OutOfMemory, {}, {}};
    }
    if (progress != nullptr) progress->setPosition(3);
    result.outcome = MethodOutcome::Completed;
    return result;
}

std::string melodyTrackerRange() {
    return noteName(melody::kLowestNote) + " to " + noteName(melody::kHighestNote);
}

}  // namespace selvik
