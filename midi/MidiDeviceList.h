#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/stream/MidiOutputPort.h"

namespace selvik {

// A source of MIDI output ports: the built-in synthesizer, the system's ports,
// or a test recorder. Listing never opens anything heavy (no soundfont load).
class MidiDeviceBackend {
public:
    virtual ~MidiDeviceBackend() = default;
    // Names of the ports this backend offers now, in its own order.
    virtual std::vector<std::string> portNames() = 0;
    // Opens port `index` if it still carries `name`; null when it cannot be
    // opened (gone, renamed, busy, no audio output for a synthesizer).
    virtual std::unique_ptr<MidiOutputPort> openPort(std::size_t index, const std::string& name) = 0;
    // Why the last openPort failed, for a developer; empty when unknown.
    virtual std::string lastError() const { return {}; }
};

// One entry of the device list.
struct MidiOutputDevice {
    std::uint32_t deviceId = 0;  // position in the list at enumeration time
    std::string name;            // kept whole, as the backend gives it
};

// The process-wide device list, built from the registered backends in their
// order. Everything here runs on the user-interface thread.

// Replaces the backends the list is built from. Takes effect at the next
// enumerateMidiDevices().
void setMidiBackends(std::vector<std::shared_ptr<MidiDeviceBackend>> backends);
const std::vector<std::shared_ptr<MidiDeviceBackend>>& midiBackends();

// Builds the list: every port of every backend, in order. Device id = position.
void enumerateMidiDevices();
// Releases the list; the selection is kept.
void freeMidiDevices();

const std::vector<MidiOutputDevice>& midiDevices();
std::int32_t midiDeviceCount();

// Index into midiDevices() used for playback; 0 at start, -1 for none.
std::int32_t selectedMidiDevice();
void setSelectedMidiDevice(std::int32_t index);

// Opens the port of the entry with this device id; null when there is no such
// entry or the backend cannot open it (its name changed, for instance).
// `why`, when given, receives the backend's reason.
std::unique_ptr<MidiOutputPort> openMidiDevice(std::uint32_t deviceId, std::string* why = nullptr);

}  // namespace selvik
