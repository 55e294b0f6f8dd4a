#include <gtest/gtest.h>

#include "plot/RollMapping.h"

namespace selvik {
namespace {

// 10 seconds over 1000 pixels from x = 50; notes 59.5 .. 79.5 over 400
// pixels from y = 10: 100 pixels a second, 20 pixels a note.
RollMapping tenSecondsOfTwentyNotes() {
    return RollMapping({0.0, 10.0, 59.5, 79.5}, {50.0, 10.0, 1000.0, 400.0});
}

TEST(RollMapping, ABarSpansItsTimesAndItsNotesRow) {
    const RollMapping mapping = tenSecondsOfTwentyNotes();
    const PixelRect bar = mapping.barOf({69, 1.5, 2.25});
    EXPECT_DOUBLE_EQ(bar.left, 200.0);
    EXPECT_DOUBLE_EQ(bar.width, 75.0);
    // Note 69's row: 69.5 .. 68.5, that is 10 and 11 rows below the top edge.
    EXPECT_DOUBLE_EQ(bar.top, 10.0 + 10 * 20.0);
    EXPECT_DOUBLE_EQ(bar.height, 20.0);
}

TEST(RollMapping, HigherNotesLieHigherUp) {
    const RollMapping mapping = tenSecondsOfTwentyNotes();
    EXPECT_DOUBLE_EQ(mapping.barOf({70, 0, 1}).top, mapping.barOf({69, 0, 1}).top - 20.0);
    EXPECT_DOUBLE_EQ(mapping.yOfPitch(79.5), 10.0);
    EXPECT_DOUBLE_EQ(mapping.yOfPitch(59.5), 410.0);
}

TEST(RollMapping, PixelsMapBackToTheirTimeAndPitch) {
    const RollMapping mapping({12.0, 14.0, 40.5, 45.5}, {0.0, 0.0, 800.0, 100.0});
    EXPECT_DOUBLE_EQ(mapping.secondsOfX(mapping.xOfSeconds(13.3)), 13.3);
    EXPECT_DOUBLE_EQ(mapping.pitchOfY(mapping.yOfPitch(42.0)), 42.0);
    EXPECT_DOUBLE_EQ(mapping.xOfSeconds(12.0), 0.0);
    EXPECT_DOUBLE_EQ(mapping.xOfSeconds(14.0), 800.0);
}

TEST(RollMapping, NoteAtFindsTheBarUnderThePointOnly) {
    const RollMapping mapping = tenSecondsOfTwentyNotes();
    const std::vector<RollNote> notes = {{60, 0.5, 1.0}, {69, 1.5, 2.25}, {69, 3.0, 4.0}, {72, 3.0, 4.0}};
    const PixelRect bar = mapping.barOf(notes[2]);
    EXPECT_EQ(noteAt(notes, 1.0, mapping, bar.left + 5, bar.top + 5), std::optional<std::size_t>(2));
    EXPECT_EQ(noteAt(notes, 1.0, mapping, bar.left + 5, bar.top - 5), std::nullopt) << "row above";
    EXPECT_EQ(noteAt(notes, 1.0, mapping, bar.left - 20, bar.top + 5), std::nullopt) << "before it";
    const PixelRect high = mapping.barOf(notes[3]);
    EXPECT_EQ(noteAt(notes, 1.0, mapping, high.left + 1, high.top + 1), std::optional<std::size_t>(3));
    EXPECT_EQ(noteAt(notes, 1.0, mapping, 20.0, bar.top + 5), std::nullopt) << "outside the plot";
}

TEST(RollMapping, NotesInTimeSkipsOnlyNotesThatCannotBeInView) {
    const std::vector<RollNote> notes = {{60, 0.0, 5.0}, {61, 6.0, 6.5}, {62, 7.0, 7.2}, {63, 20.0, 21.0}};
    const NoteRange range = notesInTime(notes, 5.0, 4.0, 6.2);
    EXPECT_EQ(range.first, 0u) << "the first note still sounds at 4 s";
    EXPECT_EQ(range.last, 2u);
    const NoteRange later = notesInTime(notes, 5.0, 12.5, 30.0);
    EXPECT_EQ(later.first, 3u);
    EXPECT_EQ(later.last, 4u);
}

}  // namespace
}  // namespace selvik
