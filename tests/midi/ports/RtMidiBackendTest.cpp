// The system's MIDI ports when there are none: the program runs without a
// JACK server and with an ALSA configuration without devices (see
// CMakeLists.txt), as on a machine without a sequencer.

#include <gtest/gtest.h>

#include <string>

#include "midi/ports/RtMidiBackend.h"

namespace selvik {
namespace {

TEST(RtMidiWithoutSystemPorts, ListsNothingAndPrintsNothing) {
    RtMidiBackend backend;
    testing::internal::CaptureStderr();
    const auto names = backend.portNames();
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(names.empty()) << names.front();
    EXPECT_EQ(printed, "");
}

TEST(RtMidiWithoutSystemPorts, OpeningFailsWithAReasonAndPrintsNothing) {
    RtMidiBackend backend;
    testing::internal::CaptureStderr();
    const auto port = backend.openPort(0, "Midi Through:Midi Through Port-0 14:0");
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(port, nullptr);
    EXPECT_NE(backend.lastError(), "");
    EXPECT_EQ(printed, "");
}

}  // namespace
}  // namespace selvik
