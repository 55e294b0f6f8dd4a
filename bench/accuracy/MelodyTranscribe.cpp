// Transcribes one WAV file with the melody tracker and writes a MIDI file, for
// the accuracy benchmark (run by bench/accuracy/run).
//
//   selvik_melody_transcribe IN.wav OUT.mid [--min-note MS] [--sensitivity X] [--fixed-velocity]
//
// Prints "seconds <audio seconds> <tracker CPU seconds>" on standard output;
// the time covers the tracker alone, not reading or writing files.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "midi/MidiFileWriter.h"
#include "midi/Song.h"
#include "recognition/MelodyTracker.h"
#include "recognition/Recognizer.h"

namespace {

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s IN.wav OUT.mid [--min-note MS] [--sensitivity X] [--fixed-velocity]\n", argv[0]);
        return 2;
    }
    selvik::MelodyTrackerParameters parameters;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--min-note") == 0 && i + 1 < argc) {
            parameters.minNoteMs = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--sensitivity") == 0 && i + 1 < argc) {
            parameters.sensitivity = static_cast<float>(std::atof(argv[++i]));
        } else if (std::strcmp(argv[i], "--fixed-velocity") == 0) {
            parameters.loudnessVelocity = false;
        } else {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    selvik::Recognizer recognizer;
    recognizer.loadWav(argv[1]);
    if (recognizer.signal().count() <= 0) {
        std::fprintf(stderr, "cannot read %s: %s\n", argv[1], recognizer.loadDetail().c_str());
        return 1;
    }
    selvik::Song song;
    const double before = cpuSeconds();
    const selvik::AnalysisOutcome outcome =
        selvik::runMelodyTracker(recognizer.signal(), song, nullptr, parameters);
    const double spent = cpuSeconds() - before;
    if (outcome != selvik::AnalysisOutcome::Completed) {
        std::fprintf(stderr, "the tracker did not complete\n");
        return 1;
    }
    // The writer refuses a song without notes: an empty transcription is
    // reported instead of a file.
    if (song.totalEvents == 0) {
        std::printf("seconds %.6f %.6f empty\n", recognizer.signal().count() / 44100.0, spent);
        return 0;
    }
    if (selvik::writeMidiFile(argv[2], &song) != selvik::MidiResult::Success) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("seconds %.6f %.6f\n", recognizer.signal().count() / 44100.0, spent);
    return 0;
}
