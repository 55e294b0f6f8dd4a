// The beat tracker on recordings: for each file, one JSON line with what it
// found (steady or not, beats per minute, meter, beats and downbeats in
// seconds) and the processor time of each step of a conversion (loading,
// the method, the beat tracker, the song), so that the beat tracker's share
// of a conversion can be read off. bench/rhythm/run reads these lines.
//
//   selvik_rhythm_bench [--method NAME] FILE...

#include <time.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "midi/Song.h"
#include "pipeline/Analysis.h"
#include "pipeline/RecordingLoader.h"
#include "rhythm/BeatTracker.h"

namespace {

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

void printList(const char* name, const std::vector<double>& values) {
    std::printf("\"%s\": [", name);
    for (std::size_t i = 0; i < values.size(); ++i) std::printf("%s%.4f", i ? ", " : "", values[i]);
    std::printf("]");
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const selvik::MethodDescriptor* method = selvik::findMethod("melody");
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--method") == 0 && i + 1 < argc) {
            method = selvik::findMethod(argv[++i]);
        } else {
            files.emplace_back(argv[i]);
        }
    }
    if (method == nullptr || files.empty()) {
        std::fprintf(stderr, "usage: selvik_rhythm_bench [--method NAME] FILE...\n");
        return 2;
    }
    for (const std::string& file : files) {
        double mark = processSeconds();
        selvik::Recording recording;
        if (selvik::loadRecording(file, *method, recording, nullptr, nullptr, nullptr) != selvik::LoadOutcome::Loaded) {
            std::fprintf(stderr, "%s: cannot load\n", file.c_str());
            return 1;
        }
        const double load = processSeconds() - mark;
        mark = processSeconds();
        selvik::MethodRun run;
        run.threads = 1;
        const selvik::MethodResult result = method->recognize(recording.signal, selvik::MethodSettings{}, run);
        const double recognise = processSeconds() - mark;
        mark = processSeconds();
        const selvik::Signal& signal = recording.signal;
        const selvik::BeatGrid grid = selvik::rhythm::trackBeats(signal.samples(), signal.count(), 44100, result.notes);
        const double track = processSeconds() - mark;
        mark = processSeconds();
        selvik::Song song;
        selvik::SongTiming timing;
        timing.beats = grid;
        if (!selvik::buildSong(result.notes, song, timing)) return 1;
        const double build = processSeconds() - mark;

        std::vector<double> downbeats;
        const auto perBar = static_cast<std::size_t>(grid.meter.beatsPerBar());
        for (std::size_t i = grid.firstDownbeat; i < grid.beats.size(); i += perBar) downbeats.push_back(grid.beats[i]);
        std::printf("{\"file\": \"%s\", \"steady\": %s, \"bpm\": %.3f, \"meter\": \"%d/%d\", \"tempos\": %zu, ",
                    escaped(file).c_str(), grid.steady ? "true" : "false", grid.beatsPerMinute,
                    grid.meter.numerator, grid.meter.denominator, song.tempoChanges.size() + 1);
        printList("beats", grid.beats);
        std::printf(", ");
        printList("downbeats", downbeats);
        std::printf(", \"seconds\": %.3f, \"cpu_load\": %.5f, \"cpu_method\": %.5f, \"cpu_beats\": %.5f, "
                    "\"cpu_song\": %.5f}\n",
                    signal.count() / 44100.0, load, recognise, track, build);
        std::fflush(stdout);
    }
    return 0;
}
