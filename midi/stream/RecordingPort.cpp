#include "midi/stream/RecordingPort.h"

namespace selvik {

void MessageRecord::add(RecordedMessage message) {
    std::lock_guard guard(lock_);
    messages_.push_back(message);
}

std::vector<RecordedMessage> MessageRecord::messages() const {
    std::lock_guard guard(lock_);
    return messages_;
}

std::size_t MessageRecord::size() const {
    std::lock_guard guard(lock_);
    return messages_.size();
}

void MessageRecord::clear() {
    std::lock_guard guard(lock_);
    messages_.clear();
}

void RecordingPort::sendShortMessage(ShortMessage message) {
    record_->add({clock_.now(), message});
}

std::unique_ptr<MidiOutputPort> RecordingBackend::openPort(std::size_t index,
                                                           const std::string& name) {
    if (refuseOpen_) {
        lastError_ = "refused";
        return nullptr;
    }
    if (index >= names_.size() || names_[index] != name) {
        lastError_ = "no port " + std::to_string(index) + " named '" + name + "'";
        return nullptr;
    }
    ++opened_;
    lastOpenedIndex_ = index;
    return std::make_unique<RecordingPort>(record_, clock_);
}

}  // namespace selvik
