#include "signal/Log1pFloat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace selvik {
namespace {

std::int32_t bitsOf(float x) {
    std::int32_t i;
    std::memcpy(&i, &x, sizeof i);
    return i;
}

float floatOf(std::uint32_t i) {
    float x;
    std::memcpy(&x, &i, sizeof x);
    return x;
}

// Inputs where the same steps contracted into fused multiply-adds (as
// aarch64 glibc's log1pf is built) give the neighbouring float: a build that
// fuses, or a changed step, fails here on any processor.
TEST(Log1pFloat, RoundsEveryStepWhereFusedMultiplyAddsGiveOtherBits) {
    struct Row {
        float x;
        float expected;
    };
    const Row rows[] = {
        {0x1.a8fc4ep-3f, 0x1.822d06p-3f},   // k = 0: 1 + x is not formed
        {0x1.b482c4p-2f, 0x1.6b9764p-2f},   // just above the k = 0 range
        {0x1.ed0a3cp+0f, 0x1.12d86ep+0f},
        {0x1.927864p+12f, 0x1.18a6d6p+3f},
        {0x1.9cb2a6p+15f, 0x1.5bfe14p+3f},
        {0x1.8b075cp+23f, 0x1.0604c8p+4f},  // 1 + x still rounds
    };
    for (const Row& row : rows) {
        EXPECT_EQ(bitsOf(log1pFloat(row.x)), bitsOf(row.expected)) << std::hexfloat << row.x;
    }
}

// Every 4099th float from the smallest positive one to the largest finite,
// and from -0 towards -1: within one float step of the double-precision
// logarithm rounded to float.
TEST(Log1pFloat, StaysWithinOneStepOfTheDoublePrecisionValue) {
    int checked = 0;
    auto check = [&checked](float x) {
        const float got = log1pFloat(x);
        const float want = static_cast<float>(std::log1p(static_cast<double>(x)));
        const std::int64_t steps = static_cast<std::int64_t>(bitsOf(got)) - bitsOf(want);
        ASSERT_LE(steps < 0 ? -steps : steps, 1) << std::hexfloat << x << ": " << got << " for " << want;
        ++checked;
    };
    for (std::uint32_t i = 1; i < 0x7f800000u; i += 4099) check(floatOf(i));
    for (std::uint32_t i = 0x80000001u; i < 0xbf800000u; i += 4099) check(floatOf(i));
    EXPECT_GT(checked, 700000);
}

TEST(Log1pFloat, GivesTheLimitsAtTheEdgesOfItsDomain) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(log1pFloat(-1.0f), -kInf);
    EXPECT_TRUE(std::isnan(log1pFloat(-1.5f)));
    EXPECT_TRUE(std::isnan(log1pFloat(-kInf)));
    EXPECT_TRUE(std::isnan(log1pFloat(std::numeric_limits<float>::quiet_NaN())));
    EXPECT_EQ(log1pFloat(kInf), kInf);
    EXPECT_EQ(bitsOf(log1pFloat(0.0f)), bitsOf(0.0f));
    EXPECT_EQ(bitsOf(log1pFloat(-0.0f)), bitsOf(-0.0f));
    EXPECT_EQ(log1pFloat(0x1p-60f), 0x1p-60f);
    EXPECT_EQ(log1pFloat(std::numeric_limits<float>::denorm_min()),
              std::numeric_limits<float>::denorm_min());
    EXPECT_FLOAT_EQ(log1pFloat(std::numeric_limits<float>::max()), 88.72283935546875f);
}

}  // namespace
}  // namespace selvik
