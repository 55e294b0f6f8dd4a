#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <tuple>
#include <vector>

#include "midi/Song.h"

namespace selvik {
namespace {

// data1/data2 carry each event's original position, to make stability visible.
std::vector<MidiEvent> numbered(const std::vector<std::uint32_t>& times) {
    std::vector<MidiEvent> events;
    for (std::size_t i = 0; i < times.size(); ++i) {
        events.push_back({times[i], 0x90, static_cast<std::uint8_t>(i & 0x7F),
                          static_cast<std::uint8_t>(i >> 7)});
    }
    return events;
}

bool sameEvents(const std::vector<MidiEvent>& a, const std::vector<MidiEvent>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const MidiEvent& x, const MidiEvent& y) {
        return std::tie(x.time, x.status, x.data1, x.data2) ==
               std::tie(y.time, y.status, y.data1, y.data2);
    });
}

std::vector<MidiEvent> stableSorted(std::vector<MidiEvent> events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.time < b.time; });
    return events;
}

TEST(SortEvents, KeepsEventsOfEqualTimeInTheirOrder) {
    std::vector<MidiEvent> events = {
        {36, 0x90, 60, 0}, {0, 0x90, 60, 100}, {36, 0x90, 62, 100}, {0, 0x90, 64, 100}, {36, 0x90, 64, 0}};
    ASSERT_TRUE(sortEvents(events.data(), static_cast<std::uint32_t>(events.size())));
    const std::vector<MidiEvent> expected = {
        {0, 0x90, 60, 100}, {0, 0x90, 64, 100}, {36, 0x90, 60, 0}, {36, 0x90, 62, 100}, {36, 0x90, 64, 0}};
    EXPECT_TRUE(sameEvents(events, expected));
}

TEST(SortEvents, OrdersByEveryByteOfTheTime) {
    // Each pair differs only in one byte of the time, the highest included.
    std::vector<MidiEvent> events = numbered({0xFF000000u, 0x01000000u, 0x00FFFFFFu, 0x00010000u,
                                              0x0000FFFFu, 0x00000100u, 0x000000FFu, 0,
                                              0x80000000u, 0xFFFFFFFFu, 0x01000000u});
    std::vector<MidiEvent> expected = stableSorted(events);
    ASSERT_TRUE(sortEvents(events.data(), static_cast<std::uint32_t>(events.size())));
    EXPECT_TRUE(sameEvents(events, expected));
    EXPECT_EQ(events.front().time, 0u);
    EXPECT_EQ(events.back().time, 0xFFFFFFFFu);
}

struct RandomCase {
    const char* description;
    std::uint32_t maxTime;
    std::size_t count;
};

// Names the row in a failure message.
void PrintTo(const RandomCase& c, std::ostream* out) { *out << c.description; }

class SortEventsMatchesStableSort : public ::testing::TestWithParam<RandomCase> {};

TEST_P(SortEventsMatchesStableSort, OnRandomTimes) {
    const RandomCase& c = GetParam();
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::uint32_t> time(0, c.maxTime);
    std::vector<std::uint32_t> times(c.count);
    for (std::uint32_t& t : times) {
        t = time(random);
    }
    std::vector<MidiEvent> events = numbered(times);
    const std::vector<MidiEvent> expected = stableSorted(events);
    ASSERT_TRUE(sortEvents(events.data(), static_cast<std::uint32_t>(events.size())));
    EXPECT_TRUE(sameEvents(events, expected)) << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SortEventsMatchesStableSort,
    ::testing::Values(RandomCase{"few distinct times, many ties", 15, 5000},
                      RandomCase{"times within two bytes", 0xFFFF, 5000},
                      RandomCase{"times over all four bytes", 0xFFFFFFFFu, 5000},
                      RandomCase{"a single event", 0xFFFFFFFFu, 1},
                      RandomCase{"two events", 0xFFFFFFFFu, 2}));

TEST(SortEvents, OfNoEventsSucceeds) {
    EXPECT_TRUE(sortEvents(nullptr, 0));
}

}  // namespace
}  // namespace selvik
