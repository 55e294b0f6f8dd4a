#pragma once

#include <string>

#include "core/ProgressIndicator.h"
#include "recognition/RecognitionMethod.h"
#include "signal/Signal.h"

namespace selvik {

// The settings of the melody tracker, the method for recordings that hold one
// line at a time.
struct MelodyTrackerParameters {
    // Shortest note kept, in milliseconds; shorter pieces are merged into a
    // neighbouring note they touch, or dropped when they stand alone.
    double minNoteMs = 60.0;
    // true: velocity 1..127 from the note's level in dB; false: every velocity 100.
    bool loudnessVelocity = true;
    // 0..1, the value the threshold slider gives (the same float as the
    // classic threshold, 0.8 at the slider's start position). Like the classic
    // threshold, a higher value asks more of a sound before it counts: it
    // raises the level, relative to the loudest moment of the recording, below
    // which frames are taken as silence. 0.8 is the tuned default (-60 dB);
    // each 0.1 moves that floor by 30 dB (1.0: only the loudest moment
    // counts). Values outside 0..1, NaN included, are taken as 0.8.
    float sensitivity = 0.8f;
};

// The melody tracker: "melody" in the converter, "Melody tracker" in the window.
extern const MethodDescriptor kMelodyMethod;

// Transcribes the signal (mono, 44100 Hz, normalised to a peak of 1) into
// notes, in time order; a note that runs into the next one ends where that
// one starts. Each note carries its sounding pitch (noteContour). `progress`
// may be null; it is set to the range 0..3 and moved on after each stage
// (pitch, onsets, notes). NotRun for an empty signal,
// OutOfMemory when memory ran out, Cancelled when `cancel` (may be null) was
// raised between stages, Completed otherwise.
MethodResult runMelodyTracker(const Signal& signal, const MelodyTrackerParameters& parameters,
                              ProgressIndicator* progress, const std::atomic<bool>* cancel = nullptr);

// The range of notes the tracker can report, as the "Range recognized:" label
// shows it: "C2 to C7".
std::string melodyTrackerRange();

}  // namespace selvik
