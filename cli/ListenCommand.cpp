#include "cli/ListenCommand.h"

#include <string_view>

#include "cli/ExitStatus.h"
#include "cli/Modules.h"
#include "core/MessageService.h"
#include "pipeline/RecordingLoader.h"

namespace selvik::cli {

int listenToInput(const std::string& input, std::FILE* err, bool showProgress,
                  const std::atomic<bool>& interrupted) {
    ScopedMessageHandler print([&](std::string_view text) {
        std::fprintf(err, "%s: %.*s\n", input.c_str(), static_cast<int>(text.size()), text.data());
    });
    Recording recording;
    const LoadOutcome loaded = loadRecordingWithDetail(input, nullptr, recording, nullptr, &interrupted);
    if (loaded == LoadOutcome::Unreadable) return kExitInputUnreadable;
    if (loaded == LoadOutcome::Cancelled || interrupted) return kExitInterrupted;
    const SoundModule* sound = soundModule("play");
    if (sound == nullptr) return kExitUnavailable;
    return sound->listen(&showMessage, input, recording.signal, err, showProgress, interrupted);
}

}  // namespace selvik::cli
