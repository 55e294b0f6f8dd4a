#include "recognition/poly/PolyTranscriber.h"

#include <algorithm>

#include "recognition/poly/Network.h"
#include "recognition/poly/NoteDecoder.h"
#include "recognition/poly/Spectrogram.h"

namespace selvik::poly {

namespace {

// The spectrogram and the network take nearly all the time; the decoder is
// quick.
constexpr std::int32_t kNetworkShare = 950;
constexpr std::int32_t kRange = 1000;

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
    // The spectrogram goes to the network a block at a time, so only the
    // outputs the decoder reads grow with the recording.
    NetworkOutput output;
    const std::size_t cells = static_cast<std::size_t>(frames) * kNoteCount;
    output.onset.resize(cells);
    output.sounding.resize(cells);
    output.velocity.resize(cells);
    NetworkStream stream(frames, output);
    std::vector<float> block(static_cast<std::size_t>(kSpectrogramBlock * kSpectrogramBins));
    for (std::int64_t m0 = 0; m0 < frames; m0 += kSpectrogramBlock) {
        const std::int64_t n = std::min(kSpectrogramBlock, frames - m0);
        computeSpectrogramFrames(samples, count, m0, n, block.data());
        for (std::int64_t i = 0; i < n; ++i) stream.push(block.data() + i * kSpectrogramBins);
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return {};
        if (progress != nullptr) progress->setPosition(static_cast<std::int32_t>((m0 + n) * kNetworkShare / frames));
    }
    stream.finish();
    std::vector<RecognizedNote> notes =
        decodeNotes(output, decoderSettingsFor(settings.threshold, settings.minNoteMs), settings.loudnessVelocity);
    if (progress != nullptr) progress->setPosition(kRange);
    return notes;
}

}  // namespace selvik::poly
