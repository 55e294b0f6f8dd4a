// Speed of the learned polyphonic recognizer on a deterministic 3-minute
// recording (chords of harmonic tones and a little noise): the spectrogram,
// the network on the processor's fastest path and on the plain C++ path, the
// decoder, and the whole transcription. Prints the best of three runs of
// each as CPU time and realtime factor on one core.
//
//   selvik_poly_bench [seconds]

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "recognition/poly/ConvKernels.h"
#include "recognition/poly/Network.h"
#include "recognition/poly/NoteDecoder.h"
#include "recognition/poly/PolyTranscriber.h"
#include "recognition/poly/LevelGrid.h"

namespace {

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double best(const std::function<void()>& work) {
    double fastest = 1e30;
    for (int run = 0; run < 3; ++run) {
        const double before = cpuSeconds();
        work();
        fastest = std::min(fastest, cpuSeconds() - before);
    }
    return fastest;
}

std::vector<float> music(int seconds) {
    std::vector<float> x(static_cast<std::size_t>(seconds) * 44100, 0.0f);
    std::uint32_t state = 1;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int chord = 0; chord * 0.5 < seconds; ++chord) {
        const std::size_t start = static_cast<std::size_t>(chord * 0.5 * 44100);
        for (int voice = 0; voice < 3; ++voice) {
            const double hz = 440.0 * std::pow(2.0, (static_cast<int>(next() % 48) - 24) / 12.0);
            for (std::size_t i = start; i < std::min(x.size(), start + 22050); ++i) {
                const double t = static_cast<double>(i - start) / 44100.0;
                double v = 0.0;
                for (int h = 1; h <= 6; ++h) v += std::sin(6.283185307179586 * hz * h * t) / h;
                x[i] += static_cast<float>(0.15 * v * std::exp(-3.0 * t));
            }
        }
    }
    for (float& v : x) v += static_cast<float>(next() % 2001 - 1000) * 1e-6f;
    float peak = 0.0f;
    for (float v : x) peak = std::max(peak, std::fabs(v));
    for (float& v : x) v /= peak;
    return x;
}

void line(const char* what, double seconds, double audio) {
    std::printf("%-28s %8.3f s CPU  %7.1fx real time\n", what, seconds, audio / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 180;
    const std::vector<float> x = music(seconds);
    const auto count = static_cast<std::int64_t>(x.size());
    std::printf("%d s of audio, network of %lld multiply-adds per frame, vector kernels %s\n", seconds,
                static_cast<long long>(selvik::poly::networkMultiplyAdds()),
                selvik::poly::detail::usingVectorKernels() ? "on" : "off");

    selvik::poly::LevelGrid s;
    line("spectrogram", best([&] { s = selvik::poly::computeLevelGrid(x.data(), count); }), seconds);
    selvik::poly::NetworkOutput out;
    line("network", best([&] { out = selvik::poly::runNetwork(s.values.data(), s.frames); }), seconds);
    selvik::poly::detail::useScalarKernelsOnly(true);
    line("network, plain C++", best([&] { out = selvik::poly::runNetwork(s.values.data(), s.frames); }), seconds);
    selvik::poly::detail::useScalarKernelsOnly(false);
    std::size_t notes = 0;
    line("decoder", best([&] {
             notes = selvik::poly::decodeNotes(out, selvik::poly::decoderSettingsFor(0.8f, -1.0), true).size();
         }), seconds);
    line("whole transcription", best([&] {
             notes = selvik::poly::transcribe(x.data(), count, selvik::poly::PolySettings{}, nullptr, nullptr).size();
         }), seconds);
    std::printf("%zu notes\n", notes);
    return 0;
}
