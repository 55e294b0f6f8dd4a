#pragma once

#include <fluidsynth.h>

#include "midi/stream/MidiOutputPort.h"

namespace selvik {

// Plays one short MIDI message on a FluidSynth synthesizer: note on and off
// (a note-on of velocity 0 ends the note), key and channel pressure, control
// change, program change and pitch bend. System messages and stray data bytes
// are ignored; a synthesizer has nothing to do with them.
void playOnSynth(fluid_synth_t* synth, ShortMessage message);

}  // namespace selvik
