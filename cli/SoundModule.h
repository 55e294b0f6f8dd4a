#pragma once

// The converter's sound outputs, built as a module of their own
// (selvik-convert-sound.so) that the converter loads only when they are asked
// for, so that a plain conversion does not load the synthesizer, MIDI, JACK,
// ALSA and SDL libraries at all.
//
// The module is built from this project's sources by the same build, so the
// table's types (Song, Signal, std::string) are the converter's own. Its
// messages go through the `show` function the converter passes in (the
// module's own message service would reach nobody).

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "midi/Song.h"
#include "signal/Signal.h"

namespace selvik::cli {

using ShowMessage = void (*)(std::string_view text);

struct SoundModule {
    // --list-devices: prints "N: NAME" lines on `out` (a note on `err` when
    // there are none). Returns an ExitStatus.
    int (*listDevices)(std::FILE* out, std::FILE* err);
    // Builds the device list for --play and checks `device` against it;
    // prints the reason on `err` and returns an ExitStatus other than 0 when
    // there is nothing to play on.
    int (*preparePlayback)(int device, std::FILE* err);
    // As playSong (cli/Playing.h), after preparePlayback.
    int (*play)(ShowMessage show, const std::string& input, Song& song, int device, std::optional<int> program,
                std::FILE* terminal, bool showProgress, const std::atomic<bool>& interrupted);
    // As renderToWav (cli/Rendering.h).
    int (*render)(ShowMessage show, const Song& song, const std::string& path, std::optional<int> program);
    // Plays the recording once on the default audio output (--listen).
    int (*listen)(ShowMessage show, const std::string& input, const Signal& signal, std::FILE* terminal,
                  bool showProgress, const std::atomic<bool>& interrupted);
};

// The module's entry point, by this name.
inline constexpr const char* kSoundModuleEntry = "selvikSoundModule";
using SoundModuleEntry = const SoundModule* (*)();

}  // namespace selvik::cli
