#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/RecognizedNote.h"
#include "recognition/poly/Network.h"

namespace selvik::poly {

// How the network's probabilities become notes, note number by note number:
//  - an onset peak starts a note: a frame whose onset probability reaches
//    `onset`, is above every earlier frame within `peakRadius` frames and
//    not below any later one (so a plateau starts one note, at its first
//    frame);
//  - the sounding probability carries it: the note lasts while it reaches
//    `sounding`, dips of up to `gap` frames tolerated, and at most until the
//    next onset peak of the same note that reaches `reonset` (a repeated
//    note; a weaker peak inside a sounding note is passed over, as a bow
//    change or vibrato); it ends after its last frame at the threshold, its
//    onset frame counting as one;
//  - notes shorter than `minFrames` frames are dropped;
//  - with offset > 0, a note's end moves earlier to its first offset peak
//    (a frame whose offset probability reaches `offset`, above the frame
//    before and not below the one after) at least minFrames (and one)
//    frames after its start and before the end the sounding gives: the note
//    is still followed as above, so which notes are found does not change,
//    only where they end (the sounding output lingers over a release or a
//    room's tail, the offset output marks where the note was let go);
//  - with heldFrames > 0, every run of at least heldFrames frames outside
//    those notes in which the sounding probability reaches `held` is a note
//    too (a soft attack whose onset peak was missed), from its first frame to
//    the frame after its last; a note cut short by an offset peak keeps the
//    frames up to its sounding end out of such runs.
// The start is the peak frame's time moved by the centroid of the onset
// probabilities of it and its two neighbours (less than half a frame); the
// end is the time of the frame after the last one. Velocity is the
// network's velocity output at the peak frame, times 127, rounded, 1..127.
//
// recognition/poly/training/decode.py does exactly the same in Python for
// training; a test checks both agree on the exported fixture.
struct DecoderSettings {
    float onset = 0.5f;
    float sounding = 0.5f;
    std::int32_t gap = 2;
    std::int32_t minFrames = 3;
    std::int32_t peakRadius = 2;
    float held = 0.9f;
    std::int32_t heldFrames = 0;  // 0: no notes without an onset peak
    float reonset = 0.0f;         // 0: every onset peak repeats a sounding note
    float offset = 0.0f;          // 0: offset peaks do not end notes
};

// The user's threshold (0..1) mapped to the decoder: the onset threshold is
//     tuned onset threshold ^ (5 (1 - threshold))
// so 0.8 gives the operating point tuned on the validation split, higher
// values ask for more certain onsets (1.0 keeps only certain ones) and
// lower values let less certain ones through (0.5 squares and roots the
// tuned value: 0.5 -> 0.18; 0.0 gives its fifth power). The other settings
// are the tuned ones; minNoteMs >= 0 replaces the tuned shortest note
// (rounded to frames, at least one).
DecoderSettings decoderSettingsFor(float threshold, double minNoteMs);

// The shortest note of the tuned settings, in milliseconds.
double tunedMinNoteMs();

// Notes in time order (then by note number). With loudnessVelocity false
// every note has velocity 100.
std::vector<RecognizedNote> decodeNotes(const NetworkOutput& probabilities,
                                        const DecoderSettings& settings, bool loudnessVelocity);

// The same decoder, fed one frame at a time as the network gives them: it
// keeps a few frames and, per note number, the state of the note it follows
// (with held notes on, also the frames of a note still open), so memory
// does not grow with the recording. decodeNotes is this stream over a whole
// output.
class NoteDecoderStream {
public:
    NoteDecoderStream(std::int64_t frames, const DecoderSettings& settings, bool loudnessVelocity);
    ~NoteDecoderStream();
    NoteDecoderStream(const NoteDecoderStream&) = delete;
    NoteDecoderStream& operator=(const NoteDecoderStream&) = delete;

    // The next frame's probabilities, 88 values each (note 21 first).
    void push(const float* onset, const float* sounding, const float* offset, const float* velocity);
    // The notes, once every frame has been pushed.
    std::vector<RecognizedNote> finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace selvik::poly
