#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "signal/Signal.h"

namespace selvik {
namespace {

std::string fixture(const std::string& name) {
    return std::string(SELVIK_TEST_DATA_DIR) + "/wav/" + name;
}

std::vector<unsigned char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void expectEmpty(const Signal& signal) {
    EXPECT_EQ(signal.sampleRate(), -1);
    EXPECT_EQ(signal.count(), 0);
    EXPECT_EQ(signal.paddedLength(), 0);
    EXPECT_EQ(signal.samples(), nullptr);
}

void expectZeroPadding(const Signal& signal) {
    for (std::int32_t i = signal.count(); i < signal.paddedLength(); ++i) {
        ASSERT_EQ(signal.samples()[i], 0.0f) << "padding entry " << i;
    }
}

// --- Structure: which files are read and which are refused --------------------

struct StructureRow {
    const char* sentence;
    const char* file;
    SignalStatus status;
    std::int32_t count;         // on success
    std::int32_t paddedLength;  // on success
    const char* detail;         // the reason given on failure
};

constexpr SignalStatus kOk = SignalStatus::NoError;
constexpr SignalStatus kBad = SignalStatus::BadFileFormat;

const StructureRow kStructureRows[] = {
    {"a plain 16-bit mono file is read", "gen_pcm16_mono.wav", kOk, 5, 8, ""},
    {"a 12-bit file is read as 16-bit containers", "gen_pcm12_mono.wav", kOk, 5, 8, ""},
    {"an 18-byte format chunk is passed over", "gen_fmt18.wav", kOk, 5, 8, ""},
    {"a padded 17-byte format chunk is passed over", "gen_fmt17_padded.wav", kOk, 5, 8, ""},
    {"\"fmt\" with another fourth byte is a format chunk", "gen_fmt_fourth_byte.wav", kOk, 5, 8,
     ""},
    {"a LIST chunk before the data is passed over", "gen_list_before_data.wav", kOk, 5, 8, ""},
    {"an odd-sized chunk with its pad byte is passed over", "gen_odd_chunk_padded.wav", kOk, 5,
     8, ""},
    {"an odd-sized chunk without a pad byte is passed over", "gen_odd_chunk_unpadded.wav", kOk,
     5, 8, ""},
    {"a data chunk running past the end keeps its whole samples", "gen_data_overrun.wav", kOk,
     10, 16, ""},
    {"a file cut right after the data header has no samples", "gen_cut_at_44.wav", kOk, 0, 2,
     ""},
    {"one byte of 16-bit data is no sample", "gen_pcm16_mono_1byte.wav", kOk, 0, 2, ""},
    {"4410 bytes of 16-bit stereo are 1102 frames", "gen_pcm16_stereo_4410.wav", kOk, 1102,
     2048, ""},
    {"an empty data chunk from sox has no samples", "sox_pcm16_empty.wav", kOk, 0, 2, ""},

    {"a 24-bit file is rejected as a bad format", "gen_pcm24_mono.wav", kBad, 0, 0,
     "24 bits per sample; at most 16 are read"},
    {"a 32-bit integer file is rejected", "gen_pcm32_mono.wav", kBad, 0, 0,
     "32 bits per sample; at most 16 are read"},
    {"a 3-channel file is rejected", "gen_pcm16_3ch.wav", kBad, 0, 0,
     "3 channels; only mono and stereo are read"},
    {"a 0-channel file is rejected", "gen_pcm16_0ch.wav", kBad, 0, 0,
     "0 channels; only mono and stereo are read"},
    {"a 48000 Hz file is rejected", "gen_pcm16_48000.wav", kBad, 0, 0,
     "sample rate 48000 Hz; only 44100 Hz PCM is read"},
    {"a 22050 Hz file from sox is rejected", "sox_pcm16_22050.wav", kBad, 0, 0,
     "sample rate 22050 Hz; only 44100 Hz PCM is read"},
    {"a floating-point file from sox is rejected", "sox_float32_mono.wav", kBad, 0, 0,
     "format tag 3; only PCM (1) is read"},
    {"tag 3 is rejected even with PCM-looking fields", "gen_tag3_plain.wav", kBad, 0, 0,
     "format tag 3; only PCM (1) is read"},
    {"sox's extensible 24-bit file is rejected by its tag", "sox_pcm24_mono.wav", kBad, 0, 0,
     "format tag 65534; only PCM (1) is read"},
    {"a RIFX file is rejected", "gen_rifx_id.wav", kBad, 0, 0,
     "RIFF id \"RIFX\"; only \"RIFF\" is read"},
    {"an AVI form is rejected", "gen_avi_form.wav", kBad, 0, 0,
     "form type \"AVI \"; only \"WAVE\" is read"},
    {"a first chunk that is not \"fmt\" is rejected", "gen_fxt_id.wav", kBad, 0, 0,
     "chunk id \"fxt \" at byte 12; the format chunk must come first"},
    {"a format chunk shorter than 16 bytes is rejected", "gen_fmt14.wav", kBad, 0, 0,
     "format chunk size 14; the PCM fields alone take 16 bytes"},
    {"a file without a data chunk is rejected", "gen_no_data_chunk.wav", kBad, 0, 0,
     "no data chunk before the end of the file (chunk header at byte 74, file size 74)"},
    {"a chunk announcing 4 GiB before the data is walked past the end",
     "gen_huge_chunk_before_data.wav", kBad, 0, 0,
     "no data chunk before the end of the file (chunk header at byte 4294967339, file size 66)"},

    {"an empty file ends in the RIFF id", "gen_cut_at_00.wav", kBad, 0, 0,
     "file ends inside the RIFF header at byte 0, in the RIFF id field"},
    {"a file cut inside the RIFF id", "gen_cut_at_02.wav", kBad, 0, 0,
     "file ends inside the RIFF header at byte 0, in the RIFF id field"},
    {"a file cut before the RIFF size", "gen_cut_at_04.wav", kBad, 0, 0,
     "file ends inside the RIFF header at byte 4, in the RIFF size field"},
    {"a file cut inside the RIFF size", "gen_cut_at_06.wav", kBad, 0, 0,
     "file ends inside the RIFF header at byte 4, in the RIFF size field"},
    {"a file cut before the form type", "gen_cut_at_08.wav", kBad, 0, 0,
     "file ends inside the RIFF header at byte 8, in the form type field"},
    {"a file cut inside the form type", "gen_cut_at_10.wav", kBad, 0, 0,
     "file ends inside the RIFF header at byte 8, in the form type field"},
    {"a file cut before the format chunk id", "gen_cut_at_12.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 12, in the chunk id field"},
    {"a file cut inside the format chunk id", "gen_cut_at_14.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 12, in the chunk id field"},
    {"a file cut before the format chunk size", "gen_cut_at_16.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 16, in the chunk size field"},
    {"a file cut inside the format chunk size", "gen_cut_at_18.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 16, in the chunk size field"},
    {"a file cut before the format tag", "gen_cut_at_20.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 20, in the format tag field"},
    {"a file cut inside the format tag", "gen_cut_at_21.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 20, in the format tag field"},
    {"a file cut before the channels", "gen_cut_at_22.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 22, in the channels field"},
    {"a file cut inside the channels", "gen_cut_at_23.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 22, in the channels field"},
    {"a file cut before the sample rate", "gen_cut_at_24.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 24, in the sample rate field"},
    {"a file cut inside the sample rate", "gen_cut_at_26.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 24, in the sample rate field"},
    {"a file cut before the byte rate", "gen_cut_at_28.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 28, in the byte rate field"},
    {"a file cut inside the byte rate", "gen_cut_at_30.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 28, in the byte rate field"},
    {"a file cut before the block align", "gen_cut_at_32.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 32, in the block align field"},
    {"a file cut inside the block align", "gen_cut_at_33.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 32, in the block align field"},
    {"a file cut before the bits per sample", "gen_cut_at_34.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 34, in the bits per sample field"},
    {"a file cut inside the bits per sample", "gen_cut_at_35.wav", kBad, 0, 0,
     "file ends inside the format chunk at byte 34, in the bits per sample field"},
    {"a file cut before the data chunk id", "gen_cut_at_36.wav", kBad, 0, 0,
     "no data chunk before the end of the file (chunk header at byte 36, file size 36)"},
    {"a file cut inside the data chunk id", "gen_cut_at_38.wav", kBad, 0, 0,
     "no data chunk before the end of the file (chunk header at byte 36, file size 38)"},
    {"a file cut before the data chunk size", "gen_cut_at_40.wav", kBad, 0, 0,
     "no data chunk before the end of the file (chunk header at byte 36, file size 40)"},
    {"a file cut inside the data chunk size", "gen_cut_at_42.wav", kBad, 0, 0,
     "no data chunk before the end of the file (chunk header at byte 36, file size 42)"},
};

TEST(WavReader, ReadsOrRefusesEachFileByItsStructure) {
    for (const StructureRow& row : kStructureRows) {
        SCOPED_TRACE(row.sentence);
        Signal signal;
        std::string detail = "left over";
        ASSERT_EQ(signal.readWav(fixture(row.file).c_str(), &detail), row.status);
        EXPECT_EQ(detail, row.detail);
        if (row.status != kOk) {
            expectEmpty(signal);
            continue;
        }
        EXPECT_EQ(signal.sampleRate(), 44100);
        EXPECT_EQ(signal.count(), row.count);
        EXPECT_EQ(signal.paddedLength(), row.paddedLength);
        ASSERT_NE(signal.samples(), nullptr);
        expectZeroPadding(signal);
    }
}

TEST(WavReader, ReadsTheSameFromMemoryAsFromTheFile) {
    for (const StructureRow& row : kStructureRows) {
        SCOPED_TRACE(row.sentence);
        const std::vector<unsigned char> bytes = fileBytes(fixture(row.file));
        Signal signal;
        std::string detail;
        ASSERT_EQ(signal.readWavBytes(bytes.data(), bytes.size(), &detail), row.status);
        EXPECT_EQ(detail, row.detail);
        EXPECT_EQ(signal.count(), row.count);
    }
}

// --- Sample values ----------------------------------------------------------
// Each sox fixture was made from raw samples whose values follow the formulas
// below (the same as in tests/data/make_wav_fixtures.py).

constexpr std::int32_t kSoxFrames = 300;

int mono16(int i) {
    const int head[] = {-32768, -1, 0, 1, 32767};
    return i < 5 ? head[i] : (i * 1021) % 65536 - 32768;
}

std::pair<int, int> stereo16(int i) {
    const std::pair<int, int> head[] = {{32767, 32767}, {-32768, 32767}, {-32768, -32768},
                                        {0, 0}, {1, -1}};
    if (i < 5) return head[i];
    return {(i * 1021) % 65536 - 32768, (i * 3001) % 65536 - 32768};
}

int mono8(int i) { return i < 256 ? i : (i * 37) % 256; }

std::pair<int, int> stereo8(int i) {
    const std::pair<int, int> head[] = {{0, 0}, {255, 255}, {128, 128}, {0, 255}, {128, 129}};
    if (i < 5) return head[i];
    return {(i * 7) % 256, (i * 13) % 256};
}

Signal readOrFail(const char* name) {
    Signal signal;
    std::string detail;
    EXPECT_EQ(signal.readWav(fixture(name).c_str(), &detail), kOk) << detail;
    return signal;
}

TEST(WavReader, SixteenBitMonoFromSoxIsValueOver32768) {
    Signal signal = readOrFail("sox_pcm16_mono.wav");
    ASSERT_EQ(signal.count(), kSoxFrames);
    ASSERT_EQ(signal.paddedLength(), 512);
    EXPECT_EQ(signal.samples()[0], -1.0f);
    EXPECT_EQ(signal.samples()[1], -1.0f / 32768.0f);
    EXPECT_EQ(signal.samples()[4], 0.999969482421875f);
    for (int i = 0; i < kSoxFrames; ++i) {
        ASSERT_EQ(signal.samples()[i], static_cast<float>(mono16(i) / 32768.0)) << "sample " << i;
    }
    expectZeroPadding(signal);
}

TEST(WavReader, SixteenBitStereoFromSoxIsTheSumOver65536) {
    Signal signal = readOrFail("sox_pcm16_stereo.wav");
    ASSERT_EQ(signal.count(), kSoxFrames);
    ASSERT_EQ(signal.paddedLength(), 512);
    EXPECT_EQ(signal.samples()[0], 0.999969482421875f);  // 32767 + 32767
    EXPECT_EQ(signal.samples()[1], -1.0f / 65536.0f);    // -32768 + 32767
    EXPECT_EQ(signal.samples()[2], -1.0f);               // -32768 + -32768
    EXPECT_EQ(signal.samples()[4], 0.0f);                // 1 + -1
    for (int i = 0; i < kSoxFrames; ++i) {
        const auto [left, right] = stereo16(i);
        ASSERT_EQ(signal.samples()[i], static_cast<float>((left + right) / 65536.0))
            << "frame " << i;
    }
    expectZeroPadding(signal);
}

TEST(WavReader, EightBitMonoFromSoxIsByteMinus128Over128) {
    Signal signal = readOrFail("sox_pcm8_mono.wav");
    ASSERT_EQ(signal.count(), kSoxFrames);
    EXPECT_EQ(signal.samples()[0], -1.0f);
    EXPECT_EQ(signal.samples()[128], 0.0f);
    EXPECT_EQ(signal.samples()[255], 0.9921875f);
    for (int i = 0; i < kSoxFrames; ++i) {
        ASSERT_EQ(signal.samples()[i], static_cast<float>((mono8(i) - 128) / 128.0))
            << "sample " << i;
    }
    expectZeroPadding(signal);
}

TEST(WavReader, EightBitStereoFromSoxIsTheSumMinus256Over256) {
    Signal signal = readOrFail("sox_pcm8_stereo.wav");
    ASSERT_EQ(signal.count(), kSoxFrames);
    EXPECT_EQ(signal.samples()[0], -1.0f);
    EXPECT_EQ(signal.samples()[1], 0.9921875f);
    EXPECT_EQ(signal.samples()[2], 0.0f);
    EXPECT_EQ(signal.samples()[3], -0.00390625f);
    EXPECT_EQ(signal.samples()[4], 0.00390625f);
    for (int i = 0; i < kSoxFrames; ++i) {
        const auto [left, right] = stereo8(i);
        ASSERT_EQ(signal.samples()[i], static_cast<float>((left + right - 256) / 256.0))
            << "frame " << i;
    }
    expectZeroPadding(signal);
}

struct ValueRow {
    const char* sentence;
    const char* file;
    std::vector<float> samples;
};

TEST(WavReader, GeneratedFilesKeepTheirSamples) {
    const std::vector<float> base = {-1.0f, -0.5f, 0.0f, 0.5f, 0.999969482421875f};
    const ValueRow rows[] = {
        {"the plain file", "gen_pcm16_mono.wav", base},
        {"12 bits are read unscaled from 16-bit containers", "gen_pcm12_mono.wav", base},
        {"the samples after an 18-byte format chunk", "gen_fmt18.wav", base},
        {"the samples after a padded 17-byte format chunk", "gen_fmt17_padded.wav", base},
        {"the samples after a LIST chunk", "gen_list_before_data.wav", base},
        {"the samples after a padded odd chunk", "gen_odd_chunk_padded.wav", base},
        {"the samples after an unpadded odd chunk", "gen_odd_chunk_unpadded.wav", base},
        {"the whole samples of an overrunning data chunk", "gen_data_overrun.wav",
         {-5 / 32768.0f, -4 / 32768.0f, -3 / 32768.0f, -2 / 32768.0f, -1 / 32768.0f, 0.0f,
          1 / 32768.0f, 2 / 32768.0f, 3 / 32768.0f, 4 / 32768.0f}},
        {"the two zero samples of an empty data chunk", "sox_pcm16_empty.wav", {0.0f, 0.0f}},
    };
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.sentence);
        Signal signal = readOrFail(row.file);
        ASSERT_GE(signal.paddedLength(), static_cast<std::int32_t>(row.samples.size()));
        for (std::size_t i = 0; i < row.samples.size(); ++i) {
            EXPECT_EQ(signal.samples()[i], row.samples[i]) << "sample " << i;
        }
    }
}

