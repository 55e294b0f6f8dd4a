#include "midi/MidiDeviceList.h"

namespace selvik {

namespace {

struct DeviceListState {
    std::vector<std::shared_ptr<MidiDeviceBackend>> backends;
    std::vector<MidiOutputDevice> devices;
    // For each device, the backend and the port's index within it.
    std::vector<std::pair<std::shared_ptr<MidiDeviceBackend>, std::size_t>> origins;
    std::int32_t selected = 0;
};

DeviceListState& state() {
    static DeviceListState instance;
    return instance;
}

}  // namespace

void setMidiBackends(std::vector<std::shared_ptr<MidiDeviceBackend>> backends) {
    state().backends = std::move(backends);
}

const std::vector<std::shared_ptr<MidiDeviceBackend>>& midiBackends() { return state().backends; }

void enumerateMidiDevices() {
    DeviceListState& s = state();
    s.devices.clear();
    s.origins.clear();
    for (const auto& backend : s.backends) {
        if (!backend) continue;
        const std::vector<std::string> names = backend->portNames();
        for (std::size_t i = 0; i < names.size(); ++i) {
            s.devices.push_back({static_cast<std::uint32_t>(s.devices.size()), names[i]});
            s.origins.emplace_back(backend, i);
        }
    }
}

void freeMidiDevices() {
    state().devices.clear();
    state().devices.shrink_to_fit();
    state().origins.clear();
}

const std::vector<MidiOutputDevice>& midiDevices() { return state().devices; }

std::int32_t midiDeviceCount() { return static_cast<std::int32_t>(state().devices.size()); }

std::int32_t selectedMidiDevice() { return state().selected; }

void setSelectedMidiDevice(std::int32_t index) { state().selected = index; }

std::unique_ptr<MidiOutputPort> openMidiDevice(std::uint32_t deviceId, std::string* why) {
    DeviceListState& s = state();
    for (std::size_t i = 0; i < s.devices.size(); ++i) {
        if (s.devices[i].deviceId != deviceId) continue;
        auto& [backend, index] = s.origins[i];
        auto port = backend->openPort(index, s.devices[i].name);
        if (!port && why) *why = backend->lastError();
        return port;
    }
    if (why) *why = "no device " + std::to_string(deviceId) + " in the list";
    return nullptr;
}

}  // namespace selvik
