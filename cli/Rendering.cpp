#include "cli/Rendering.h"

#include "cli/ExitStatus.h"
#include "midi/ports/SongRenderer.h"
#include "midi/ports/SoundFontLocator.h"

namespace selvik::cli {

int renderToWav(const std::string& input, const Song& song, const std::string& path,
                std::optional<int> program, std::FILE* err) {
    const std::optional<std::string> soundFont = findSoundFont();
    if (!soundFont) {
        std::fprintf(err,
                     "%s: cannot render %s: no General MIDI soundfont found (install "
                     "timgm6mb-soundfont, or set SELVIK_SOUNDFONT to a .sf2 file)\n",
                     input.c_str(), path.c_str());
        return kExitUnavailable;
    }
    const RenderOutcome outcome = renderSong(song, path, *soundFont, program);
    if (!outcome.ok) {
        std::fprintf(err, "%s: cannot render %s (%s)\n", input.c_str(), path.c_str(),
                     outcome.error.c_str());
        return kExitNothingWritten;
    }
    return kExitOk;
}

}  // namespace selvik::cli
