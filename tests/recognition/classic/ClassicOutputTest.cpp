// The classic method's MIDI files for the bundled recordings must stay byte
// for byte those committed in tests/data/classic, on every processor: the
// arm64 build runs this under qemu against the same files. The other tests
// compare the method with itself; this one compares it with its past.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "midi/MidiFileWriter.h"
#include "midi/Song.h"
#include "midi/SongBuilder.h"
#include "recognition/classic/ClassicMethod.h"
#include "recognition/classic/Recognizer.h"

namespace selvik {
namespace {

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

MethodSettings parameters(std::int32_t blockSize, std::int32_t polyphony, float threshold,
                              std::int32_t windowType, std::int32_t subsampling,
                              std::int32_t passes) {
    MethodSettings p;
    p.blockSize = blockSize;
    p.polyphony = polyphony;
    p.threshold = threshold;
    p.windowType = windowType;
    p.subsampling = subsampling;
    p.passes = passes;
    return p;
}

struct Row {
    const char* name;  // of the committed file, tests/data/classic/NAME.mid
    const char* recording;  // relative to the source folder
    MethodSettings parameters;
};

// Every window, block size and pass count, a few polyphonies and thresholds.
const Row kRows[] = {
    {"flute_defaults", "examples/melody_flute.wav", MethodSettings{}},
    {"flute_hanning_4096_poly4", "examples/melody_flute.wav", parameters(4096, 4, 0.5f, 1, 2, 4)},
    {"flute_gaussian_1024_poly8", "examples/melody_flute.wav", parameters(1024, 8, 0.3f, 0, 8, 3)},
    {"ocarina_blackman_8192_poly2", "tests/data/melodies/melody_ocarina_low.wav",
     parameters(8192, 2, 0.6f, 2, 1, 1)},
};

TEST(ClassicOutput, GivesTheCommittedMidiFilesForTheBundledRecordings) {
    const std::filesystem::path source(SELVIK_SOURCE_DIR);
    const std::filesystem::path written = std::filesystem::path(SELVIK_BINARY_DIR) / "classic-output";
    std::filesystem::create_directories(written);
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        Recognizer recognizer;
        recognizer.loadWav((source / row.recording).c_str());
        ASSERT_GT(recognizer.signal().paddedLength(), 0);
        const MethodResult result = runClassicAnalysis(recognizer, row.parameters, nullptr);
        ASSERT_EQ(result.outcome, MethodOutcome::Completed);
        Song song;
        ASSERT_TRUE(buildSong(result.notes, song));
        const std::filesystem::path got = written / (std::string(row.name) + ".mid");
        ASSERT_EQ(writeMidiFile(got.c_str(), &song), MidiResult::Success);
        const std::string expected =
            fileBytes(source / "tests/data/classic" / (std::string(row.name) + ".mid"));
        ASSERT_FALSE(expected.empty()) << "no committed file";
        EXPECT_TRUE(fileBytes(got) == expected) << "other bytes, written to " << got;
    }
}

}  // namespace
}  // namespace selvik
