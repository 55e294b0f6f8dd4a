#include "cli/Rendering.h"

#include "cli/ExitStatus.h"
#include "core/MessageService.h"
#include "midi/ports/SongRenderer.h"
#include "midi/ports/SoundFontLocator.h"

namespace selvik::cli {

int renderToWav(const Song& song, const std::string& path, std::optional<int> program) {
    const std::optional<std::string> soundFont = findSoundFont();
    if (!soundFont) {
        showMessage("cannot render " + path +
                    ": no General MIDI soundfont found (install timgm6mb-soundfont, or set "
                    "SELVIK_SOUNDFONT to a .sf2 file)");
        return kExitUnavailable;
    }
    const RenderOutcome outcome = renderSong(song, path, *soundFont, program);
    if (!outcome.ok) {
        showMessage("cannot render " + path + " (" + outcome.error + ")");
        return kExitNothingWritten;
    }
    return kExitOk;
}

}  // namespace selvik::cli
