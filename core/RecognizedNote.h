#pragma once

#include <cstdint>
#include <vector>

namespace selvik {

// One point of a note's sounding pitch: `cents` above (negative: below) the
// equal-tempered pitch of the note's number, at `seconds` from the start of
// the recording.
struct PitchPoint {
    double seconds = 0.0;
    float cents = 0.0f;
};

// One note as a recognition method reports it, in the recording's own time.
// This is the record that recognition and the song share: the methods fill
// it, and the song is built from it.
struct RecognizedNote {
    double startSeconds = 0.0;  // onset, seconds from the start of the recording
    double endSeconds = 0.0;    // release; above startSeconds
    std::uint8_t note = 0;      // MIDI note number 0..127
    std::uint8_t velocity = 100;  // 1..127
    // The sounding pitch over the note, in time order and within
    // [startSeconds, endSeconds]; empty when the method does not follow it.
    std::vector<PitchPoint> pitch;
};

}  // namespace selvik
