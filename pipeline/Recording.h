#pragma once

#include "signal/Signal.h"

namespace selvik {

// A recording as the recognition methods take it: mono samples at 44100 Hz,
// normalised to a peak of 1, in a Signal (whose padding the methods ignore).
struct Recording {
    Signal signal;
    // The classic WAV reader reads the file, so the classic method may
    // analyse it; its samples are then exactly that reader's values.
    bool classicReadable = false;
};

}  // namespace selvik
