#pragma once

#include <memory>
#include <string>
#include <vector>

#include "midi/MidiDeviceList.h"

namespace selvik {

// The built-in synthesizer: FluidSynth with the General MIDI soundfont that
// findSoundFont() picks, sounding on the system's audio output.
//
// Lists its one port only when a soundfont is found; listing only looks for
// the file. Opening loads the soundfont and starts an audio driver, trying
// PulseAudio, then ALSA, then SDL2 (which brings its own choice of driver,
// SDL_AUDIODRIVER). JACK is never tried: its client would take a server's
// ports without being asked. Opening fails when no driver starts.
class FluidSynthBackend final : public MidiDeviceBackend {
public:
    static constexpr const char* kPortName = "Built-in synthesizer";

    std::vector<std::string> portNames() override;
    std::unique_ptr<MidiOutputPort> openPort(std::size_t index, const std::string& name) override;
    std::string lastError() const override { return lastError_; }

private:
    std::string lastError_;
};

}  // namespace selvik
