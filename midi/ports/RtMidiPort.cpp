#include "midi/ports/RtMidiPort.h"

#include <rtmidi/RtMidi.h>

namespace selvik {

namespace {

void keepError(RtMidiError::Type, const std::string& text, void* port) {
    *static_cast<std::string*>(port) = text;
}

}  // namespace

RtMidiPort::RtMidiPort(std::unique_ptr<RtMidiOut> output) : output_(std::move(output)) {
    output_->setErrorCallback(&keepError, &lastError_);
}

RtMidiPort::~RtMidiPort() = default;

void RtMidiPort::sendShortMessage(ShortMessage message) {
    const unsigned char bytes[3] = {statusOf(message), data1Of(message), data2Of(message)};
    const int length = shortMessageLength(bytes[0]);
    if (length == 0) return;  // not a message a port can carry on its own
    output_->sendMessage(bytes, static_cast<std::size_t>(length));
}

}  // namespace selvik
