#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Conversion.h"
#include "cli/ConverterOptions.h"
#include "cli/ExitStatus.h"
#include "cli/Listening.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    // A second Ctrl-C ends at once; the MIDI writer never leaves a partial
    // file in place of the target, so nothing is lost.
    if (interrupted.exchange(true)) _exit(selvik::cli::kExitInterrupted);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace selvik::cli;
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
    const bool showProgress = !options.quiet && isatty(fileno(stderr));
    int status = kExitOk;
    for (const std::string& input : options.inputs) {
        if (interrupted) break;
        const int result =
            options.listen
                ? listenToInput(input, stderr, showProgress, interrupted)
                : convertInput(input, options, stdout, stderr, showProgress, interrupted);
        status = std::max(status, result);
    }
    if (interrupted) return kExitInterrupted;
    return status;
}
