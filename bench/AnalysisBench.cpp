// Converts a deterministic 3-minute recording (a melody with harmonics and a
// little noise) at the default settings and at the heaviest ones, and prints
// the time, the realtime factor and the peak memory of each run.
//
// Each run happens in its own child process so that its peak memory is its own.
//
//   selvik_analysis_bench [threads [default|heaviest]]
//   threads 0 or absent: one per core; without a name both settings run.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "midi/Song.h"
#include "pipeline/Analysis.h"
#include "pipeline/RecordingLoader.h"
#include "recognition/classic/ClassicMethod.h"

namespace {

constexpr int kSampleRate = 44100;
constexpr int kSeconds = 180;

void put(std::FILE* file, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), file);
}

// Writes the melody as 16-bit mono PCM, streaming, so that the generator adds
// nothing to the peak memory of the runs.
bool writeMelody(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const std::uint32_t frames = kSampleRate * kSeconds;
    std::fputs("RIFF", file);
    put(file, 36 + frames * 2, 4);
    std::fputs("WAVEfmt ", file);
    put(file, 16, 4);
    put(file, 1, 2);
    put(file, 1, 2);
    put(file, kSampleRate, 4);
    put(file, kSampleRate * 2, 4);
    put(file, 2, 2);
    put(file, 16, 2);
    std::fputs("data", file);
    put(file, frames * 2, 4);

    static const int kMelody[] = {60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62,
                                  57, 55, 59, 74, 76, 79, 77, 74, 72, 67, 64, 60, 52, 48};
    static const int kLengths[] = {11025, 16538, 22050, 13230};  // 250 to 500 ms
    std::uint32_t noise = 12345;
    double phase = 0.0;
    std::uint32_t noteStart = 0;
    int noteIndex = 0;
    std::uint32_t noteLength = kLengths[0];
    for (std::uint32_t i = 0; i < frames; ++i) {
        if (i - noteStart >= noteLength) {
            noteStart = i;
            ++noteIndex;
            noteLength = kLengths[noteIndex % 4];
        }
        const int note = kMelody[noteIndex % (sizeof kMelody / sizeof kMelody[0])];
        const double hz = 440.0 * std::pow(2.0, (note - 69) / 12.0);
        phase += 6.283185307179586 * hz / kSampleRate;
        if (phase > 6.283185307179586) phase -= 6.283185307179586;
        const double t = static_cast<double>(i - noteStart) / kSampleRate;
        const double envelope = std::min(1.0, t * 50.0) * (0.6 + 0.4 * std::exp(-3.0 * t));
        noise = noise * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * 0.01;
        const double value = envelope * (0.5 * std::sin(phase) + 0.25 * std::sin(2 * phase) +
                                         0.12 * std::sin(3 * phase) + 0.06 * std::sin(4 * phase)) +
                             hiss;
        put(file, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(value * 32000.0))), 2);
    }
    return std::fclose(file) == 0;
}

void runOnce(const char* name, const std::string& path, const selvik::MethodSettings& parameters,
             int threads) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    selvik::Recording recording;
    selvik::loadRecording(path, selvik::kClassicMethod, recording, nullptr, nullptr, nullptr);
    const auto loaded = Clock::now();
    selvik::Song song;
    selvik::MethodRun run;
    run.threads = threads;
    const selvik::AnalysisOutcome outcome =
        selvik::analyseRecording(recording, selvik::kClassicMethod, parameters, song, run).outcome;
    const auto done = Clock::now();

    const double loadSeconds = std::chrono::duration<double>(loaded - start).count();
    const double analysisSeconds = std::chrono::duration<double>(done - loaded).count();
    const double total = loadSeconds + analysisSeconds;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double fileMiB = static_cast<double>(std::filesystem::file_size(path)) / 1048576.0;
    const double paddedMiB = static_cast<double>(recording.signal.paddedLength()) * 4.0 / 1048576.0;
    std::printf("%-8s N=%d S=%d passes=%d P=%d: load %.3f s, analysis %.3f s, total %.3f s, "
                "%.0fx real time (analysis alone %.0fx), peak %.1f MiB (the padded samples alone %.1f MiB; "
                "the %.1f MiB file is read in chunks), %u events%s\n",
                name, parameters.blockSize, parameters.subsampling, parameters.passes, parameters.polyphony,
                loadSeconds, analysisSeconds, total, kSeconds / total, kSeconds / analysisSeconds,
                static_cast<double>(usage.ru_maxrss) / 1024.0, paddedMiB, fileMiB,
                song.totalEvents, outcome == selvik::AnalysisOutcome::Completed ? "" : " (not completed)");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int threads = argc > 1 ? std::atoi(argv[1]) : 0;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("selvik-bench-" + std::to_string(getpid()) + ".wav")).string();
    if (!writeMelody(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    selvik::MethodSettings defaults;
    selvik::MethodSettings heaviest;
    heaviest.blockSize = 8192;
    heaviest.subsampling = 16;
    heaviest.passes = 4;
    heaviest.polyphony = 16;
    const struct {
        const char* name;
        selvik::MethodSettings parameters;
    } runs[] = {{"default", defaults}, {"default", defaults}, {"heaviest", heaviest}};

    const std::string only = argc > 2 ? argv[2] : "";
    int status = 0;
    for (const auto& run : runs) {
        if (!only.empty() && only != run.name) continue;
        const pid_t child = fork();
        if (child == 0) {
            runOnce(run.name, path, run.parameters, threads);
            std::_Exit(0);
        }
        int childStatus = 0;
        if (child < 0 || waitpid(child, &childStatus, 0) != child || childStatus != 0) status = 1;
    }
    std::filesystem::remove(path);
    return status;
}
