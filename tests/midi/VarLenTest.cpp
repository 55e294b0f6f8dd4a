#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "midi/ByteWriter.h"
#include "midi/MidiFileWriter.h"

namespace selvik {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool appendTo(void* context, const std::uint8_t* data, std::size_t size) {
    static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), data, data + size);
    return true;
}

bool refuse(void*, const std::uint8_t*, std::size_t) { return false; }

struct VarLenCase {
    std::uint32_t value;
    Bytes bytes;
};

class VarLen : public ::testing::TestWithParam<VarLenCase> {};

TEST_P(VarLen, IsWrittenSevenBitsAByteMostSignificantFirst) {
    const VarLenCase& c = GetParam();
    Bytes out;
    ByteWriter writer(&appendTo, &out);
    writeVarLen(writer, c.value);
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(out, c.bytes) << "value 0x" << std::hex << c.value;
    EXPECT_EQ(varLenSize(c.value), static_cast<int>(c.bytes.size())) << "value 0x" << std::hex << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, VarLen,
    ::testing::Values(VarLenCase{0, {0x00}}, VarLenCase{0x7F, {0x7F}}, VarLenCase{0x80, {0x81, 0x00}},
                      VarLenCase{0x3FFF, {0xFF, 0x7F}}, VarLenCase{0x4000, {0x81, 0x80, 0x00}},
                      VarLenCase{0x1FFFFF, {0xFF, 0xFF, 0x7F}},
                      VarLenCase{0x200000, {0x81, 0x80, 0x80, 0x00}},
                      VarLenCase{0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
                      // Beyond the file format's range the encoding simply goes on.
                      VarLenCase{0x10000000, {0x81, 0x80, 0x80, 0x80, 0x00}},
                      VarLenCase{0xFFFFFFFF, {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}}));

TEST(VarLenText, IsTheLengthThenTheBytes) {
    Bytes out;
    ByteWriter writer(&appendTo, &out);
    writeVarLenText(writer, "abc");
    writeVarLenText(writer, "");
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(out, (Bytes{0x03, 'a', 'b', 'c',  // length 3, "abc"
                          0x00}));              // length 0
}

TEST(ByteWriterDrain, PassesOnMoreThanOneBufferInOrder) {
    Bytes out;
    ByteWriter writer(&appendTo, &out);
    Bytes expected;
    for (std::uint32_t i = 0; i < 200000; ++i) {
        writer.put(static_cast<std::uint8_t>(i * 7));
        expected.push_back(static_cast<std::uint8_t>(i * 7));
    }
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(out, expected);
}

TEST(ByteWriterDrain, KeepsAFailureToTheEnd) {
    ByteWriter writer(&refuse, nullptr);
    const Bytes block(100000, 0xAB);
    writer.write(block.data(), block.size());
    EXPECT_TRUE(writer.failed());
    writer.put(1);
    EXPECT_FALSE(writer.flush());
}

}  // namespace
}  // namespace selvik
