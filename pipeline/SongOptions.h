#pragma once

#include "midi/QuantizeGrid.h"

namespace selvik {

// Where the song's tempo comes from.
enum class TempoSource {
    MethodDefault,  // the method's own: the fixed grid for a method with plainTiming, else Recording
    Recording,      // the beat tracker follows the recording's tempo and meter
    Fixed,          // one tempo, `fixedTempo`, in 4/4
};

// How the song is made from the notes, beyond the notes themselves: the
// converter's --tempo, --quantize and --pitch-bends, and the window's
// controls for them.
struct SongOptions {
    TempoSource tempo = TempoSource::MethodDefault;
    double fixedTempo = 120.0;  // quarter notes per minute, with TempoSource::Fixed
    QuantizeGrid quantize;      // off by default
    bool pitchBends = false;    // follow the notes' pitch contours with pitch bends
};

// The slowest and fastest tempo a user may give, in quarter notes per minute.
inline constexpr double kSlowestTempo = 20.0;
inline constexpr double kFastestTempo = 300.0;

}  // namespace selvik
