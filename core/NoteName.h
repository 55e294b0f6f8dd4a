#pragma once

#include <cstdint>
#include <string>

namespace selvik {

// Note name and octave ("C4", "F#3", "C-1"); only the low 7 bits are used.
std::string noteName(std::int32_t note);

}  // namespace selvik
