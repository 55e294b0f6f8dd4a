#include "midi/ports/SynthMessage.h"

namespace selvik {

void playOnSynth(fluid_synth_t* synth, ShortMessage message) {
    const int status = statusOf(message);
    const int channel = status & 0x0F;
    const int data1 = data1Of(message) & 0x7F;
    const int data2 = data2Of(message) & 0x7F;
    switch (status & 0xF0) {
        case 0x80: fluid_synth_noteoff(synth, channel, data1); break;
        case 0x90:
            // FluidSynth treats a zero velocity as note-off too, but says so
            // only in its sources; the MIDI rule is stated here.
            if (data2 == 0) {
                fluid_synth_noteoff(synth, channel, data1);
            } else {
                fluid_synth_noteon(synth, channel, data1, data2);
            }
            break;
        case 0xA0: fluid_synth_key_pressure(synth, channel, data1, data2); break;
        case 0xB0: fluid_synth_cc(synth, channel, data1, data2); break;
        case 0xC0: fluid_synth_program_change(synth, channel, data1); break;
        case 0xD0: fluid_synth_channel_pressure(synth, channel, data1); break;
        case 0xE0: fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7)); break;
        default: break;  // system messages, or not a status byte
    }
}

}  // namespace selvik
