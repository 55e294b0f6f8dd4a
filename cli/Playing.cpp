#include "cli/Playing.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>

#include "cli/ExitStatus.h"
#include "cli/TerminalProgress.h"
#include "core/MessageService.h"
#include "midi/MidiDeviceList.h"
#include "midi/PlaybackEngine.h"
#include "midi/TempoMap.h"

namespace selvik::cli {


int playSong(const std::string& input, Song& song, int device, std::optional<int> program,
             std::FILE* err, bool showProgress, const std::atomic<bool>& interrupted) {
    setSelectedMidiDevice(device);

    // The end arrives on the stream's thread; it is handed to this thread,
    // which stops the playback itself.
    std::mutex lock;
    std::condition_variable wake;
    std::optional<std::uint64_t> ended;
    PlaybackEngine engine;
    const MidiResult started = engine.startPlayback(&song, [&](std::uint32_t, std::uint64_t playback) {
        std::lock_guard guard(lock);
        ended = playback;
        wake.notify_all();
    });
    if (started != MidiResult::Success) {
        if (started == MidiResult::OutOfMemory) showMessage("Out of memory");
        engine.stopPlayback();
        engine.closeStream();
        return kExitUnavailable;
    }
    if (program) {
        // Every channel the song plays on gets the program; an empty song the first.
        const std::uint16_t channels = channelsUsed(song) != 0 ? channelsUsed(song) : 1u;
        for (std::uint32_t channel = 0; channel < 16; ++channel) {
            if (channels & (1u << channel)) engine.sendNow(0xC0u | channel | (static_cast<std::uint32_t>(*program) << 8));
        }
    }
    if (engine.beginPlayback() != MidiResult::Success) {
        engine.stopPlayback();
        engine.closeStream();
        showMessage("cannot start playback on the MIDI output device");
        return kExitUnavailable;
    }

    const TempoMap map = TempoMap::of(song);
    const std::string total = clockText(map.secondsAt(song.endTime));
    std::string shown;
    {
        std::unique_lock wait(lock);
        while (!interrupted) {
            if (ended && engine.isCurrentPlayback(*ended)) break;
            wake.wait_for(wait, std::chrono::milliseconds(100));
            if (showProgress) {
                const std::string now = clockText(map.secondsAt(engine.songPosition()));
                if (now != shown) {
                    std::fprintf(err, "\r%s: playing %s / %s", input.c_str(), now.c_str(), total.c_str());
                    std::fflush(err);
                    shown = now;
                }
            }
        }
    }
    if (showProgress && !shown.empty()) {
        std::fprintf(err, "\r\033[K");
        std::fflush(err);
    }
    engine.stopPlayback();
    engine.closeStream();
    return interrupted ? kExitInterrupted : kExitOk;
}

}  // namespace selvik::cli
