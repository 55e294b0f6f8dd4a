// Loads each audio file given, the way the program loads a recording, and
// prints the time, the realtime factor and the peak memory beside the size
// of the samples themselves. Each load runs in its own child process so
// that its peak memory is its own.
//
//   selvik_audio_load_bench FILE...
//
// For an hour of 48 kHz stereo FLAC:
//   sox -n -r 48000 -c 2 -b 16 hour.flac synth 3600 sine 440 sine 660

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "audiofile/AudioLoad.h"

namespace {

int loadOnce(const char* path) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const selvik::AudioLoad load = selvik::loadAudioFile(path, nullptr, nullptr);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    if (load.status != selvik::AudioLoadStatus::Loaded) {
        std::printf("%s: not loaded (%s)\n", path, load.reason.c_str());
        return 1;
    }
    const double samplesMiB = static_cast<double>(load.signal.count()) * 4.0 / 1048576.0;
    std::printf("%s: %s, %d Hz, %d channels, %.1f s: load %.2f s, %.0fx real time, "
                "peak %.1f MiB (samples %.1f MiB)%s\n",
                path, load.formatName.c_str(), load.sourceRate, load.channels, load.seconds,
                seconds, load.seconds / seconds, static_cast<double>(usage.ru_maxrss) / 1024.0,
                samplesMiB, load.notes.empty() ? "" : ", with notes");
    for (const std::string& note : load.notes) std::printf("  %s\n", note.c_str());
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: selvik_audio_load_bench FILE...\n");
        return 2;
    }
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const pid_t child = fork();
        if (child == 0) _exit(loadOnce(argv[i]));
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
