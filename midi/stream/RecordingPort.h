#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "midi/MidiDeviceList.h"
#include "midi/stream/MidiOutputPort.h"
#include "midi/stream/StreamClock.h"

namespace selvik {

// One message as a RecordingPort received it.
struct RecordedMessage {
    StreamClock::Nanos time;  // on the clock the port was given
    ShortMessage message;
};

// The messages a recording port has received, shared between the port and the
// test that reads them. Safe to read while a stream sends.
class MessageRecord {
public:
    void add(RecordedMessage message);
    std::vector<RecordedMessage> messages() const;
    std::size_t size() const;
    void clear();

private:
    mutable std::mutex lock_;
    std::vector<RecordedMessage> messages_;
};

// A port that stores each message with its time instead of sounding it.
class RecordingPort final : public MidiOutputPort {
public:
    RecordingPort(std::shared_ptr<MessageRecord> record, const StreamClock& clock)
        : record_(std::move(record)), clock_(clock) {}
    void sendShortMessage(ShortMessage message) override;

private:
    std::shared_ptr<MessageRecord> record_;
    const StreamClock& clock_;
};

// A device-list backend of recording ports, for tests of everything that
// plays: each opened port writes into this backend's record.
class RecordingBackend final : public MidiDeviceBackend {
public:
    explicit RecordingBackend(std::vector<std::string> names = {"Recorder"},
                              const StreamClock& clock = steadyStreamClock())
        : names_(std::move(names)), clock_(clock) {}

    std::vector<std::string> portNames() override { return names_; }
    std::unique_ptr<MidiOutputPort> openPort(std::size_t index, const std::string& name) override;
    std::string lastError() const override { return lastError_; }

    // Renames or removes ports, as a system might between listing and opening.
    void setNames(std::vector<std::string> names) { names_ = std::move(names); }
    // Makes openPort fail, as a busy device would.
    void setRefuseOpen(bool refuse) { refuseOpen_ = refuse; }

    const std::shared_ptr<MessageRecord>& record() const { return record_; }
    int opened() const { return opened_; }
    std::size_t lastOpenedIndex() const { return lastOpenedIndex_; }

private:
    std::vector<std::string> names_;
    const StreamClock& clock_;
    std::shared_ptr<MessageRecord> record_ = std::make_shared<MessageRecord>();
    bool refuseOpen_ = false;
    int opened_ = 0;
    std::size_t lastOpenedIndex_ = 0;
    std::string lastError_;
};

}  // namespace selvik
