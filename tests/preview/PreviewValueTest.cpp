#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "preview/PreviewPlayer.h"

namespace selvik {
namespace {

TEST(PreviewValue, TruncatesTheScaledSampleTowardZero) {
    EXPECT_EQ(previewValue(1.0f), 32767);
    EXPECT_EQ(previewValue(-1.0f), -32767);
    EXPECT_EQ(previewValue(-0.5f), -16383);  // -16383.5
    EXPECT_EQ(previewValue(0.5f), 16383);
    EXPECT_EQ(previewValue(0.00001f), 0);
    EXPECT_EQ(previewValue(-0.00001f), 0);
    EXPECT_EQ(previewValue(0.0f), 0);
    // Just below 2 after the single-precision product, so truncated to 1.
    EXPECT_EQ(previewValue(std::nextafter(2.0f / 32767.0f, 0.0f)), 1);
}

TEST(PreviewValue, OutOfRangeSamplesStayWithinSixteenBits) {
    EXPECT_EQ(previewValue(1.5f), 32767);
    EXPECT_EQ(previewValue(-2.0f), -32767);
    EXPECT_EQ(previewValue(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(previewValue(-std::numeric_limits<float>::infinity()), -32767);
    EXPECT_EQ(previewValue(std::numeric_limits<float>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace selvik
