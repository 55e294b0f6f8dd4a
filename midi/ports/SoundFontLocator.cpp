#include "midi/ports/SoundFontLocator.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace selvik {

namespace {

constexpr const char* kOverrideVariable = "SELVIK_SOUNDFONT";
constexpr const char* kSearchedPaths[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",  // Debian's alternative, a link to the chosen one
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
};

// stat() follows links, so a dangling default-GM.sf2 does not count.
bool isReadableRegularFile(const char* path) {
    struct stat info{};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode) && ::access(path, R_OK) == 0;
}

}  // namespace

std::optional<std::string> findSoundFont() {
    if (const char* chosen = std::getenv(kOverrideVariable); chosen && *chosen) {
        if (isReadableRegularFile(chosen)) return std::string(chosen);
        return std::nullopt;
    }
    for (const char* path : kSearchedPaths) {
        if (isReadableRegularFile(path)) return std::string(path);
    }
    return std::nullopt;
}

}  // namespace selvik
