#include "midi/ports/FluidSynthPort.h"

#include <SDL.h>

#include "midi/ports/SynthMessage.h"

namespace selvik {

FluidSynthPort::FluidSynthPort(std::unique_ptr<FluidSynthInstance> instance,
                               fluid_audio_driver_t* driver, bool sdlAudioInitialised)
    : instance_(std::move(instance)), driver_(driver), sdlAudioInitialised_(sdlAudioInitialised) {}

FluidSynthPort::~FluidSynthPort() {
    if (driver_) delete_fluid_audio_driver(driver_);
    instance_.reset();
    // Paired with the SDL_InitSubSystem made for this driver; SDL counts them,
    // so other users of SDL's audio (the preview) keep theirs.
    if (sdlAudioInitialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void FluidSynthPort::sendShortMessage(ShortMessage message) {
    playOnSynth(instance_->synth(), message);
}

}  // namespace selvik
