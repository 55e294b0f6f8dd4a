#include "core/NoteName.h"

#include <cstdio>

namespace selvik {

std::string noteName(std::int32_t note) {
    static const char* const kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                           "F#", "G",  "G#", "A",  "A#", "B"};
    const std::int32_t m = note & 0x7F;
    char text[8];
    std::snprintf(text, sizeof text, "%s%d", kNames[m % 12], m / 12 - 1);
    return text;
}

}  // namespace selvik
