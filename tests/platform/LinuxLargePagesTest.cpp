// The large-page hint on a real recording-sized buffer: the samples a
// Signal hands out stay zero, the hint reaches only large buffers, and on
// Linux with transparent huge pages allowed the samples' memory is marked
// for them (whether the system then finds free huge pages is its business).
#include "platform/LinuxLargePages.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/LargePageHint.h"
#include "signal/Signal.h"

namespace selvik {
namespace {

std::vector<std::size_t> gHinted;

void recordHint(void*, std::size_t bytes) { gHinted.push_back(bytes); }

TEST(LargePageHint, ReachesOnlyBuffersOfRecordingSize) {
    installLargePageHint(&recordHint);
    gHinted.clear();
    Signal small;
    ASSERT_EQ(small.create(44100), SignalStatus::NoError);
    Signal large;
    ASSERT_EQ(large.create(44100 * 180), SignalStatus::NoError);
    installLargePageHint(nullptr);
    ASSERT_EQ(gHinted.size(), 1u);
    EXPECT_GE(gHinted[0], std::size_t{44100} * 180 * sizeof(float));
}

// The VmFlags line of the mapping that holds `address`; empty if unknown.
std::string flagsAround(const void* address) {
    std::ifstream maps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::string line;
    bool inside = false;
    while (std::getline(maps, line)) {
        std::uintptr_t from = 0, to = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> from >> dash >> to && dash == '-') {
            inside = from <= at && at < to;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line.substr(8) + " ";
        }
    }
    return {};
}

bool hugePagesAllowed() {
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string text;
    std::getline(setting, text);
    return !text.empty() && text.find("[never]") == std::string::npos;
}

TEST(LinuxLargePages, ARecordingsSamplesStayZeroAndAreMarkedForHugePages) {
    platform::installLargePages();
    Signal signal;
    const std::int32_t count = 44100 * 180;
    ASSERT_EQ(signal.create(count), SignalStatus::NoError);
    installLargePageHint(nullptr);
    float* samples = signal.samples();
    for (std::int32_t i = 0; i < count; i += 4099) ASSERT_EQ(samples[i], 0.0f) << i;
    for (std::int32_t i = 0; i < count; ++i) samples[i] = static_cast<float>(i % 7);
    EXPECT_EQ(samples[count - 1], static_cast<float>((count - 1) % 7));
#if defined(__linux__)
    if (!hugePagesAllowed()) GTEST_SKIP() << "transparent huge pages are switched off here";
    const std::string flags = flagsAround(samples + count / 2);
    ASSERT_FALSE(flags.empty()) << "no mapping found in /proc/self/smaps";
    EXPECT_NE(flags.find(" hg "), std::string::npos) << "not marked for huge pages:" << flags;
#endif
}

}  // namespace
}  // namespace selvik
