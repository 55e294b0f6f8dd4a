#pragma once

#include "cli/PlotModule.h"
#include "cli/SoundModule.h"

namespace selvik::cli {

// The converter's modules, loaded on first use. Null, after a message through
// showMessage saying that the module could not be loaded to `what` (e.g.
// "cannot render: ..."), when it is missing.
const SoundModule* soundModule(const char* what);
const PlotModule* plotModule(const char* what);

}  // namespace selvik::cli
