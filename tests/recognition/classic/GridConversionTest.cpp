#include "recognition/classic/GridConversion.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <tuple>
#include <vector>

#include "midi/NoteTrack.h"
#include "recognition/classic/ScoreGrid.h"

namespace selvik {
namespace {

using Row = std::array<std::uint8_t, kSlotsPerRow>;

constexpr std::uint8_t E = kEmptySlot;

// A row with the given leading slots, the rest empty.
Row row(std::initializer_list<std::uint8_t> slots) {
    Row r;
    r.fill(E);
    std::size_t i = 0;
    for (std::uint8_t s : slots) {
        r[i++] = s;
    }
    return r;
}

std::vector<std::uint8_t> grid(std::initializer_list<Row> rows) {
    std::vector<std::uint8_t> g;
    for (const Row& r : rows) {
        g.insert(g.end(), r.begin(), r.end());
    }
    return g;
}

// ---- removeRepeatedNotes

struct RepeatCase {
    const char* description;
    Row before;
    Row after;
};

// Names the row in a failure message.
void PrintTo(const RepeatCase& c, std::ostream* out) { *out << c.description; }

class RemoveRepeatedNotes : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(RemoveRepeatedNotes, InARow) {
    const RepeatCase& c = GetParam();
    std::vector<std::uint8_t> g = grid({c.before});
    removeRepeatedNotes(g.data(), 1);
    EXPECT_EQ(g, grid({c.after})) << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RemoveRepeatedNotes,
    ::testing::Values(
        RepeatCase{"a repeated note keeps its first slot", row({60, 60, 64}), row({60, E, 64})},
        RepeatCase{"an empty row is unchanged", row({}), row({})},
        RepeatCase{"a note in all sixteen slots stays only in the first",
                   Row{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5}, row({5})},
        RepeatCase{"repeats far apart are found", row({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 1}),
                   row({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, E})},
        RepeatCase{"note 0 is a note", row({0, 0, 127, 127}), row({0, E, 127, E})},
        RepeatCase{"bytes of 0x80 and above count as empty", row({0x80, 0x80, 0xFE, 0xFE}),
                   row({0x80, 0x80, 0xFE, 0xFE})}));

TEST(RemoveRepeatedNotesGrid, TreatsEveryRowOnItsOwn) {
    std::vector<std::uint8_t> g = grid({row({60, 60}), row({60, 61, 61}), row({62, 60, 62})});
    removeRepeatedNotes(g.data(), 3);
    EXPECT_EQ(g, grid({row({60, E}), row({60, 61, E}), row({62, 60, E})}));
}

TEST(RemoveRepeatedNotesGrid, DoesNothingForARowCountOfZeroOrLess) {
    const std::vector<std::uint8_t> original = grid({row({60, 60})});
    std::vector<std::uint8_t> g = original;
    removeRepeatedNotes(g.data(), 0);
    EXPECT_EQ(g, original);
    removeRepeatedNotes(g.data(), -1);
    EXPECT_EQ(g, original);
}

// ---- rowToTicks

struct TickCase {
    std::int32_t row;
    std::int32_t blockSize;
    std::uint32_t ticks;
};

class RowToTicks : public ::testing::TestWithParam<TickCase> {};

TEST_P(RowToTicks, At120BeatsPerMinuteAndDivision384) {
    const TickCase& c = GetParam();
    EXPECT_EQ(rowToTicks(c.row, c.blockSize, 120.0, 384), c.ticks)
        << "row " << c.row << " of " << c.blockSize << " samples";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RowToTicks,
    ::testing::Values(TickCase{0, 1024, 0}, TickCase{1, 1024, 18},   // 17.83 rounds up
                      TickCase{2, 1024, 36}, TickCase{3, 1024, 53},  // 53.50 less a little
                      TickCase{10, 1024, 178}, TickCase{100, 1024, 1783},
                      TickCase{1, 2048, 36}, TickCase{100, 2048, 3567},
                      TickCase{1, 4096, 71}, TickCase{100, 4096, 7133},
                      TickCase{1, 8192, 143}, TickCase{100, 8192, 14266},
                      // r * B beyond 32 bits is formed in floating point.
                      TickCase{1 << 22, 8192, 598373675u}));

TEST(RowToTicksTempo, FollowsTempoAndDivision) {
    // At 60 beats per minute and division 441 one tick is 100 samples.
    EXPECT_EQ(rowToTicks(1, 1024, 60.0, 441), 10u);   // 10.24
    EXPECT_EQ(rowToTicks(1, 1050, 60.0, 441), 11u);   // 10.5 rounds up
    EXPECT_EQ(rowToTicks(3, 1000, 100.0, 120), 14u);   // 13.61
}

// ---- extractNoteSpans

using SpanTuple = std::tuple<int, std::int32_t, std::int32_t>;  // note, start, end

std::vector<SpanTuple> tuples(const NoteSpans& spans) {
    std::vector<SpanTuple> result;
    for (std::int32_t i = 0; i < spans.count; ++i) {
        result.emplace_back(spans.spans[i].note, spans.spans[i].startTick, spans.spans[i].endTick);
        EXPECT_EQ(spans.spans[i].velocity, 100);
    }
    return result;
}

std::int32_t tick(std::int32_t row) { return static_cast<std::int32_t>(rowToTicks(row, 1024, 120.0, 384)); }

struct SpanCase {
    const char* description;
    std::vector<std::uint8_t> grid;
    std::vector<SpanTuple> spans;
    std::vector<std::uint8_t> gridAfter;
};

// Names the row in a failure message.
void PrintTo(const SpanCase& c, std::ostream* out) { *out << c.description; }

class ExtractNoteSpans : public ::testing::TestWithParam<SpanCase> {};

TEST_P(ExtractNoteSpans, FromAGridOf1024SampleBlocks) {
    const SpanCase& c = GetParam();
    std::vector<std::uint8_t> g = c.grid;
    const std::int32_t rows = static_cast<std::int32_t>(g.size() / kSlotsPerRow);
    const NoteSpans spans = extractNoteSpans(g.data(), rows, 1024, 120.0, 384);
    ASSERT_TRUE(spans.ok);
    EXPECT_EQ(tuples(spans), c.spans) << c.description;
    EXPECT_EQ(g, c.gridAfter) << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    Grids, ExtractNoteSpans,
    ::testing::Values(
        SpanCase{"a note in all three rows is one span to one row past the grid",
                 grid({row({60}), row({60}), row({60})}), {{60, tick(0), tick(3)}},
                 grid({row({60}), row({}), row({})})},
        SpanCase{"a note only in the last row ends at the tick of the row count",
                 grid({row({}), row({}), row({}), row({72})}), {{72, tick(3), tick(4)}},
                 grid({row({}), row({}), row({}), row({72})})},
        SpanCase{"a gap splits a note into two spans",
                 grid({row({60}), row({}), row({60}), row({})}),
                 {{60, tick(0), tick(1)}, {60, tick(2), tick(3)}},
                 grid({row({60}), row({}), row({60}), row({})})},
        SpanCase{"a continuation may move to another slot",
                 grid({row({64, 60}), row({67, E, E, E, E, 60}), row({67})}),
                 {{64, tick(0), tick(1)}, {60, tick(0), tick(2)}, {67, tick(1), tick(3)}},
                 grid({row({64, 60}), row({67}), row({})})},
        SpanCase{"spans come in order of first row, then slot",
                 grid({row({70, 50}), row({70, 50, 40, 30})}),
                 {{70, tick(0), tick(2)}, {50, tick(0), tick(2)}, {40, tick(1), tick(2)},
                  {30, tick(1), tick(2)}},
                 grid({row({70, 50}), row({E, E, 40, 30})})},
        SpanCase{"bytes of 0x80 and above are passed over",
                 grid({row({0x80, 0xFE, 0x81}), row({0x80})}), {}, grid({row({0x80, 0xFE, 0x81}), row({0x80})})},
        SpanCase{"sixteen new notes in each row fill the worst case",
                 grid({Row{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                       Row{16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31}}),
                 {{0, 0, 18}, {1, 0, 18}, {2, 0, 18}, {3, 0, 18}, {4, 0, 18}, {5, 0, 18},
                  {6, 0, 18}, {7, 0, 18}, {8, 0, 18}, {9, 0, 18}, {10, 0, 18}, {11, 0, 18},
                  {12, 0, 18}, {13, 0, 18}, {14, 0, 18}, {15, 0, 18},
                  {16, 18, 36}, {17, 18, 36}, {18, 18, 36}, {19, 18, 36}, {20, 18, 36}, {21, 18, 36},
                  {22, 18, 36}, {23, 18, 36}, {24, 18, 36}, {25, 18, 36}, {26, 18, 36}, {27, 18, 36},
                  {28, 18, 36}, {29, 18, 36}, {30, 18, 36}, {31, 18, 36}},
                 grid({Row{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                       Row{16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31}})}));

TEST(ExtractNoteSpansLimits, OfNoRowsIsAnEmptySuccess) {
    const NoteSpans spans = extractNoteSpans(nullptr, 0, 1024, 120.0, 384);
    EXPECT_TRUE(spans.ok);
    EXPECT_EQ(spans.count, 0);
}

TEST(ExtractNoteSpansLimits, RefusesAGridWhoseWorstCaseCannotBeCounted) {
    // 2^27 rows of 16 spans would be 2^31 spans, one more than a span count holds.
    std::vector<std::uint8_t> g = grid({row({60})});
    const NoteSpans spans = extractNoteSpans(g.data(), 1 << 27, 1024, 120.0, 384);
    EXPECT_FALSE(spans.ok);
    EXPECT_EQ(spans.spans, nullptr);
    EXPECT_EQ(spans.count, 0);
    EXPECT_EQ(g, grid({row({60})}));
}

// ---- buildNoteTrack

using EventTuple = std::tuple<std::uint32_t, int, int, int>;  // time, status, data1, data2

std::vector<EventTuple> tuples(const SongTrack& track) {
    std::vector<EventTuple> result;
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
        const MidiEvent& e = track.events[i];
        result.emplace_back(e.time, e.status, e.data1, e.data2);
    }
    return result;
}

TEST(BuildNoteTrack, TheFourRowExampleEndsTheFirstNoteBeforeStartingTheNext) {
    // The conversion as the analysis runs it: repeats removed, spans, one track.
    std::vector<std::uint8_t> g = grid({row({60}), row({60, 60}), row({62}), row({62})});
    removeRepeatedNotes(g.data(), 4);
    const NoteSpans spans = extractNoteSpans(g.data(), 4, 1024, 120.0, 384);
    ASSERT_TRUE(spans.ok);
    ASSERT_EQ(spans.count, 2);
    SongTrack track;
    ASSERT_TRUE(buildNoteTrack(track, spans.spans.get(), spans.count));
    EXPECT_EQ(tuples(track), (std::vector<EventTuple>{
                                 {0, 0x90, 60, 100}, {36, 0x90, 60, 0}, {36, 0x90, 62, 100}, {71, 0x90, 62, 0}}));
}

TEST(BuildNoteTrack, SetsTheTrackFieldsAndLeavesTheReadCursor) {
    SongTrack track;
    track.name = "old";
    track.program = 3;
    track.volume = 1;
    track.pan = 2;
    track.reserved = 4;
    track.readCursor = 5;
    const NoteSpan spans[] = {{60, 100, 0, 18}};
    ASSERT_TRUE(buildNoteTrack(track, spans, 1));
    EXPECT_FALSE(track.name.has_value());
    EXPECT_EQ(track.program, 0);
    EXPECT_EQ(track.volume, 127);
    EXPECT_EQ(track.pan, 64);
    EXPECT_EQ(track.reserved, 0);
    EXPECT_EQ(track.readCursor, 5u);
    EXPECT_EQ(track.eventCount, 2u);
}

TEST(BuildNoteTrack, SortsByTimeAndKeepsTheOrderOfEqualTimes) {
    const NoteSpan spans[] = {{60, 100, 50, 100}, {61, 100, 0, 50}, {62, 100, 50, 60}, {63, 100, 0, 50}};
    SongTrack track;
    ASSERT_TRUE(buildNoteTrack(track, spans, 4));
    EXPECT_EQ(tuples(track), (std::vector<EventTuple>{{0, 0x90, 61, 100},
                                                      {0, 0x90, 63, 100},
                                                      {50, 0x90, 60, 100},
                                                      {50, 0x90, 61, 0},
                                                      {50, 0x90, 62, 100},
                                                      {50, 0x90, 63, 0},
                                                      {60, 0x90, 62, 0},
                                                      {100, 0x90, 60, 0}}));
}

TEST(BuildNoteTrack, OfNoSpansIsAnEmptyTrack) {
    SongTrack track;
    ASSERT_TRUE(buildNoteTrack(track, nullptr, 0));
    EXPECT_EQ(track.eventCount, 0u);
    EXPECT_EQ(track.events, nullptr);
    EXPECT_EQ(track.volume, 127);
}

// ---- running out of memory

#if defined(__SANITIZE_ADDRESS__)
#define SELVIK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SELVIK_ADDRESS_SANITIZER 1
#endif
#endif

// Runs `body` in a child whose address space is capped at 512 MiB, so that
// large allocations fail there; the result is the child's exit status.
template <typename Body>
int inChildWithLittleMemory(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{512u << 20, 512u << 20};
        if (setrlimit(RLIMIT_AS, &limit) != 0) {
            _exit(100);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST(ConversionOutOfMemory, IsReportedBySpansAndTrack) {
#if defined(SELVIK_ADDRESS_SANITIZER)
    GTEST_SKIP() << "the sanitizer's allocator does not return null under an address-space cap";
#elif defined(SELVIK_TEST_UNDER_EMULATOR)
    GTEST_SKIP() << "qemu's user-mode emulator keeps an address-space cap to itself";
#else
    // 2^25 rows need 6 GiB of spans; 2^28 spans need 4 GiB of events.
    EXPECT_EQ(inChildWithLittleMemory([] {
                  std::uint8_t g[kSlotsPerRow] = {60};
                  const NoteSpans spans = extractNoteSpans(g, 1 << 25, 1024, 120.0, 384);
                  return !spans.ok && !spans.spans && spans.count == 0 ? 0 : 1;
              }),
              0);
    EXPECT_EQ(inChildWithLittleMemory([] {
                  const NoteSpan one{60, 100, 0, 18};
                  SongTrack track;
                  const bool built = buildNoteTrack(track, &one, 1 << 28);
                  return !built && track.eventCount == 0 && !track.events ? 0 : 1;
              }),
              0);
#endif
}

}  // namespace
}  // namespace selvik
