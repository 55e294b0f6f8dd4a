#pragma once

#include <fluidsynth.h>

#include <memory>
#include <string>

namespace selvik {

// Output level of the built-in synthesizer, the same for playback and for
// rendering. FluidSynth's own default (0.2) puts a General MIDI piano C4 of
// velocity 100 near -32 dBFS on the small TimGM6mb soundfont. At 1.5 that
// note peaks near -14 dBFS there, and near -9 dBFS on the louder FluidR3_GM,
// whose loudest single notes (flute, trumpet) stay near -7 dBFS: room for a
// couple of notes at once and the reverb on either.
inline constexpr double kSynthGain = 1.5;

// A FluidSynth synthesizer with its settings and a loaded soundfont, at
// 44100 Hz stereo. Owns both; the synthesizer is deleted before its settings.
class FluidSynthInstance {
public:
    static constexpr int kSampleRate = 44100;

    // Null when the settings or the synthesizer cannot be made or the
    // soundfont does not load; `why` then says which.
    static std::unique_ptr<FluidSynthInstance> create(const std::string& soundFontPath,
                                                      std::string& why);
    ~FluidSynthInstance();
    FluidSynthInstance(const FluidSynthInstance&) = delete;
    FluidSynthInstance& operator=(const FluidSynthInstance&) = delete;

    fluid_settings_t* settings() const { return settings_; }
    fluid_synth_t* synth() const { return synth_; }

private:
    FluidSynthInstance() = default;

    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
};

}  // namespace selvik
