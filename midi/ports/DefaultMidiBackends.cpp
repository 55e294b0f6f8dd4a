#include "midi/ports/DefaultMidiBackends.h"

#include "midi/ports/FluidSynthBackend.h"
#include "midi/ports/RtMidiBackend.h"

namespace selvik {

std::vector<std::shared_ptr<MidiDeviceBackend>> defaultMidiBackends() {
    return {std::make_shared<FluidSynthBackend>(), std::make_shared<RtMidiBackend>()};
}

}  // namespace selvik
