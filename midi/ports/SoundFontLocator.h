#pragma once

#include <optional>
#include <string>

namespace selvik {

// The General MIDI soundfont the built-in synthesizer and the renderer use.
//
// SELVIK_SOUNDFONT, when set and not empty, decides alone: its path if that is
// a readable regular file, otherwise none (so a wrong setting is noticed rather
// than silently replaced). Without it, Debian's default-GM.sf2 alternative,
// then the TimGM6mb soundfont; none when neither is there. Only looks at the
// files; nothing is loaded.
std::optional<std::string> findSoundFont();

}  // namespace selvik
