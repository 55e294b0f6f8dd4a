// The piano roll's costs on a deterministic 3-minute recording (a melody
// with harmonics and a little noise) and its 500-odd notes: the spectrogram
// computation, its colouring for drawing, and a full redraw of the whole
// view at 1920x1080. Prints the median of several runs of each, in ms.
//
//   selvik_piano_roll_bench [runs]   (default 5)

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

#include "plot/PianoRollPainter.h"
#include "plot/LevelGrid.h"
#include "plot/LevelGridImage.h"

namespace {

constexpr int kSampleRate = 44100;
constexpr int kSeconds = 180;

struct Recording {
    std::vector<float> samples;
    std::vector<selvik::RollNote> notes;
};

Recording makeRecording() {
    static const int kMelody[] = {60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62,
                                  57, 55, 59, 74, 76, 79, 77, 74, 72, 67, 64, 60, 52, 48};
    static const int kLengths[] = {11025, 16538, 22050, 13230};
    Recording r;
    r.samples.resize(static_cast<std::size_t>(kSampleRate) * kSeconds);
    std::uint32_t noise = 12345;
    std::size_t at = 0;
    for (int index = 0; at < r.samples.size(); ++index) {
        const int note = kMelody[index % std::size(kMelody)];
        const auto length = std::min<std::size_t>(kLengths[index % std::size(kLengths)], r.samples.size() - at);
        const double frequency = 440.0 * std::exp2((note - 69) / 12.0);
        for (std::size_t i = 0; i < length; ++i) {
            const double t = double(i) / kSampleRate;
            const double envelope = std::min(1.0, t * 50.0) * std::exp(-t * 1.5);
            double value = 0.0;
            for (int h = 1; h <= 3; ++h) value += std::sin(2.0 * std::numbers::pi * frequency * h * t) / h;
            noise = noise * 1664525u + 1013904223u;
            r.samples[at + i] = static_cast<float>(0.5 * envelope * value + 0.01 * (double(noise >> 8) / 16777216.0 - 0.5));
        }
        r.notes.push_back({note, double(at) / kSampleRate, double(at + length) / kSampleRate - 0.02});
        at += length;
    }
    return r;
}

double medianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);

    const Recording recording = makeRecording();
    const auto count = static_cast<std::int32_t>(recording.samples.size());
    std::printf("recording: %d s, %zu notes\n", kSeconds, recording.notes.size());

    selvik::LevelGrid spectrogram;
    for (int threads : {1, 0}) {
        selvik::LevelGridParameters parameters;
        parameters.threads = threads;
        const double ms = medianMs(runs, [&] {
            spectrogram = selvik::computeLevelGrid(recording.samples.data(), count, kSampleRate, parameters);
        });
        std::printf("spectrogram (%s): %.1f ms  (%d frames x %d rows)\n",
                    threads == 1 ? "1 thread" : "a thread per core", ms, spectrogram.frameCount,
                    spectrogram.rowCount);
    }
    std::shared_ptr<selvik::LevelGridImage> image;
    const double colourMs = medianMs(runs, [&] { image = std::make_shared<selvik::LevelGridImage>(spectrogram); });
    std::printf("colouring for drawing: %.1f ms  (%d images)\n", colourMs, image->levelCount());

    selvik::PianoRollPainter painter;
    painter.setLevelGrid(image);
    painter.setNotes(recording.notes);
    const QSize size(1920, 1080);
    QImage target(size, QImage::Format_RGB32);
    auto redraw = [&](const selvik::RollViewport& view) {
        return medianMs(runs * 4, [&] {
            QPainter p(&target);
            painter.paint(p, size, view);
        });
    };
    const selvik::RollViewport whole = painter.wholeView();
    std::printf("full redraw 1920x1080, whole recording: %.1f ms\n", redraw(whole));
    selvik::RollViewport tenSeconds = whole;
    tenSeconds.startSeconds = 80.0;
    tenSeconds.endSeconds = 90.0;
    std::printf("full redraw 1920x1080, 10 s in view: %.1f ms\n", redraw(tenSeconds));
    return 0;
}
