#include "recognition/poly/PolyMethod.h"

#include <new>
#include <string>

#include "core/NoteName.h"
#include "recognition/poly/PolyTranscriber.h"

namespace selvik {

namespace {

// The network's outputs span the piano's keys.
constexpr int kLowestNote = 21;
constexpr int kHighestNote = 108;

MethodResult recognizePoly(const Signal& recording, const MethodSettings& settings, const MethodRun& run) {
    MethodResult result;
    result.applied = settings;
    if (recording.count() <= 0 || recording.samples() == nullptr) return result;
    poly::PolySettings polySettings;
    polySettings.threshold = settings.threshold;
    polySettings.minNoteMs = settings.minNoteMs;
    polySettings.loudnessVelocity = settings.loudnessVelocity;
    try {
        result.notes = poly::transcribe(recording.samples(), recording.count(), polySettings, run.progress, run.cancel);
    } catch (const std::bad_alloc&) {
        result.notes.clear();
        result.outcome = MethodOutcome::OutOfMemory;
        return result;
    }
    // The transcriber gives up with no notes when cancelled; only the flag
    // tells that apart from a recording without notes.
    result.outcome = run.cancel != nullptr && run.cancel->load() ? MethodOutcome::Cancelled : MethodOutcome::Completed;
    if (result.outcome == MethodOutcome::Cancelled) result.notes.clear();
    return result;
}

std::string polyRange(const MethodSettings&) { return noteName(kLowestNote) + " to " + noteName(kHighestNote); }

}  // namespace

const MethodDescriptor kPolyMethod = {
    "poly",
    "Polyphonic (learned)",
    "a learned recognizer for chords and several voices",
    kThresholdControl | kMinNoteControl | kVelocityControl,
    false,
    "how certain a note's start must be: 0.8 (the default) is the operating point tuned on the training "
    "material's validation split; the onset threshold is the tuned one raised to the power 5 (1 - value), "
    "so higher values keep fewer notes and lower values more",
    &polyRange,
    &recognizePoly,
};

}  // namespace selvik
