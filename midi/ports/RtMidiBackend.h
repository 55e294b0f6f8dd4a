#pragma once

#include <memory>
#include <string>
#include <vector>

#include "midi/MidiDeviceList.h"

namespace selvik {

// The system's MIDI outputs through RtMidi: the ALSA sequencer's writable
// ports, then the MIDI inputs of a running JACK server, each under the name
// the system gives it.
//
// RtMidi writes to standard error when a sequencer or a server is missing,
// before an error callback can be installed, so each is probed first with its
// own library (quietly) and only then given to RtMidi. RtMidi's JACK client
// never starts a server (it opens with JackNoStartServer), so listing does not
// start one either. Without a sequencer and without a server the list is
// empty.
class RtMidiBackend final : public MidiDeviceBackend {
public:
    std::vector<std::string> portNames() override;
    // Fails unless the port at `index` still carries `name`.
    std::unique_ptr<MidiOutputPort> openPort(std::size_t index, const std::string& name) override;
    std::string lastError() const override { return lastError_; }

private:
    std::string lastError_;
};

}  // namespace selvik
