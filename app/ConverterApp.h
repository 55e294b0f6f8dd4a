#pragma once

#include <QApplication>

#include "midi/PlaybackEngine.h"

namespace selvik::app {

// The application: runs the main window modally and ends when it closes.
// There is no other top-level window and nothing is saved.
class ConverterApp {
public:
    ConverterApp(int& argc, char** argv);

    // Runs the main window to its end. Always false: there is nothing to do
    // after the window, so the program then ends.
    bool initInstance();
    // initInstance(), then the program's exit status.
    int run();

private:
    QApplication application_;
    PlaybackEngine engine_;
};

}  // namespace selvik::app
