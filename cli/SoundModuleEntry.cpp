// The entry point of selvik-convert-sound.so: the converter's sound outputs
// over the synthesizer, MIDI and audio libraries.

#include <string_view>

#include "cli/ExitStatus.h"
#include "cli/Listening.h"
#include "cli/Playing.h"
#include "cli/Rendering.h"
#include "cli/SoundModule.h"
#include "core/MessageService.h"
#include "midi/MidiDeviceList.h"
#include "midi/ports/DefaultMidiBackends.h"
#include "midi/ports/LibraryLogs.h"

namespace selvik::cli {

namespace {

// The module's code shows its messages through the converter's service.
class ForwardedMessages {
public:
    explicit ForwardedMessages(ShowMessage show) : scope_([show](std::string_view text) { show(text); }) {}

private:
    ScopedMessageHandler scope_;
};

void buildDeviceList() {
    silenceLibraryLogs();
    setMidiBackends(defaultMidiBackends());
    enumerateMidiDevices();
}

int listDevices(std::FILE* out, std::FILE* err) {
    buildDeviceList();
    for (const MidiOutputDevice& device : midiDevices()) std::fprintf(out, "%u: %s\n", device.deviceId, device.name.c_str());
    if (midiDeviceCount() == 0) {
        std::fputs("selvik-convert: no MIDI output devices (no soundfont for the built-in "
                   "synthesizer, no system MIDI ports)\n",
                   err);
    }
    return kExitOk;
}

int preparePlayback(int device, std::FILE* err) {
    buildDeviceList();
    if (midiDeviceCount() == 0) {
        std::fputs("selvik-convert: cannot play: there is no MIDI output device (no General "
                   "MIDI soundfont for the built-in synthesizer: install timgm6mb-soundfont "
                   "or set SELVIK_SOUNDFONT; no system MIDI ports)\n",
                   err);
        return kExitUnavailable;
    }
    if (device >= midiDeviceCount()) {
        std::fprintf(err,
                     "selvik-convert: --device: there is no device %d; the devices are 0..%d "
                     "(see --list-devices)\nRun with --help for more information.\n",
                     device, midiDeviceCount() - 1);
        return kExitUsage;
    }
    return kExitOk;
}

int play(ShowMessage show, const std::string& input, Song& song, int device, std::optional<int> program,
         std::FILE* terminal, bool showProgress, const std::atomic<bool>& interrupted) {
    const ForwardedMessages forward(show);
    return playSong(input, song, device, program, terminal, showProgress, interrupted);
}

int render(ShowMessage show, const Song& song, const std::string& path, std::optional<int> program) {
    const ForwardedMessages forward(show);
    return renderToWav(song, path, program);
}

int listen(ShowMessage show, const std::string& input, const Signal& signal, std::FILE* terminal,
           bool showProgress, const std::atomic<bool>& interrupted) {
    const ForwardedMessages forward(show);
    return listenToSignal(input, signal, terminal, showProgress, interrupted);
}

const SoundModule kSoundModule = {&listDevices, &preparePlayback, &play, &render, &listen};

}  // namespace

}  // namespace selvik::cli

extern "C" __attribute__((visibility("default"))) const selvik::cli::SoundModule* selvikSoundModule() {
    return &selvik::cli::kSoundModule;
}
