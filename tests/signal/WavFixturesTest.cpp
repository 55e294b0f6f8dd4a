// The committed gen_* fixtures must be what their generator writes today. The
// generator is a Python script, run here by the host's interpreter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace selvik {
namespace {

std::vector<unsigned char> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

TEST(WavFixtures, GeneratedFilesMatchTheirGenerator) {
    if (std::system("/usr/bin/python3 -c '' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is not installed";
    }
    const std::filesystem::path out = std::filesystem::path(SELVIK_BINARY_DIR) / "wav-fixture-check";
    const std::string command = "/usr/bin/python3 '" + std::string(SELVIK_TEST_DATA_DIR) +
                                "/make_wav_fixtures.py' --no-sox --out '" + out.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    int compared = 0;
    const std::filesystem::path committed = std::filesystem::path(SELVIK_TEST_DATA_DIR) / "wav";
    for (const auto& entry : std::filesystem::directory_iterator(committed)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("gen_", 0) != 0) continue;
        SCOPED_TRACE(name);
        EXPECT_EQ(fileBytes(out / name), fileBytes(entry.path()));
        ++compared;
    }
    EXPECT_GT(compared, 40);
}

}  // namespace
}  // namespace selvik
