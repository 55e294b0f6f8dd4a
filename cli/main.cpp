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
#include "cli/Listening.h"
#include "cli/Plotting.h"
#include "midi/MidiDeviceList.h"
#include "midi/OutputFile.h"
#include "midi/ports/DefaultMidiBackends.h"
#include "midi/ports/LibraryLogs.h"

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
    using selvik::setMidiBackends;
    using selvik::enumerateMidiDevices;
    using selvik::defaultMidiBackends;
    using selvik::silenceLibraryLogs;
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
        silenceLibraryLogs();
        setMidiBackends(defaultMidiBackends());
        enumerateMidiDevices();
    }
    if (options.listDevices) {
        for (const selvik::MidiOutputDevice& device : selvik::midiDevices()) {
            std::printf("%u: %s\n", device.deviceId, device.name.c_str());
        }
        if (selvik::midiDeviceCount() == 0) {
            std::fputs("selvik-convert: no MIDI output devices (no soundfont for the built-in "
                       "synthesizer, no system MIDI ports)\n",
                       stderr);
        }
        return kExitOk;
    }
    if (options.play) {
        if (selvik::midiDeviceCount() == 0) {
            std::fputs("selvik-convert: cannot play: there is no MIDI output device (no General "
                       "MIDI soundfont for the built-in synthesizer: install timgm6mb-soundfont "
                       "or set SELVIK_SOUNDFONT; no system MIDI ports)\n",
                       stderr);
            return kExitUnavailable;
        }
        if (options.device >= selvik::midiDeviceCount()) {
            std::fprintf(stderr,
                         "selvik-convert: --device: there is no device %d; the devices are 0..%d "
                         "(see --list-devices)\nRun with --help for more information.\n",
                         options.device, selvik::midiDeviceCount() - 1);
            return kExitUsage;
        }
    }
    std::unique_ptr<OffscreenGui> gui;
    if (options.plot) gui = std::make_unique<OffscreenGui>();
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
