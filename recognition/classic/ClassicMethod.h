#pragma once

#include <cstdint>
#include <string>

#include "core/ProgressIndicator.h"
#include "recognition/RecognitionMethod.h"
#include "recognition/classic/Recognizer.h"

namespace selvik {

// The classic block-spectrum method: "classic" in the converter, "Spectral
// (classic)" in the window, the default of both.
extern const MethodDescriptor kClassicMethod;

// The classic analysis on the recognizer's signal:
//   1. the settings go to the recognizer's setters in the order block size,
//      polyphony, threshold, window type, subsampling (a refused value is
//      replaced by its default after the setter's message), and `progress`
//      becomes its progress indicator;
//   2. the grid is allocated ("Not enough memory for score data" and
//      GridOutOfMemory when it cannot be);
//   3. one recognition pass per decimation factor 1, 2, 4, 8 up to
//      settings.passes, each over the band just below the previous one,
//      starting at 12000 Hz;
//   4. the grid rows that the signal's samples fill (its count / block size,
//      not its padded length) become notes: repeated slots removed, each run
//      of a note one note of velocity 100, laid on the 120 BPM grid of 384
//      ticks per quarter note, its times in seconds being those ticks' exact
//      times.
// The grid stays with the recognizer afterwards. OutOfMemory when the notes
// could not be made.
MethodResult runClassicAnalysis(Recognizer& recognizer, const MethodSettings& settings,
                                ProgressIndicator* progress);

// The notes the classic method reaches with `passes` passes over blocks of
// `blockSize` samples: the lowest note of the last pass, " to G9" (the top
// note of every pass); "F#3 to G9" at the defaults.
std::string classicRange(std::int32_t blockSize, std::int32_t passes);

}  // namespace selvik
