#pragma once

namespace selvik::app {

class MainDialog;

// For scripts/screenshots: when SELVIK_SCREENSHOT_DIR is set, the window, once
// shown, writes PNGs of itself at start, after analysing SELVIK_SCREENSHOT_WAV,
// of the piano roll of that analysis, of the MIDI Setup dialog and of the
// About box into that folder, prints the dialog font's family, and closes.
// Without the variable nothing happens.
void startScreenshotTourIfAsked(MainDialog& dialog);

}  // namespace selvik::app
