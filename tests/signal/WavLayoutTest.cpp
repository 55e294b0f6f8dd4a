#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "signal/Signal.h"
#include "signal/WavByteSource.h"
#include "signal/WavLayout.h"

namespace selvik {
namespace {

std::vector<unsigned char> fixtureBytes(const std::string& name) {
    std::ifstream in(std::string(SELVIK_TEST_DATA_DIR) + "/wav/" + name, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

// Gives the first `limit` bytes, then fails as a disk would.
class FailingSource final : public WavByteSource {
public:
    FailingSource(const std::vector<unsigned char>& bytes, std::uint64_t limit)
        : bytes_(bytes), limit_(limit) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t count) override {
        WavMemorySource whole(bytes_.data(), bytes_.size());
        if (offset >= limit_) return 0;
        const std::uint64_t allowed = limit_ - offset;
        return whole.read(offset, out, count < allowed ? count : static_cast<std::size_t>(allowed));
    }

private:
    const std::vector<unsigned char>& bytes_;
    std::uint64_t limit_;
};

struct LayoutRow {
    const char* sentence;
    const char* file;
    std::uint32_t channels;
    std::uint32_t bytesPerSample;
    std::uint64_t dataOffset;
    std::uint64_t frameCount;
};

TEST(WavLayout, NamesTheChannelsSampleSizeDataOffsetAndFramesOfAnAcceptedFile) {
    const LayoutRow rows[] = {
        {"a plain 16-bit mono file", "gen_pcm16_mono.wav", 1, 2, 44, 5},
        {"12 bits sit in 2-byte containers", "gen_pcm12_mono.wav", 1, 2, 44, 5},
        {"a LIST chunk moves the data back", "gen_list_before_data.wav", 1, 2, 82, 5},
        {"an odd chunk without its pad", "gen_odd_chunk_unpadded.wav", 1, 2, 55, 5},
        {"an odd chunk with its pad", "gen_odd_chunk_padded.wav", 1, 2, 56, 5},
        {"an overrunning data chunk counts the frames present", "gen_data_overrun.wav", 1, 2, 44,
         10},
        {"16-bit stereo with a lone trailing value", "gen_pcm16_stereo_4410.wav", 2, 2, 44, 1102},
        {"8-bit stereo from sox", "sox_pcm8_stereo.wav", 2, 1, 44, 300},
    };
    for (const LayoutRow& row : rows) {
        SCOPED_TRACE(row.sentence);
        const std::vector<unsigned char> bytes = fixtureBytes(row.file);
        WavMemorySource source(bytes.data(), bytes.size());
        WavLayout layout;
        std::string detail;
        ASSERT_EQ(parseWavLayout(source, layout, &detail), SignalStatus::NoError) << detail;
        EXPECT_EQ(layout.channels, row.channels);
        EXPECT_EQ(layout.bytesPerSample, row.bytesPerSample);
        EXPECT_EQ(layout.dataOffset, row.dataOffset);
        EXPECT_EQ(layout.frameCount, row.frameCount);
    }
}

TEST(WavLayout, ASourceThatFailsPartWayIsAFileErrorSayingHowFarItGot) {
    const std::vector<unsigned char> bytes = fixtureBytes("gen_list_before_data.wav");  // 92 bytes
    struct Row {
        const char* sentence;
        std::uint64_t limit;
        const char* detail;
    };
    const Row rows[] = {
        {"inside the RIFF header", 6, "read 6 of 92 bytes"},
        {"inside the format chunk", 30, "read 30 of 92 bytes"},
        {"inside the LIST chunk's header", 40, "read 40 of 92 bytes"},
        {"inside the data", 86, "read 86 of 92 bytes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sentence);
        FailingSource source(bytes, row.limit);
        Signal signal;
        std::string detail;
        EXPECT_EQ(signal.readWavFrom(source, &detail), SignalStatus::FileError);
        EXPECT_EQ(detail, row.detail);
        EXPECT_EQ(signal.samples(), nullptr);
        EXPECT_EQ(signal.count(), 0);
    }
}

// Frames over several of the reader's chunks, the last one partial: every
// value must land in its place, from the file and from memory alike.
TEST(WavLayout, FramesOverSeveralChunksKeepTheirValues) {
    constexpr std::int32_t kFrames = 40000;  // 160000 bytes: two whole chunks and a part
    auto left = [](std::int32_t i) {
        return static_cast<std::int16_t>((i * 1021) % 65536 - 32768);
    };
    auto right = [](std::int32_t i) {
        return static_cast<std::int16_t>((i * 3001) % 65536 - 32768);
    };
    std::vector<unsigned char> bytes = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                                        'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0,
                                        0x44, 0xac, 0, 0, 0x10, 0xb1, 0x02, 0, 4, 0, 16, 0,
                                        'd', 'a', 't', 'a', 0x00, 0x71, 0x02, 0x00};
    for (std::int32_t i = 0; i < kFrames; ++i) {
        for (std::int16_t v : {left(i), right(i)}) {
            bytes.push_back(static_cast<unsigned char>(static_cast<std::uint16_t>(v) & 0xff));
            bytes.push_back(static_cast<unsigned char>(static_cast<std::uint16_t>(v) >> 8));
        }
    }
    const std::filesystem::path path =
        std::filesystem::path(SELVIK_BINARY_DIR) / "wav-layout-chunks.wav";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    Signal fromFile;
    Signal fromMemory;
    ASSERT_EQ(fromFile.readWav(path.c_str()), SignalStatus::NoError);
    ASSERT_EQ(fromMemory.readWavBytes(bytes.data(), bytes.size()), SignalStatus::NoError);
    std::filesystem::remove(path);
    ASSERT_EQ(fromFile.count(), kFrames);
    ASSERT_EQ(fromMemory.count(), kFrames);

    WavMemorySource source(bytes.data(), bytes.size());
    WavLayout layout;
    ASSERT_EQ(parseWavLayout(source, layout), SignalStatus::NoError);
    std::vector<float> channel0(kFrames);
    std::vector<float> channel1(kFrames);
    convertWavChannel(layout, bytes.data() + layout.dataOffset, kFrames, 0, channel0.data());
    convertWavChannel(layout, bytes.data() + layout.dataOffset, kFrames, 1, channel1.data());
    for (std::int32_t i = 0; i < kFrames; ++i) {
        const float mean = static_cast<float>((left(i) + right(i)) / 65536.0);
        ASSERT_EQ(fromFile.samples()[i], mean) << "frame " << i;
        ASSERT_EQ(fromMemory.samples()[i], mean) << "frame " << i;
        ASSERT_EQ(channel0[i], static_cast<float>(left(i) / 32768.0)) << "frame " << i;
        ASSERT_EQ(channel1[i], static_cast<float>(right(i) / 32768.0)) << "frame " << i;
    }
}

}  // namespace
}  // namespace selvik
