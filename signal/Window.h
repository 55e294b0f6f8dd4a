#pragma once

#include <cstdint>

#include "signal/Signal.h"
#include "signal/WindowType.h"

namespace selvik {

// Fills `window` with n samples of the given window type, x running from -0.5
// at sample 0 to 0.5 at sample n - 1; a type outside 0..2 gives zeros.
// n below 2 leaves `window` untouched. If the Signal cannot be created,
// shows "Can't create window: " followed by the status text and leaves it empty.
void makeWindow(Signal& window, std::int32_t type, std::int32_t n);

}  // namespace selvik
