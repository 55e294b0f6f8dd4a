#include "recognition/poly/PolyTranscriber.h"

#include "recognition/poly/Network.h"
#include "recognition/poly/NoteDecoder.h"
#include "recognition/poly/Spectrogram.h"

namespace selvik::poly {

namespace {

// The spectrogram takes about a third of the time, the network the rest;
// the decoder is quick.
constexpr std::int32_t kSpectrogramShare = 300;
constexpr std::int32_t kRange = 1000;

struct Watch {
    ProgressIndicator* progress;
    const std::atomic<bool>* cancel;
    std::int64_t frames;
    std::int32_t from;
    std::int32_t span;
};

bool report(void* context, std::int64_t done) {
    auto* w = static_cast<Watch*>(context);
    if (w->cancel != nullptr && w->cancel->load(std::memory_order_relaxed)) return false;
    if (w->progress != nullptr && w->frames > 0) {
        w->progress->setPosition(w->from + static_cast<std::int32_t>(done * w->span / w->frames));
    }
    return true;
}

}  // namespace

std::vector<RecognizedNote> transcribe(const float* samples, std::int64_t count,
                                       const PolySettings& settings, ProgressIndicator* progress,
                                       const std::atomic<bool>* cancel) {
    if (progress != nullptr) {
        progress->setRange(0, kRange);
        progress->setPosition(0);
    }
    if (count < 0) count = 0;
    const std::int64_t frames = frameCountFor(count);
    Watch watch{progress, cancel, frames, 0, kSpectrogramShare};
    const Spectrogram spectrogram = computeSpectrogram(samples, count, report, &watch);
    if (spectrogram.frames == 0) return {};
    watch.from = kSpectrogramShare;
    watch.span = kRange - kSpectrogramShare;
    const NetworkOutput output = runNetwork(spectrogram.values.data(), spectrogram.frames, report, &watch);
    if (output.frames == 0) return {};
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return {};
    std::vector<RecognizedNote> notes =
        decodeNotes(output, decoderSettingsFor(settings.threshold, settings.minNoteMs), settings.loudnessVelocity);
    if (progress != nullptr) progress->setPosition(kRange);
    return notes;
}

}  // namespace selvik::poly
