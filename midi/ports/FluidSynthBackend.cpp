#include "midi/ports/FluidSynthBackend.h"

#include <SDL.h>
#include <fluidsynth.h>

#include <optional>
#include <string_view>

#include "midi/ports/FluidSynthInstance.h"
#include "midi/ports/FluidSynthPort.h"
#include "midi/ports/LibraryLogs.h"
#include "midi/ports/SoundFontLocator.h"

namespace selvik {

namespace {

// In the order tried: a desktop's sound server first, then the bare device.
constexpr const char* kAudioDrivers[] = {"pulseaudio", "alsa", "sdl2"};

}  // namespace

std::vector<std::string> FluidSynthBackend::portNames() {
    if (!findSoundFont()) return {};
    return {kPortName};
}

std::unique_ptr<MidiOutputPort> FluidSynthBackend::openPort(std::size_t index,
                                                            const std::string& name) {
    lastError_.clear();
    if (index != 0 || name != kPortName) {
        lastError_ = "the built-in synthesizer has no port " + std::to_string(index) + " named \"" +
                     name + "\"";
        return nullptr;
    }
    const std::optional<std::string> soundFont = findSoundFont();
    if (!soundFont) {
        lastError_ = "no General MIDI soundfont found";
        return nullptr;
    }
    silenceLibraryLogs();
    std::unique_ptr<FluidSynthInstance> instance = FluidSynthInstance::create(*soundFont, lastError_);
    if (!instance) return nullptr;

    std::string tried;
    for (const char* driverName : kAudioDrivers) {
        const bool sdl = std::string_view(driverName) == "sdl2";
        // FluidSynth's SDL2 driver expects the caller to have started SDL's
        // audio; the matching quit is the port's, or right here on failure.
        if (sdl && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            tried += std::string(tried.empty() ? "" : ", ") + driverName + " (" + SDL_GetError() + ")";
            continue;
        }
        fluid_settings_setstr(instance->settings(), "audio.driver", driverName);
        if (fluid_audio_driver_t* driver = new_fluid_audio_driver(instance->settings(), instance->synth())) {
            return std::make_unique<FluidSynthPort>(std::move(instance), driver, sdl);
        }
        if (sdl) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        tried += std::string(tried.empty() ? "" : ", ") + driverName;
    }
    lastError_ = "no audio output could be started (tried " + tried + ")";
    return nullptr;
}

}  // namespace selvik
