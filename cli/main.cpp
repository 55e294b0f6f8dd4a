#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/BatchConversion.h"
#include "cli/ConverterOptions.h"
#include "cli/ExitStatus.h"
#include "cli/ListenCommand.h"
#include "cli/Modules.h"
#include "core/MessageService.h"
#include "midi/OutputFile.h"
#include "platform/LinuxLargePages.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    // A second Ctrl-C ends at once. The MIDI and WAV writers never leave a
    // partial file in place of the target, and the temporary files they are
    // writing go with the program.
    if (interrupted.exchange(true)) {
        selvik::OutputFile::removeTemporaryFiles();
        _exit(selvik::cli::kExitInterrupted);
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace selvik::cli;
    selvik::platform::installLargePages();
    using selvik::MessageHandler;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParseResult parsed = parseConverterOptions(arguments);
    std::fputs(parsed.out.c_str(), stdout);
    std::fputs(parsed.err.c_str(), stderr);
    if (!parsed.options) return parsed.exitStatus;

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    const ConverterOptions& options = *parsed.options;
    if (options.listDevices || options.play) {
        // Before any input: a missing module is said once, not per input.
        const MessageHandler previous = selvik::setMessageHandler([](std::string_view text) {
            std::fprintf(stderr, "selvik-convert: %.*s\n", static_cast<int>(text.size()), text.data());
        });
        const SoundModule* sound = soundModule(options.play ? "play" : "list the MIDI devices");
        selvik::setMessageHandler(previous);
        if (sound == nullptr) return kExitUnavailable;
        if (options.listDevices) return sound->listDevices(stdout, stderr);
        const int status = sound->preparePlayback(options.device, stderr);
        if (status != kExitOk) return status;
    }
    const bool showProgress = !options.quiet && isatty(fileno(stderr));
    if (!options.listen) return convertAll(options, stdout, stderr, showProgress, interrupted);
    int status = kExitOk;
    for (const std::string& input : options.inputs) {
        if (interrupted) break;
        status = std::max(status, listenToInput(input, stderr, showProgress, interrupted));
    }
    if (interrupted) return kExitInterrupted;
    return status;
}
