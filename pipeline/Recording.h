#pragma once

#include "signal/Signal.h"

namespace selvik {

// A recording as the recognition methods take it: mono samples at 44100 Hz,
// normalised to a peak of 1, in a Signal (whose padding the methods ignore).
struct Recording {
    Signal signal;
    // The classic WAV reader reads the file, so the classic method may
    // analyse it.
    bool classicReadable = false;
    // The samples are exactly those the classic reader gives: always when the
    // classic reader loaded the file, and when the audio-file reader read a
    // file the classic reader reads, unless its channels cancelled out when
    // mixed and one channel was taken instead.
    bool classicValues = false;
};

}  // namespace selvik
