#pragma once

#include <fluidsynth.h>

#include <memory>

#include "midi/ports/FluidSynthInstance.h"
#include "midi/stream/MidiOutputPort.h"

namespace selvik {

// The built-in synthesizer as a MIDI output port: each message is played on
// the synthesizer, which an audio driver keeps sounding on the system's output.
// FluidSynth's API is thread-safe, so messages may come from the stream's
// thread while the driver's thread renders.
class FluidSynthPort final : public MidiOutputPort {
public:
    // Takes a running driver over `instance`. `sdlAudioInitialised` says that
    // the SDL audio subsystem was started for this driver and is to be quit
    // after it.
    FluidSynthPort(std::unique_ptr<FluidSynthInstance> instance, fluid_audio_driver_t* driver,
                   bool sdlAudioInitialised);
    // The driver goes first, so that it no longer renders from the synthesizer,
    // then the synthesizer and its settings, then SDL's audio subsystem.
    ~FluidSynthPort() override;
    FluidSynthPort(const FluidSynthPort&) = delete;
    FluidSynthPort& operator=(const FluidSynthPort&) = delete;

    void sendShortMessage(ShortMessage message) override;

private:
    std::unique_ptr<FluidSynthInstance> instance_;
    fluid_audio_driver_t* driver_;
    bool sdlAudioInitialised_;
};

}  // namespace selvik
