#include "cli/Listening.h"

#include <chrono>
#include <memory>
#include <thread>

#include "cli/ExitStatus.h"
#include "cli/TerminalProgress.h"
#include "core/MessageService.h"
#include "preview/PreviewPlayer.h"
#include "preview/SdlSoundOutput.h"

namespace selvik::cli {

int listenToSignal(const std::string& input, const Signal& signal, std::FILE* err, bool showProgress,
                   const std::atomic<bool>& interrupted) {
    if (signal.count() == 0) {
        showMessage("the recording holds no samples; nothing to play");
        return kExitOk;
    }

    auto sdl = std::make_unique<SdlSoundOutput>();
    SdlSoundOutput& output = *sdl;
    PreviewPlayer player(std::move(sdl));
    if (!player.soundReady()) {
        showMessage("cannot play: no audio output could be opened (" + output.lastError() + ")");
        return kExitUnavailable;
    }
    player.play(&signal);
    if (!player.isPlaying()) {
        showMessage("cannot play: the audio output did not start (" + output.lastError() + ")");
        player.close();
        return kExitUnavailable;
    }

    const double duration = static_cast<double>(signal.count()) / signal.sampleRate();
    const std::string total = clockText(duration);
    const auto started = std::chrono::steady_clock::now();
    std::string shown;
    while (player.isPlaying() && !interrupted) {
        if (showProgress) {
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
            const std::string now = clockText(std::min(elapsed.count(), duration));
            if (now != shown) {
                std::fprintf(err, "\r%s: playing %s / %s", input.c_str(), now.c_str(),
                             total.c_str());
                std::fflush(err);
                shown = now;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (showProgress && !shown.empty()) {
        // Erase the line so that what follows starts clean.
        std::fprintf(err, "\r\033[K");
        std::fflush(err);
    }
    player.close();
    return interrupted ? kExitInterrupted : kExitOk;
}

}  // namespace selvik::cli
