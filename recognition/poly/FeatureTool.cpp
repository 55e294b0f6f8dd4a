// Writes the polyphonic network's input features of WAV files, for training.
//
//   selvik_poly_features IN.wav OUT.feat
//   selvik_poly_features --list LIST     (lines "IN.wav<TAB>OUT.feat")
//
// The recording is read as the converter reads it (mono, 44100 Hz PCM) and
// normalised to a peak of 1, as poly::transcribe expects, then its
// spectrogram (LevelGrid.h) is written as: the bytes "SPF1", the bin count
// and the frame count as little-endian int32 and int64, then frames * bins
// little-endian float32 values, frame after frame.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "recognition/poly/LevelGrid.h"
#include "signal/Signal.h"

namespace {

bool writeFeatures(const char* path, const selvik::poly::LevelGrid& s) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    const std::int32_t bins = selvik::poly::kLevelGridBins;
    const std::int64_t frames = s.frames;
    bool ok = std::fwrite("SPF1", 1, 4, f) == 4 && std::fwrite(&bins, sizeof bins, 1, f) == 1 &&
              std::fwrite(&frames, sizeof frames, 1, f) == 1 &&
              std::fwrite(s.values.data(), sizeof(float), s.values.size(), f) == s.values.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

bool convert(const char* in, const char* out) {
    selvik::Signal signal;
    std::string detail;
    if (signal.readWav(in, &detail) != selvik::SignalStatus::NoError) {
        std::fprintf(stderr, "cannot read %s: %s\n", in, detail.c_str());
        return false;
    }
    signal.normalize();
    const selvik::poly::LevelGrid s = selvik::poly::computeLevelGrid(signal.samples(), signal.count());
    if (!writeFeatures(out, s)) {
        std::fprintf(stderr, "cannot write %s\n", out);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    static_assert(sizeof(float) == 4);
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0) {
        std::ifstream list(argv[2]);
        if (!list) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 1;
        }
        std::string line;
        int failed = 0;
        while (std::getline(list, line)) {
            const std::size_t tab = line.find('\t');
            if (tab == std::string::npos) continue;
            const std::string in = line.substr(0, tab);
            const std::string out = line.substr(tab + 1);
            if (!convert(in.c_str(), out.c_str())) ++failed;
        }
        return failed == 0 ? 0 : 1;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN.wav OUT.feat | --list LIST\n", argv[0]);
        return 2;
    }
    return convert(argv[1], argv[2]) ? 0 : 1;
}
