#pragma once

#include <cstdint>
#include <string>

#include "recognition/RecognitionMethod.h"

namespace selvik::app {

// The "Range recognized:" text of the classic method for the selected block
// size and number of passes, e.g. "F#3 to G9".
std::string refreshRangeLabel(std::int32_t blockSizeIndex, std::int32_t passesIndex);

// The text for `method`: its range, or, when it cannot read the loaded
// recording, why not.
std::string rangeLabel(const MethodDescriptor& method, std::int32_t blockSizeIndex, std::int32_t passesIndex,
                       bool readsRecording);

// The label's tooltip when the method cannot read the recording.
inline constexpr const char* kUnreadableReason =
    "The spectral method reads only 44100 Hz PCM WAV files (mono or stereo, up to 16 bits); "
    "choose another method for this recording.";

}  // namespace selvik::app
