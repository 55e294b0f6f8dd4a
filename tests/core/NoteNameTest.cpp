#include "core/NoteName.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace selvik {
namespace {

TEST(NoteName, WritesTheNameAndTheOctave) {
    struct Case {
        std::int32_t note;
        const char* name;
    };
    const Case rows[] = {{-1, "G9"}, {0, "C-1"}, {60, "C4"}, {61, "C#4"}, {66, "F#4"},
                         {69, "A4"}, {127, "G9"}, {128, "C-1"}, {11, "B-1"}, {12, "C0"}};
    for (const auto& row : rows) EXPECT_EQ(noteName(row.note), row.name) << row.note;
}

}  // namespace
}  // namespace selvik
