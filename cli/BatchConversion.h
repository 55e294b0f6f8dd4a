#pragma once

#include <atomic>
#include <cstdio>

#include "cli/ConverterOptions.h"

namespace selvik::cli {

// Converts every input of `options`, options.jobs of them at once.
//
// With one job the inputs are converted one after the other, each with its
// own progress bar, its texts written as they arise, and a method may use a
// worker thread per core. With more, each input is converted on a thread of
// its own (its method on that thread alone), its texts are held back and
// written once it and every input before it have finished, so that standard
// output, standard error and the files are those of the one-by-one run; one
// progress line on `err` stands for the whole batch. After `interrupted`
// every job stops at its next step and no further input starts.
// Returns the highest ExitStatus, or 130 when interrupted.
int convertAll(const ConverterOptions& options, std::FILE* out, std::FILE* err, bool showProgress,
               const std::atomic<bool>& interrupted);

}  // namespace selvik::cli
