#include "midi/ports/RtMidiBackend.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>

#include "midi/ports/LibraryLogs.h"
#include "midi/ports/RtMidiPort.h"

namespace selvik {

namespace {

constexpr const char* kClientName = "selvik";
constexpr const char* kOwnPortName = "midi-out";  // our end of a connection

bool alsaSequencerAvailable() {
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0) return false;
    snd_seq_close(sequencer);
    return true;
}

// JackNoStartServer, as RtMidi's own client: probing must not start a server.
bool jackServerRunning() {
    jack_status_t status{};
    jack_client_t* client = jack_client_open("selvik-probe", JackNoStartServer, &status);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

struct SystemApi {
    RtMidi::Api api;
    const char* label;
    bool (*available)();
};

constexpr SystemApi kSystemApis[] = {
    {RtMidi::LINUX_ALSA, "ALSA sequencer", &alsaSequencerAvailable},
    {RtMidi::UNIX_JACK, "JACK server", &jackServerRunning},
};

bool compiledIn(RtMidi::Api api) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

void keepError(RtMidiError::Type, const std::string& text, void* sink) {
    *static_cast<std::string*>(sink) = text;
}

// The outputs of one system API as RtMidi sees them now. `errors` receives
// RtMidi's error texts while the listing is in use.
struct ApiPorts {
    std::unique_ptr<RtMidiOut> output;
    std::vector<std::string> names;
};

// Null output when the API is not compiled into RtMidi, its system part is not
// there, or RtMidi fails; `why` then says so.
ApiPorts listApi(const SystemApi& system, std::string& errors, std::string& why) {
    ApiPorts ports;
    // RtMidi falls back to another API (and says so on standard error) when
    // the one asked for is not compiled in.
    if (!compiledIn(system.api)) {
        why = std::string("RtMidi has no ") + system.label + " support";
        return ports;
    }
    if (!system.available()) {
        why = std::string("no ") + system.label;
        return ports;
    }
    try {
        ports.output = std::make_unique<RtMidiOut>(system.api, kClientName);
    } catch (const RtMidiError& error) {
        why = error.getMessage();
        return ports;
    }
    ports.output->setErrorCallback(&keepError, &errors);
    const unsigned int count = ports.output->getPortCount();
    for (unsigned int i = 0; i < count; ++i) ports.names.push_back(ports.output->getPortName(i));
    if (!errors.empty()) {
        why = errors;
        ports.output.reset();
        ports.names.clear();
    }
    return ports;
}

}  // namespace

std::vector<std::string> RtMidiBackend::portNames() {
    silenceLibraryLogs();
    std::vector<std::string> names;
    for (const SystemApi& system : kSystemApis) {
        std::string errors;
        std::string why;
        ApiPorts ports = listApi(system, errors, why);
        names.insert(names.end(), ports.names.begin(), ports.names.end());
    }
    return names;
}

std::unique_ptr<MidiOutputPort> RtMidiBackend::openPort(std::size_t index, const std::string& name) {
    silenceLibraryLogs();
    lastError_.clear();
    std::size_t first = 0;  // index of this API's first port in the whole list
    for (const SystemApi& system : kSystemApis) {
        std::string errors;
        std::string why;
        ApiPorts ports = listApi(system, errors, why);
        if (index >= first + ports.names.size()) {
            first += ports.names.size();
            continue;
        }
        const auto position = static_cast<unsigned int>(index - first);
        if (ports.names[position] != name) {
            lastError_ = "the port at position " + std::to_string(index) + " is now \"" +
                         ports.names[position] + "\", not \"" + name + "\"";
            return nullptr;
        }
        ports.output->openPort(position, kOwnPortName);
        if (!errors.empty() || !ports.output->isPortOpen()) {
            lastError_ = errors.empty() ? "cannot open \"" + name + "\"" : errors;
            return nullptr;
        }
        return std::make_unique<RtMidiPort>(std::move(ports.output));
    }
    lastError_ = "there is no port " + std::to_string(index) + " (\"" + name + "\") any more";
    return nullptr;
}

}  // namespace selvik
