// Which soundfont the synthesizer and the renderer use.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "midi/ports/SoundFontLocator.h"

namespace selvik {
namespace {

namespace fs = std::filesystem;

class SoundFontLocation : public testing::Test {
protected:
    void SetUp() override {
        if (const char* value = std::getenv("SELVIK_SOUNDFONT")) saved_ = value;
        char pattern[] = "/tmp/selvik-soundfont-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (saved_) {
            setenv("SELVIK_SOUNDFONT", saved_->c_str(), 1);
        } else {
            unsetenv("SELVIK_SOUNDFONT");
        }
        fs::remove_all(dir_);
    }

    std::optional<std::string> saved_;
    fs::path dir_;
};

TEST_F(SoundFontLocation, OverrideNamesTheFileToUseWithoutLoadingIt) {
    const fs::path mine = dir_ / "mine.sf2";
    std::ofstream(mine) << "not checked here";
    setenv("SELVIK_SOUNDFONT", mine.c_str(), 1);
    EXPECT_EQ(findSoundFont(), std::optional<std::string>(mine.string()));
}

TEST_F(SoundFontLocation, OverrideToAMissingFileMeansNoSoundFontEvenWhenOneIsInstalled) {
    setenv("SELVIK_SOUNDFONT", (dir_ / "missing.sf2").c_str(), 1);
    EXPECT_EQ(findSoundFont(), std::nullopt);
}

TEST_F(SoundFontLocation, OverrideToAFolderMeansNoSoundFont) {
    setenv("SELVIK_SOUNDFONT", dir_.c_str(), 1);
    EXPECT_EQ(findSoundFont(), std::nullopt);
}

TEST_F(SoundFontLocation, OverrideThroughALinkIsFollowedToTheFile) {
    const fs::path real = dir_ / "real.sf2";
    std::ofstream(real) << "x";
    fs::create_symlink(real, dir_ / "link.sf2");
    setenv("SELVIK_SOUNDFONT", (dir_ / "link.sf2").c_str(), 1);
    EXPECT_EQ(findSoundFont(), std::optional<std::string>((dir_ / "link.sf2").string()));
    fs::remove(real);
    EXPECT_EQ(findSoundFont(), std::nullopt) << "a dangling link is no soundfont";
}

// The General MIDI soundfont is one of the packages the project installs.
TEST_F(SoundFontLocation, SystemSoundFontIsFoundWithoutOverridePreferringTheDefaultAlternative) {
    unsetenv("SELVIK_SOUNDFONT");
    const std::optional<std::string> found = findSoundFont();
    ASSERT_TRUE(found) << "no soundfont installed (timgm6mb-soundfont)";
    EXPECT_TRUE(fs::is_regular_file(*found));
    const fs::path preferred = "/usr/share/sounds/sf2/default-GM.sf2";
    if (fs::is_regular_file(preferred)) {
        EXPECT_EQ(*found, preferred.string());
    } else {
        EXPECT_EQ(*found, "/usr/share/sounds/sf2/TimGM6mb.sf2");
    }
}

TEST_F(SoundFontLocation, EmptyOverrideCountsAsUnset) {
    unsetenv("SELVIK_SOUNDFONT");
    const std::optional<std::string> unset = findSoundFont();
    setenv("SELVIK_SOUNDFONT", "", 1);
    EXPECT_EQ(findSoundFont(), unset);
}

}  // namespace
}  // namespace selvik
