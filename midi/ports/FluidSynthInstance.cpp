#include "midi/ports/FluidSynthInstance.h"

#include "midi/ports/LibraryLogs.h"

namespace selvik {

std::unique_ptr<FluidSynthInstance> FluidSynthInstance::create(const std::string& soundFontPath,
                                                               std::string& why) {
    silenceLibraryLogs();
    std::unique_ptr<FluidSynthInstance> instance(new FluidSynthInstance());
    instance->settings_ = new_fluid_settings();
    if (!instance->settings_) {
        why = "cannot create the synthesizer's settings";
        return nullptr;
    }
    fluid_settings_t* settings = instance->settings_;
    fluid_settings_setnum(settings, "synth.sample-rate", kSampleRate);
    fluid_settings_setnum(settings, "synth.gain", kSynthGain);
    fluid_settings_setint(settings, "synth.audio-channels", 1);  // one stereo pair
    // The soundfont's samples need not be pinned in memory; pinning fails
    // quietly for users with a low locked-memory limit anyway.
    fluid_settings_setint(settings, "synth.lock-memory", 0);

    instance->synth_ = new_fluid_synth(settings);
    if (!instance->synth_) {
        why = "cannot create the synthesizer";
        return nullptr;
    }
    // Checked first so that other files do not reach the loaders of other
    // formats at all.
    if (!fluid_is_soundfont(soundFontPath.c_str())) {
        why = soundFontPath + " is not a soundfont";
        return nullptr;
    }
    if (fluid_synth_sfload(instance->synth_, soundFontPath.c_str(), 1) == FLUID_FAILED) {
        why = "cannot load the soundfont " + soundFontPath;
        return nullptr;
    }
    return instance;
}

FluidSynthInstance::~FluidSynthInstance() {
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
}

}  // namespace selvik
