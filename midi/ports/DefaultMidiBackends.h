#pragma once

#include <memory>
#include <vector>

#include "midi/MidiDeviceList.h"

namespace selvik {

// The backends of the program's device list, in list order: the built-in
// synthesizer first (so that it is the default device whenever a soundfont is
// installed), then the system's MIDI ports.
std::vector<std::shared_ptr<MidiDeviceBackend>> defaultMidiBackends();

}  // namespace selvik
