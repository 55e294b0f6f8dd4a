// Damaged, foreign, overlong and interrupted files, progress and memory.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "AudioFileTestSupport.h"
#include "audiofile/AudioLoad.h"
#include "signal/Signal.h"

namespace selvik {
namespace {

using test::RecordedProgress;
using test::ScratchFolder;

Signal readClassic(const std::string& path) {
    Signal signal;
    EXPECT_EQ(signal.readWav(path.c_str()), SignalStatus::NoError);
    return signal;
}

std::string clock(double seconds) {
    const auto whole = static_cast<int>(seconds);
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
    return text;
}

bool makeFlac(const std::string& out) {
    return test::run("flac -s -f -o '" + out + "' '" + test::melodyWav() + "'");
}

// --- Damaged files keep what was decoded ------------------------------------------

struct DamageRow {
    const char* sentence;
    const char* file;
    std::function<void(const std::string&)> damage;
    // libFLAC fills a frame that fails its check with silence and goes on:
    // how many samples may be such silence instead of the original.
    std::int32_t silenced;
};

TEST(AudioLoadDamage, ADamagedFlacKeepsTheFramesBeforeTheDamageAndSaysWhereItStopped) {
    const std::string missing = test::missingTool({"flac"});
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
    const DamageRow rows[] = {
        {"a FLAC cut off at half its length", "cut.flac",
         [](const std::string& path) {
             std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
         },
         0},
        {"a FLAC with 64 bytes overwritten in the middle", "overwritten.flac",
         [](const std::string& path) {
             std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp(static_cast<std::streamoff>(std::filesystem::file_size(path) / 2));
             const std::string junk(64, '\xff');
             file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
         },
         3 * 4096},
    };
    const Signal original = readClassic(test::melodyWav());
    ScratchFolder folder;
    for (const DamageRow& row : rows) {
        SCOPED_TRACE(row.sentence);
        const std::string path = folder.file(row.file);
        ASSERT_TRUE(makeFlac(path));
        row.damage(path);
        AudioLoad load = loadAudioFile(path.c_str(), nullptr, nullptr);
        ASSERT_EQ(load.status, AudioLoadStatus::Loaded) << load.reason;
        EXPECT_FALSE(load.classicFormat);
        const std::int32_t count = load.signal.count();
        EXPECT_GT(count, original.count() / 5);
        EXPECT_LT(count, original.count());
        EXPECT_DOUBLE_EQ(load.seconds, count / 44100.0);
        ASSERT_EQ(load.notes.size(), 1u);
        EXPECT_EQ(load.notes[0].rfind("decoding stopped at " + clock(load.seconds) + " (", 0), 0u)
            << load.notes[0];
        EXPECT_EQ(load.notes[0].back(), ')');
        // FLAC is lossless: what was decoded is the original, or silence.
        std::int32_t silenced = 0;
        for (std::int32_t i = 0; i < count; ++i) {
            if (load.signal.samples()[i] == original.samples()[i]) continue;
            ASSERT_EQ(load.signal.samples()[i], 0.0f) << "sample " << i;
            ++silenced;
        }
        EXPECT_LE(silenced, row.silenced);
    }
}

TEST(AudioLoadDamage, AFlacWithNoFramesIsLoadedEmpty) {
    const std::string missing = test::missingTool({"sox"});
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
    ScratchFolder folder;
    const std::string path = folder.file("empty.flac");
    // Debian's libsndfile gives this file a header count of 2^63 - 1.
    ASSERT_TRUE(test::run("sox -n -r 44100 -c 1 -b 16 '" + path + "' trim 0 0"));
    AudioLoad load = loadAudioFile(path.c_str(), nullptr, nullptr);
    ASSERT_EQ(load.status, AudioLoadStatus::Loaded) << load.reason;
    EXPECT_TRUE(load.notes.empty());
    EXPECT_EQ(load.signal.count(), 0);
    ASSERT_EQ(load.signal.paddedLength(), 2);
    EXPECT_EQ(load.signal.samples()[0], 0.0f);
    EXPECT_EQ(load.signal.samples()[1], 0.0f);
    EXPECT_EQ(load.seconds, 0.0);
}

// --- Files that are refused ---------------------------------------------------------

TEST(AudioLoadRefusals, WhatNoReaderTakesIsUnreadableWithOneLineOfReason) {
    ScratchFolder folder;
    const std::string text = folder.file("notes.txt");
    std::ofstream(text) << "hello, this is no recording\n";
    struct Row {
        const char* sentence;
        std::string path;
        std::string reason;
    };
    const Row rows[] = {
        {"a text file names both readers' reasons", text,
         "libsndfile: Format not recognised; classic WAV reader: RIFF id \"hell\"; only \"RIFF\" "
         "is read"},
        {"a missing file", folder.file("none.wav"),
         "cannot open \"" + folder.file("none.wav") + "\" for reading"},
        {"a directory", SELVIK_TEST_DATA_DIR, "\"" SELVIK_TEST_DATA_DIR "\" is a directory"},
        {"a WAV with no channels names both readers' reasons",
         test::wavFixture("gen_pcm16_0ch.wav"),
         "libsndfile: Channel count is zero; classic WAV reader: 0 channels; only mono and "
         "stereo are read"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sentence);
        AudioLoad load = loadAudioFile(row.path.c_str(), nullptr, nullptr);
        EXPECT_EQ(load.status, AudioLoadStatus::Unreadable);
        EXPECT_EQ(load.reason, row.reason);
        EXPECT_EQ(load.signal.samples(), nullptr);
        EXPECT_TRUE(load.notes.empty());
    }
}

// A WAV header for `seconds` of 16-bit mono at `rate`, with the data left as
// a hole in a sparse file: a seven-hour file costs a few bytes of disk.
void writeSparseWav(const std::string& path, std::uint32_t rate, std::uint32_t seconds) {
    const std::uint64_t dataBytes = std::uint64_t{rate} * seconds * 2;
    ASSERT_LT(dataBytes + 36, std::uint64_t{1} << 32);
    std::vector<unsigned char> header;
    auto u16 = [&](std::uint32_t v) {
        header.push_back(static_cast<unsigned char>(v & 0xff));
        header.push_back(static_cast<unsigned char>(v >> 8 & 0xff));
    };
    auto u32 = [&](std::uint64_t v) {
        u16(static_cast<std::uint32_t>(v & 0xffff));
        u16(static_cast<std::uint32_t>(v >> 16 & 0xffff));
    };
    auto text = [&](const char* id) {
        for (int i = 0; i < 4; ++i) header.push_back(static_cast<unsigned char>(id[i]));
    };
    text("RIFF");
    u32(36 + dataBytes);
    text("WAVE");
    text("fmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    text("data");
    u32(dataBytes);
    test::writeBytes(path, header);
    std::filesystem::resize_file(path, header.size() + dataBytes);
}

TEST(AudioLoadRefusals, AHeaderClaimingMoreThanSixHoursIsRefusedBeforeDecoding) {
    struct Row {
        const char* sentence;
        const char* file;
        std::uint32_t rate;
    };
    const Row rows[] = {
        {"a classic WAV of seven hours", "classic7h.wav", 44100},
        {"a 48 kHz WAV of seven hours, read by libsndfile", "rate48000_7h.wav", 48000},
    };
    ScratchFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sentence);
        const std::string path = folder.file(row.file);
        writeSparseWav(path, row.rate, 7 * 3600);
        RecordedProgress progress;
        AudioLoad load = loadAudioFile(path.c_str(), &progress, nullptr);
        EXPECT_EQ(load.status, AudioLoadStatus::TooLong);
        EXPECT_EQ(load.reason, "longer than 6 hours (7:00:00)");
        EXPECT_EQ(load.seconds, 7 * 3600.0);
        EXPECT_EQ(load.sourceRate, static_cast<std::int32_t>(row.rate));
        EXPECT_EQ(load.signal.samples(), nullptr);
        // Not a frame was read: the progress was never even set up.
        EXPECT_TRUE(progress.ranges.empty());
        EXPECT_TRUE(progress.positions.empty());
    }
}

// A FLAC written to a pipe has no frame count in its header, so only the
// decoding can tell; it must stop as soon as it passes the limit.
TEST(AudioLoadRefusals, AStreamWithoutACountStopsAsSoonAsItPassesTheLimit) {
    const std::string missing = test::missingTool({"sox", "flac"});
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
    ScratchFolder folder;
    const std::string path = folder.file("stream.flac");
    ASSERT_TRUE(test::run("sox '" + test::melodyWav() +
                          "' -t raw - | flac -s -c --force-raw-format --endian=little "
                          "--sign=signed --channels=1 --bps=16 --sample-rate=44100 - > '" +
                          path + "'"));
    AudioLoadLimits limits;
    limits.maxSeconds = 2.0;
    RecordedProgress progress;
    AudioLoad load = loadAudioFile(path.c_str(), &progress, nullptr, limits);
    EXPECT_EQ(load.status, AudioLoadStatus::TooLong);
    EXPECT_EQ(load.reason, "longer than 0:02 (stopped reading at 0:02)");
    EXPECT_GT(load.seconds, 2.0);
    EXPECT_LE(load.seconds, 2.0 + 65536 / 44100.0);  // within one chunk
    EXPECT_EQ(load.signal.samples(), nullptr);
    ASSERT_FALSE(progress.positions.empty());
    EXPECT_LT(progress.positions.back(), 600);  // of 1000: the 8.75 s were not all read

    // With the program's limit the same stream is read to its end.
    AudioLoad whole = loadAudioFile(path.c_str(), nullptr, nullptr);
    ASSERT_EQ(whole.status, AudioLoadStatus::Loaded) << whole.reason;
    EXPECT_EQ(whole.signal.count(), readClassic(test::melodyWav()).count());
}

// --- Progress and cancelling ------------------------------------------------------------

// Sets the cancel flag once it has seen `after` positions.
class CancellingProgress : public RecordedProgress {
public:
    CancellingProgress(std::atomic<bool>& flag, std::size_t after) : flag_(flag), after_(after) {}
    void setPosition(std::int32_t position) override {
        RecordedProgress::setPosition(position);
        if (positions.size() >= after_) flag_ = true;
    }

private:
    std::atomic<bool>& flag_;
    std::size_t after_;
};

bool strictlyRising(const std::vector<std::int32_t>& values) {
    for (std::size_t i = 1; i < values.size(); ++i) {
        if (values[i] <= values[i - 1]) return false;
    }
    return true;
}

TEST(AudioLoadProgress, ThePositionRisesWithTheSourceReadAndEndsAtTheTop) {
    const std::string missing = test::missingTool({"sox", "flac"});
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
    ScratchFolder folder;
    const std::string flac = folder.file("melody.flac");
    ASSERT_TRUE(makeFlac(flac));
    const std::string opposite = folder.file("opposite.wav");
    ASSERT_TRUE(test::run("sox -D '" + test::melodyWav() + "' -c 2 '" + opposite +
                          "' remix 1 1v-0.9"));
    struct Row {
        const char* sentence;
        std::string path;
        std::vector<std::pair<std::int32_t, std::int32_t>> ranges;
    };
    const Row rows[] = {
        {"a classic WAV is read once", test::melodyWav(), {{0, 1000}}},
        {"a FLAC is read once", flac, {{0, 1000}}},
        {"channels that cancel out are read twice, the range growing for the second pass",
         opposite, {{0, 1000}, {0, 2000}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sentence);
        RecordedProgress progress;
        AudioLoad load = loadAudioFile(row.path.c_str(), &progress, nullptr);
        ASSERT_EQ(load.status, AudioLoadStatus::Loaded) << load.reason;
        EXPECT_EQ(progress.ranges, row.ranges);
        EXPECT_GT(progress.positions.size(), 4u);
        EXPECT_TRUE(strictlyRising(progress.positions));
        ASSERT_FALSE(progress.positions.empty());
        EXPECT_EQ(progress.positions.back(), row.ranges.back().second);
    }
}

TEST(AudioLoadProgress, ACancelFlagEndsTheLoadAtTheNextChunk) {
    const std::string missing = test::missingTool({"flac"});
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
    ScratchFolder folder;
    const std::string flac = folder.file("melody.flac");
    ASSERT_TRUE(makeFlac(flac));
    struct Row {
        const char* sentence;
        std::string path;
        std::size_t after;  // positions before the flag is set; 0: set from the start
        std::size_t positions;
    };
    const Row rows[] = {
        {"a flag set from the start reads nothing", test::melodyWav(), 0, 0},
        {"a classic WAV stops after the chunk that saw the flag set", test::melodyWav(), 2, 2},
        {"a FLAC stops after the chunk that saw the flag set", flac, 3, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sentence);
        std::atomic<bool> cancel{row.after == 0};
        CancellingProgress progress(cancel, row.after);
        AudioLoad load = loadAudioFile(row.path.c_str(), &progress, &cancel);
        EXPECT_EQ(load.status, AudioLoadStatus::Cancelled);
        EXPECT_EQ(load.reason, "cancelled");
        EXPECT_EQ(load.signal.samples(), nullptr);
        EXPECT_EQ(progress.positions.size(), row.positions);
    }
}

// --- Memory ---------------------------------------------------------------------------

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Loads `path` with room for only 64 MB more address space (run in a child
// process); 0 when the load ends as OutOfMemory.
int loadWithLittleRoom(const std::string& path) {
    long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) return 3;
    std::fclose(statm);
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                         (rlim_t{64} << 20);
    const rlimit bound{limit, limit};
    if (setrlimit(RLIMIT_AS, &bound) != 0) return 4;
    AudioLoad load = loadAudioFile(path.c_str(), nullptr, nullptr);
    std::fprintf(stderr, "status %d: %s\n", static_cast<int>(load.status), load.reason.c_str());
    return load.status == AudioLoadStatus::OutOfMemory ? 0 : 1;
}

// Ten minutes at 8 kHz become 106 MB of samples at 44100 Hz: more than the
// child process may take.
TEST(AudioLoadMemory, RunningOutOfMemoryIsAStatusNotACrash) {
    if (kSanitized) GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
    ScratchFolder folder;
    const std::string path = folder.file("ten_minutes.wav");
    writeSparseWav(path, 8000, 600);
    EXPECT_EXIT(std::_Exit(loadWithLittleRoom(path)), ::testing::ExitedWithCode(0),
                "status 3: not enough memory");
}

}  // namespace
}  // namespace selvik
