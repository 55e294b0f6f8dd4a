// Transcribes one WAV file with the learned polyphonic recognizer and writes a
// MIDI file, for the accuracy benchmark.
//
//   selvik_poly_transcribe IN.wav OUT.mid [--threshold X] [--min-note MS] [--fixed-velocity]
//
// Prints "seconds <audio seconds> <recognizer CPU seconds>" on standard
// output; the time covers the recognizer alone (features, network, decoder),
// not reading or writing files.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "midi/MidiFileWriter.h"
#include "midi/ScoreConversion.h"
#include "midi/Song.h"
#include "recognition/poly/PolyTranscriber.h"
#include "signal/Signal.h"

namespace {

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The converter's song layout: 120 BPM, 384 ticks per quarter note.
constexpr double kTicksPerSecond = 120.0 / 60.0 * 384.0;

std::int32_t ticks(double seconds) {
    return static_cast<std::int32_t>(seconds * kTicksPerSecond + 0.5);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s IN.wav OUT.mid [--threshold X] [--min-note MS] [--fixed-velocity]\n", argv[0]);
        return 2;
    }
    selvik::poly::PolySettings settings;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threshold") == 0 && i + 1 < argc) {
            settings.threshold = static_cast<float>(std::atof(argv[++i]));
        } else if (std::strcmp(argv[i], "--min-note") == 0 && i + 1 < argc) {
            settings.minNoteMs = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--fixed-velocity") == 0) {
            settings.loudnessVelocity = false;
        } else {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    selvik::Signal signal;
    std::string detail;
    if (signal.readWav(argv[1], &detail) != selvik::SignalStatus::NoError) {
        std::fprintf(stderr, "cannot read %s: %s\n", argv[1], detail.c_str());
        return 1;
    }
    signal.normalize();
    const double before = cpuSeconds();
    const std::vector<selvik::RecognizedNote> notes =
        selvik::poly::transcribe(signal.samples(), signal.count(), settings, nullptr, nullptr);
    const double spent = cpuSeconds() - before;
    const double audio = signal.count() / 44100.0;
    // The writer refuses a song without notes: an empty transcription is
    // reported instead of a file.
    if (notes.empty()) {
        std::printf("seconds %.6f %.6f empty\n", audio, spent);
        return 0;
    }
    std::vector<selvik::NoteSpan> spans;
    spans.reserve(notes.size());
    for (const selvik::RecognizedNote& n : notes) {
        const std::int32_t start = ticks(n.startSeconds);
        spans.push_back({n.note, n.velocity, start, std::max(start + 1, ticks(n.endSeconds))});
    }
    selvik::Song song;
    selvik::reset(&song);
    song.tempo = 120.0;
    song.division = 384;
    if (!selvik::buildNoteTrack(song.tracks[0], spans.data(), static_cast<std::int32_t>(spans.size()))) {
        std::fprintf(stderr, "out of memory\n");
        return 1;
    }
    selvik::countEvents(song);
    selvik::computeEndTime(song);
    if (!selvik::sortTracks(song) || selvik::writeMidiFile(argv[2], &song) != selvik::MidiResult::Success) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("seconds %.6f %.6f\n", audio, spent);
    return 0;
}
