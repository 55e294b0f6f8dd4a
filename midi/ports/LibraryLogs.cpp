#include "midi/ports/LibraryLogs.h"

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <glib.h>
#include <jack/jack.h>

#include <mutex>

namespace selvik {

namespace {

// ALSA's handler is variadic; the message is dropped without being formatted.
extern "C" void discardAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

extern "C" void discardJackMessage(const char*) {}

extern "C" void discardFluidMessage(int, const char*, void*) {}

extern "C" void discardGlibMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

extern "C" void discardSdlMessage(void*, int, SDL_LogPriority, const char*) {}

}  // namespace

void silenceLibraryLogs() {
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(&discardAlsaMessage);
        jack_set_error_function(&discardJackMessage);
        jack_set_info_function(&discardJackMessage);
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
            fluid_set_log_function(level, &discardFluidMessage, nullptr);
        }
        // FluidSynth hands files its own loader refuses to libinstpatch, which
        // reports a damaged file through GLib's log (a "CRITICAL" line on
        // standard error). Nothing else in the program logs through GLib.
        g_log_set_default_handler(&discardGlibMessage, nullptr);
        // The synthesizer's SDL2 driver: SDL announces some of its drivers
        // (the disk writer, for one) at the critical level.
        SDL_LogSetOutputFunction(&discardSdlMessage, nullptr);
    });
}

}  // namespace selvik
