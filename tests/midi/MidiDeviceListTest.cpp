#include <gtest/gtest.h>

#include <string>

#include "midi/MidiDeviceList.h"
#include "midi/stream/RecordingPort.h"

namespace selvik {
namespace {

class MidiDeviceListTest : public testing::Test {
protected:
    ~MidiDeviceListTest() override {
        freeMidiDevices();
        setMidiBackends({});
        setSelectedMidiDevice(0);
    }
};

TEST_F(MidiDeviceListTest, ListsEveryBackendsPortsInOrderWithPositionsAsIds) {
    auto first = std::make_shared<RecordingBackend>(std::vector<std::string>{"A"});
    auto second = std::make_shared<RecordingBackend>(std::vector<std::string>{"B", "C"});
    setMidiBackends({first, second});
    enumerateMidiDevices();
    ASSERT_EQ(midiDeviceCount(), 3);
    EXPECT_EQ(midiDevices()[0].name, "A");
    EXPECT_EQ(midiDevices()[1].name, "B");
    EXPECT_EQ(midiDevices()[2].name, "C");
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(midiDevices()[i].deviceId, i);

    ASSERT_NE(openMidiDevice(2), nullptr);
    EXPECT_EQ(second->opened(), 1);
    EXPECT_EQ(second->lastOpenedIndex(), 1u);
    EXPECT_EQ(first->opened(), 0);
    std::string why;
    EXPECT_EQ(openMidiDevice(3, &why), nullptr);
    EXPECT_NE(why, "");
}

TEST_F(MidiDeviceListTest, NamesAreKeptWhole) {
    const std::string longName = "Midi Through:Midi Through Port-0 128:0 (a long system name)";
    setMidiBackends({std::make_shared<RecordingBackend>(std::vector<std::string>{longName})});
    enumerateMidiDevices();
    ASSERT_EQ(midiDeviceCount(), 1);
    EXPECT_EQ(midiDevices()[0].name, longName);
}

TEST_F(MidiDeviceListTest, FreeingTheListKeepsTheSelection) {
    setMidiBackends({std::make_shared<RecordingBackend>(std::vector<std::string>{"A", "B"})});
    enumerateMidiDevices();
    setSelectedMidiDevice(1);
    freeMidiDevices();
    EXPECT_EQ(midiDeviceCount(), 0);
    EXPECT_TRUE(midiDevices().empty());
    EXPECT_EQ(selectedMidiDevice(), 1);
    EXPECT_EQ(openMidiDevice(0), nullptr);
}

TEST_F(MidiDeviceListTest, NoBackendsGiveAnEmptyList) {
    setMidiBackends({});
    enumerateMidiDevices();
    EXPECT_EQ(midiDeviceCount(), 0);
    EXPECT_EQ(selectedMidiDevice(), 0);
}

}  // namespace
}  // namespace selvik
