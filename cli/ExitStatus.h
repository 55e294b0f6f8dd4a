#pragma once

namespace selvik::cli {

// Exit statuses of selvik-convert. With several inputs the highest one that
// occurred is returned.
enum ExitStatus : int {
    kExitOk = 0,              // everything done
    kExitInputUnreadable = 1, // an input could not be read
    kExitUsage = 2,           // a usage error
    kExitNothingWritten = 3,  // nothing to write for an input, or the output could not be written
    kExitUnavailable = 4,     // an output device, soundfont or audio output is unavailable
    kExitInterrupted = 130,   // interrupted by Ctrl-C
};

}  // namespace selvik::cli
