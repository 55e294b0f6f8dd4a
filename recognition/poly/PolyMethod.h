#pragma once

#include "recognition/RecognitionMethod.h"

namespace selvik {

// The learned polyphonic recognizer: "poly" in the converter,
// "Polyphonic (learned)" in the window. It reads the threshold (0.8 is its
// tuned operating point), the shortest note and the kind of velocity.
extern const MethodDescriptor kPolyMethod;

}  // namespace selvik
