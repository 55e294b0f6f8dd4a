#pragma once

#include <vector>

#include "midi/Song.h"

namespace selvik {

// One line of the song's grid on the piano roll.
struct RollBeat {
    double seconds;
    bool barLine;  // true at the start of a bar, false on the other beats
};

// The beats of a song that states a time signature, in seconds through its
// tempo map, from tick 0 to its end time: one a counted beat (a quarter note,
// a dotted quarter in 6/8), every bar's first beat a bar line. Empty for a
// song without a time signature, which has no bars to show.
std::vector<RollBeat> rollBeats(const Song& song);

}  // namespace selvik
