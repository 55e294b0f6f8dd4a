#pragma once

#include <vector>

#include "core/RecognizedNote.h"
#include "recognition/melody/NoteSegmenter.h"
#include "recognition/melody/PitchCandidates.h"

namespace selvik::melody {

// The sounding pitch of a note from the frames it spans: in each frame the
// candidate nearest to the pitch followed so far (starting from the note's
// own), within four semitones of the note, is taken; frames without one are
// left out; a running median over five of the taken frames removes single
// slips; the points lie at their frames' times, within [startSeconds,
// endSeconds), as cents relative to the note's number.
std::vector<PitchPoint> noteContour(const std::vector<PitchFrame>& frames, const MelodyNote& note,
                                    double startSeconds, double endSeconds);

}  // namespace selvik::melody
