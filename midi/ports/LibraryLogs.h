#pragma once

namespace selvik {

// Installs a silent log hook in each system library the MIDI ports use (ALSA,
// JACK, FluidSynth, and the GLib and SDL beneath FluidSynth), so that none of
// them writes to standard error on its own: their failures reach the user
// through our own messages instead. Idempotent and cheap; every backend and
// the renderer call it before touching their library.
void silenceLibraryLogs();

}  // namespace selvik