TEST(WavReader, StereoOf4410BytesIgnoresTheLoneValueAfterTheLastFrame) {
    Signal signal = readOrFail("gen_pcm16_stereo_4410.wav");
    ASSERT_EQ(signal.count(), 1102);
    for (int i = 0; i < 1102; ++i) {
        // Frame i holds i and i - 1102.
        ASSERT_EQ(signal.samples()[i], static_cast<float>((2 * i - 1102) / 65536.0))
            << "frame " << i;
    }
    expectZeroPadding(signal);
}

// --- Paths, parameters and state ------------------------------------------------

TEST(WavReader, ANullPathIsABadParameter) {
    Signal signal;
    ASSERT_EQ(signal.create(10), kOk);
    EXPECT_EQ(signal.readWav(nullptr), SignalStatus::BadParameter);
    expectEmpty(signal);
}

TEST(WavReader, AMissingFileIsAFileError) {
    Signal signal;
    std::string detail;
    EXPECT_EQ(signal.readWav(fixture("no_such_file.wav").c_str(), &detail),
              SignalStatus::FileError);
    EXPECT_NE(detail.find("no_such_file.wav"), std::string::npos) << detail;
    expectEmpty(signal);
}

TEST(WavReader, ADirectoryIsAFileError) {
    Signal signal;
    EXPECT_EQ(signal.readWav(SELVIK_TEST_DATA_DIR), SignalStatus::FileError);
    expectEmpty(signal);
}

