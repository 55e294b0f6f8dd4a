#include "midi/ports/RtMidiPort.h"

#include <rtmidi/RtMidi.h>

#include <thread>

namespace selvik {

namespace {

void keepError(RtMidiError::Type, const std::string& text, void* port) {
    *static_cast<std::string*>(port) = text;
}

}  // namespace

RtMidiPort::RtMidiPort(std::unique_ptr<RtMidiOut> output) : output_(std::move(output)) {
    output_->setErrorCallback(&keepError, &lastError_);
}

RtMidiPort::~RtMidiPort() {
    // RtMidi's JACK output only queues a message; the server's next process
    // cycles carry it out, and closing the port first drops it. The last
    // messages of a stream are the notes-off of a stop, which must arrive, so
    // the port lives on for a few cycles after its last message.
    if (output_ && output_->getCurrentApi() == RtMidi::UNIX_JACK) {
        std::this_thread::sleep_until(lastSent_ + std::chrono::milliseconds(100));
    }
}

void RtMidiPort::sendShortMessage(ShortMessage message) {
    const unsigned char bytes[3] = {statusOf(message), data1Of(message), data2Of(message)};
    const int length = shortMessageLength(bytes[0]);
    if (length == 0) return;  // not a message a port can carry on its own
    output_->sendMessage(bytes, static_cast<std::size_t>(length));
    lastSent_ = std::chrono::steady_clock::now();
}

}  // namespace selvik
