#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/ProgressIndicator.h"
#include "core/RecognizedNote.h"

namespace selvik::poly {

// The learned polyphonic recognizer: a log-frequency spectrogram
// (LevelGrid.h), a small convolutional network trained on generated music
// (Network.h, weights compiled in) and a note decoder (NoteDecoder.h).
struct PolySettings {
    // The user's threshold 0..1; 0.8 is the operating point tuned on the
    // validation split, higher gives fewer notes, lower more (the mapping is
    // described at decoderSettingsFor in NoteDecoder.h).
    float threshold = 0.8f;
    // Shortest note kept, milliseconds; negative: the tuned length
    // (tunedMinNoteMs()).
    double minNoteMs = -1.0;
    // Velocity from the network's estimate of each note's loudness, else 100.
    bool loudnessVelocity = true;
};

// samples: mono, 44100 Hz, normalised to a peak of 1 (count may be 0).
// Returns the notes in time order (then by note number); their pitch
// contours are empty. `progress` (optional) runs over the range it is given
// as the work goes on; when `cancel` (optional) becomes true the work stops
// and the result is empty. One thread; several may run at once.
std::vector<RecognizedNote> transcribe(const float* samples, std::int64_t count,
                                       const PolySettings& settings, ProgressIndicator* progress,
                                       const std::atomic<bool>* cancel);

}  // namespace selvik::poly
