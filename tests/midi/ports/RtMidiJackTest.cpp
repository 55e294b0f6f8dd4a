// The system's MIDI ports over a real JACK server (the dummy-driver server of
// the selvik_jack_server test fixture): a receiving RtMidiIn client of this
// test offers a port, and the backend must list it, open it and deliver.

#include <gtest/gtest.h>

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "midi/ports/RtMidiBackend.h"

namespace selvik {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;

constexpr const char* kReceiverClient = "selvik-test-receiver";

void ignoreRtMidiError(RtMidiError::Type, const std::string&, void*) {}

class RtMidiOverJack : public testing::Test {
protected:
    void SetUp() override {
        receiver_ = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, kReceiverClient);
        receiver_->setErrorCallback(&ignoreRtMidiError);
        receiver_->openVirtualPort("in");
        receiver_->ignoreTypes(false, false, false);
        receiverPort_ = std::string(kReceiverClient) + ":in";
    }

    // Position of the receiver's port in the backend's list, or -1.
    long positionOfReceiver(const std::vector<std::string>& names) const {
        const auto it = std::find(names.begin(), names.end(), receiverPort_);
        return it == names.end() ? -1 : it - names.begin();
    }

    // Messages the receiver has got, waiting up to a generous deadline for
    // `count` of them.
    std::vector<Bytes> receive(std::size_t count) {
        std::vector<Bytes> messages;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (messages.size() < count && std::chrono::steady_clock::now() < deadline) {
            Bytes message;
            receiver_->getMessage(&message);
            if (message.empty()) {
                std::this_thread::sleep_for(1ms);
            } else {
                messages.push_back(message);
            }
        }
        return messages;
    }

    std::unique_ptr<RtMidiIn> receiver_;
    std::string receiverPort_;
    RtMidiBackend backend_;
};

TEST_F(RtMidiOverJack, ListsTheInputPortOfAnotherClientUnderItsFullName) {
    testing::internal::CaptureStderr();
    const std::vector<std::string> names = backend_.portNames();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_GE(positionOfReceiver(names), 0) << "not listed: " << receiverPort_;
    for (const std::string& name : names) EXPECT_EQ(name.rfind("selvik:", 0), std::string::npos) << name;
}

TEST_F(RtMidiOverJack, OpenedPortDeliversEachMessageByteForByteAndInOrder) {
    testing::internal::CaptureStderr();
    const std::vector<std::string> names = backend_.portNames();
    const long index = positionOfReceiver(names);
    ASSERT_GE(index, 0);
    std::unique_ptr<MidiOutputPort> port = backend_.openPort(static_cast<std::size_t>(index), receiverPort_);
    ASSERT_NE(port, nullptr) << backend_.lastError();

    const std::vector<ShortMessage> sent = {
        0x90 | 60 << 8 | 100 << 16,  // note on
        0x80 | 60 << 8 | 64 << 16,   // note off
        0x93 | 67 << 8 | 0 << 16,    // note on of velocity 0, channel 4
        0xB0 | 7 << 8 | 99 << 16,    // control change
        0xC5 | 73 << 8,              // program change: two bytes
        0xD2 | 40 << 8,              // channel pressure: two bytes
        0xE1 | 0x05 << 8 | 0x41 << 16,  // pitch bend
    };
    for (ShortMessage m : sent) port->sendShortMessage(m);
    const std::vector<Bytes> got = receive(sent.size());
    port.reset();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    const std::vector<Bytes> expected = {
        {0x90, 60, 100}, {0x80, 60, 64}, {0x93, 67, 0}, {0xB0, 7, 99},
        {0xC5, 73},      {0xD2, 40},     {0xE1, 0x05, 0x41}};
    EXPECT_EQ(got, expected);
}

TEST_F(RtMidiOverJack, PortWhoseNameChangedAtThatPositionIsNotOpened) {
    testing::internal::CaptureStderr();
    const std::vector<std::string> names = backend_.portNames();
    const long index = positionOfReceiver(names);
    ASSERT_GE(index, 0);
    EXPECT_EQ(backend_.openPort(static_cast<std::size_t>(index), receiverPort_ + " (old)"), nullptr);
    EXPECT_NE(backend_.lastError().find(receiverPort_), std::string::npos) << backend_.lastError();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(RtMidiOverJack, PortThatWentAwayIsNotOpened) {
    testing::internal::CaptureStderr();
    const std::vector<std::string> names = backend_.portNames();
    const long index = positionOfReceiver(names);
    ASSERT_GE(index, 0);
    receiver_.reset();  // the client and its port leave the server
    EXPECT_EQ(backend_.openPort(static_cast<std::size_t>(index), receiverPort_), nullptr);
    EXPECT_NE(backend_.lastError(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace selvik
