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

#include "midi/MidiDeviceList.h"
#include "midi/PlaybackEngine.h"
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

// A whole song through the playback engine and the device list to the
// receiver: every event arrives, byte for byte and in song order, and the stop
// at the end turns the channel's notes off.
TEST_F(RtMidiOverJack, EnginePlaysASongToTheSystemPortInOrder) {
    auto backend = std::make_shared<RtMidiBackend>();
    setMidiBackends({backend});
    enumerateMidiDevices();
    long index = -1;
    for (std::size_t i = 0; i < midiDevices().size(); ++i) {
        if (midiDevices()[i].name == receiverPort_) index = static_cast<long>(i);
    }
    ASSERT_GE(index, 0) << "the receiver is not in the device list";
    setSelectedMidiDevice(static_cast<std::int32_t>(index));

    Song song;
    reset(&song);
    song.division = 384;
    song.tempo = 120.0;
    // Two tracks whose events interleave, and one at a window's end.
    const std::vector<MidiEvent> first = {{0, 0x90, 60, 100}, {100, 0x90, 60, 0}, {384, 0x90, 64, 90}, {500, 0x90, 64, 0}};
    const std::vector<MidiEvent> second = {{50, 0x91, 48, 70}, {384, 0x91, 48, 0}, {384, 0xC1, 19, 0}};
    for (const auto& [track, events] : {std::pair{0, first}, std::pair{1, second}}) {
        SongTrack& t = song.tracks[static_cast<std::size_t>(track)];
        t.eventCount = static_cast<std::uint32_t>(events.size());
        t.events = std::make_unique<MidiEvent[]>(events.size());
        std::copy(events.begin(), events.end(), t.events.get());
    }
    countEvents(song);
    computeEndTime(song);

    std::atomic<int> ends{0};
    PlaybackEngine engine;
    ASSERT_EQ(engine.startPlayback(&song, [&](std::uint32_t, std::uint64_t) { ++ends; }),
              MidiResult::Success);
    ASSERT_EQ(engine.beginPlayback(), MidiResult::Success);
    const std::vector<Bytes> played = receive(7);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (ends.load() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(ends.load(), 1);
    ASSERT_EQ(engine.stopPlayback(), MidiResult::Success);
    engine.closeStream();
    const std::vector<Bytes> silenced = receive(2);
    freeMidiDevices();
    setMidiBackends({});
    setSelectedMidiDevice(0);

    const std::vector<Bytes> expected = {{0x90, 60, 100}, {0x91, 48, 70}, {0x90, 60, 0}, {0x90, 64, 90},
                                         {0x91, 48, 0},   {0xC1, 19},     {0x90, 64, 0}};
    EXPECT_EQ(played, expected);
    // Nothing sounds any more, so the stop sends All Notes Off on both channels used.
    EXPECT_EQ(silenced, (std::vector<Bytes>{{0xB0, 123, 0}, {0xB1, 123, 0}}));
}

}  // namespace
}  // namespace selvik
