#include "cli/Listening.h"

#include <chrono>
#include <memory>
#include <thread>

#include "cli/ExitStatus.h"
#include "cli/TerminalProgress.h"
#include "core/MessageService.h"
#include "pipeline/RecordingLoader.h"
#include "preview/PreviewPlayer.h"
#include "preview/SdlSoundOutput.h"

namespace selvik::cli {

int listenToInput(const std::string& input, std::FILE* err, bool showProgress,
                  const std::atomic<bool>& interrupted) {
    Recording recording;
    {
        ScopedMessageHandler print([&](std::string_view text) {
            std::fprintf(err, "%s: %.*s\n", input.c_str(), static_cast<int>(text.size()), text.data());
        });
        const LoadOutcome loaded = loadRecordingWithDetail(input, nullptr, recording, nullptr, &interrupted);
        if (loaded == LoadOutcome::Unreadable) return kExitInputUnreadable;
        if (loaded == LoadOutcome::Cancelled) return kExitInterrupted;
    }
    if (interrupted) return kExitInterrupted;
    const Signal& signal = recording.signal;
    if (signal.count() == 0) {
        std::fprintf(err, "%s: the recording holds no samples; nothing to play\n", input.c_str());
        return kExitOk;
    }

    auto sdl = std::make_unique<SdlSoundOutput>();
    SdlSoundOutput& output = *sdl;
    PreviewPlayer player(std::move(sdl));
    if (!player.soundReady()) {
        std::fprintf(err, "%s: cannot play: no audio output could be opened (%s)\n",
                     input.c_str(), output.lastError().c_str());
        return kExitUnavailable;
    }
    player.play(&signal);
    if (!player.isPlaying()) {
        std::fprintf(err, "%s: cannot play: the audio output did not start (%s)\n",
                     input.c_str(), output.lastError().c_str());
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
