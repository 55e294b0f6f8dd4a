#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "midi/stream/MidiOutputPort.h"

class RtMidiOut;

namespace selvik {

// A system MIDI output (an ALSA sequencer or JACK port) opened through RtMidi.
// Messages go out byte for byte, as long as shortMessageLength() says.
class RtMidiPort final : public MidiOutputPort {
public:
    // Takes an RtMidiOut whose port is open; RtMidi's errors from then on are
    // kept here (lastError()) instead of being printed.
    explicit RtMidiPort(std::unique_ptr<RtMidiOut> output);
    ~RtMidiPort() override;
    RtMidiPort(const RtMidiPort&) = delete;
    RtMidiPort& operator=(const RtMidiPort&) = delete;

    void sendShortMessage(ShortMessage message) override;
    // The last error RtMidi reported for this port (a full buffer, a port
    // that went away); empty when there was none.
    const std::string& lastError() const { return lastError_; }

private:
    std::unique_ptr<RtMidiOut> output_;
    std::string lastError_;
    std::chrono::steady_clock::time_point lastSent_{};
};

}  // namespace selvik
