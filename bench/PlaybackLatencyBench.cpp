// Plays a dense song into a recording port on the real clock and prints how
// late each message left against its song time, and the CPU time used.
//
//   selvik_playback_bench [SECONDS]     (default 30)

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "midi/MidiDeviceList.h"
#include "midi/PlaybackEngine.h"
#include "midi/Song.h"
#include "midi/stream/RecordingPort.h"

using namespace selvik;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Sixteenth notes on four tracks, each track a different rhythm, so that
// windows hold many events at shared and at distinct ticks.
void buildSong(Song& song, int seconds) {
    reset(&song);
    song.division = 384;
    song.tempo = 120.0;
    const std::uint32_t end = static_cast<std::uint32_t>(seconds) * 2 * 384;
    for (int track = 0; track < 4; ++track) {
        const std::uint32_t step = 96u + 16u * static_cast<std::uint32_t>(track);
        std::vector<MidiEvent> events;
        for (std::uint32_t t = 0; t + step <= end; t += step) {
            const auto note = static_cast<std::uint8_t>(48 + (t / step) % 24 + track * 7);
            const auto status = static_cast<std::uint8_t>(0x90 | track);
            events.push_back({t, status, note, 100});
            events.push_back({t + step - 8, status, note, 0});
        }
        SongTrack& target = song.tracks[static_cast<std::size_t>(track)];
        target.eventCount = static_cast<std::uint32_t>(events.size());
        target.events = std::make_unique<MidiEvent[]>(events.size());
        std::copy(events.begin(), events.end(), target.events.get());
    }
    if (!sortTracks(song)) std::abort();
    countEvents(song);
    computeEndTime(song);
}

double percentile(std::vector<double> sorted, double p) {
    if (sorted.empty()) return 0.0;
    const auto index = static_cast<std::size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    Song song;
    buildSong(song, seconds);

    auto backend = std::make_shared<RecordingBackend>();
    setMidiBackends({backend});
    enumerateMidiDevices();
    setSelectedMidiDevice(0);

    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    PlaybackEngine engine;
    if (engine.startPlayback(&song, [&](std::uint32_t, std::uint64_t) {
            std::lock_guard guard(lock);
            done = true;
            ended.notify_all();
        }) != MidiResult::Success) {
        std::fprintf(stderr, "cannot start playback\n");
        return 1;
    }
    const double cpuBefore = cpuSeconds();
    const auto start = steadyStreamClock().now();
    engine.beginPlayback();
    {
        std::unique_lock wait(lock);
        ended.wait(wait, [&] { return done; });
    }
    const auto stop = steadyStreamClock().now();
    const double cpu = cpuSeconds() - cpuBefore;
    engine.stopPlayback();
    engine.closeStream();

    // Song time of each event, in the order the stream sends them.
    std::vector<std::uint32_t> ticks;
    for (const SongTrack& track : song.tracks) {
        for (std::uint32_t i = 0; i < track.eventCount; ++i) ticks.push_back(track.events[i].time);
    }
    std::stable_sort(ticks.begin(), ticks.end());
    const auto messages = backend->record()->messages();
    std::vector<double> lateness;
    const std::size_t n = std::min(ticks.size(), messages.size());
    for (std::size_t i = 0; i < n; ++i) {
        const double due = static_cast<double>(ticks[i]) * 500000.0 / 384.0 * 1000.0;  // ns
        lateness.push_back((static_cast<double>((messages[i].time - start).count()) - due) / 1e6);
    }
    if (std::getenv("SELVIK_BENCH_DUMP")) {
        for (std::size_t i = 0; i < lateness.size(); ++i) {
            if (lateness[i] > 1.0) std::printf("late %.3f ms at tick %u (message %zu)\n", lateness[i], ticks[i], i);
        }
    }
    std::sort(lateness.begin(), lateness.end());
    const double wall = std::chrono::duration<double>(stop - start).count();
    std::printf("song: %d s, %u events, %zu messages received\n", seconds, song.totalEvents,
                messages.size());
    std::printf("lateness (ms): median %.3f  p99 %.3f  p99.9 %.3f  max %.3f\n",
                percentile(lateness, 50), percentile(lateness, 99), percentile(lateness, 99.9),
                lateness.empty() ? 0.0 : lateness.back());
    std::printf("cpu: %.3f s over %.1f s of playback = %.2f%% of one core\n", cpu, wall,
                100.0 * cpu / wall);
    freeMidiDevices();
    return messages.size() >= ticks.size() ? 0 : 1;
}
