#include "app/ConverterApp.h"
#include "midi/MidiDeviceList.h"
#include "midi/ports/DefaultMidiBackends.h"
#include "midi/ports/LibraryLogs.h"
#include "platform/LinuxLargePages.h"

int main(int argc, char** argv) {
    selvik::platform::installLargePages();
    selvik::silenceLibraryLogs();
    // Before the main window lists the devices.
    selvik::setMidiBackends(selvik::defaultMidiBackends());
    selvik::app::ConverterApp app(argc, argv);
    return app.run();
}