TEST(WavReader, NullBytesWithASizeAreABadParameter) {
    Signal signal;
    EXPECT_EQ(signal.readWavBytes(nullptr, 12), SignalStatus::BadParameter);
    expectEmpty(signal);
}

TEST(WavReader, AFailedReadEmptiesASignalThatHeldAFile) {
    Signal signal = readOrFail("sox_pcm16_stereo.wav");
    ASSERT_EQ(signal.allocateSpectrum(), kOk);
    EXPECT_EQ(signal.readWav(fixture("gen_pcm16_3ch.wav").c_str()), kBad);
    expectEmpty(signal);
    EXPECT_EQ(signal.spectrum(), nullptr);
}

TEST(WavReader, ASuccessfulReadClearsAnEarlierReason) {
    Signal signal;
    std::string detail;
    ASSERT_EQ(signal.readWav(fixture("gen_pcm24_mono.wav").c_str(), &detail), kBad);
    ASSERT_FALSE(detail.empty());
    ASSERT_EQ(signal.readWav(fixture("gen_pcm16_mono.wav").c_str(), &detail), kOk);
    EXPECT_EQ(detail, "");
}

TEST(WavReader, ReadThenNormalizeLeavesThePeakAtOne) {
    Signal signal = readOrFail("gen_data_overrun.wav");
    signal.normalize();
    EXPECT_EQ(signal.samples()[0], -1.0f);
    EXPECT_EQ(signal.samples()[9], 0.8f);
}

// A file of 2^30 + 1 8-bit frames (the bytes are mapped, never touched past the
// header) must be refused before the 4 GiB sample array is asked for.
TEST(WavReader, MoreThan2To30FramesAreRefusedBeforeAllocation) {
    const std::size_t frames = (std::size_t{1} << 30) + 1;
    const std::size_t size = 44 + frames;
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) GTEST_SKIP() << "cannot map " << size << " bytes";
    auto* bytes = static_cast<unsigned char*>(mapped);
    const unsigned char header[44] = {
        'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        16, 0, 0, 0, 1, 0, 1, 0, 0x44, 0xac, 0, 0, 0x44, 0xac, 0, 0, 1, 0, 8, 0,
        'd', 'a', 't', 'a', 0x01, 0x00, 0x00, 0x40};  // 2^30 + 1 bytes
    std::copy(std::begin(header), std::end(header), bytes);
    Signal signal;
    std::string detail;
    EXPECT_EQ(signal.readWavBytes(bytes, size, &detail), SignalStatus::OutOfMemory);
    EXPECT_EQ(detail, "1073741825 frames; at most 1073741824 are read");
    expectEmpty(signal);
    munmap(mapped, size);
}

}  // namespace
}  // namespace selvik
