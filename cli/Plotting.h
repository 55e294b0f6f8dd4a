#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "midi/Song.h"
#include "signal/Signal.h"

class QGuiApplication;

namespace selvik::cli {

// Qt's offscreen platform, for drawing pictures on a machine without a
// display, for as long as the object lives. Made only for --plot, so a plain
// conversion starts no GUI at all.
class OffscreenGui {
public:
    OffscreenGui();
    ~OffscreenGui();
    OffscreenGui(const OffscreenGui&) = delete;
    OffscreenGui& operator=(const OffscreenGui&) = delete;

private:
    std::unique_ptr<QGuiApplication> application_;
};

// Writes the --plot picture of `width` x `height` pixels: the recording's
// spectrogram with the song's notes over it, as the desktop program's piano
// roll draws them. Needs an OffscreenGui (or another QGuiApplication). A
// failure goes through showMessage; returns an ExitStatus.
int plotSong(const Signal& signal, const Song& song, const std::string& path, int width, int height);

}  // namespace selvik::cli
