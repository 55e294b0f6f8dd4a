#include "recognition/poly/PolyTranscriber.h"

#include <algorithm>

#include "recognition/poly/Network.h"
#include "recognition/poly/NoteDecoder.h"
#include "recognition/poly/LevelGrid.h"

namespace selvik::poly {

namespace {

// The spectrogram and the network take nearly all the time; the decoder is
// quick.
constexpr std::int32_t kNetworkShare = 950;
constexpr std::int32_t kRange = 1000;

// The network's frames straight into the note decoder.
class DecoderSink : public NetworkSink {
public:
    explicit DecoderSink(NoteDecoderStream& decoder) : decoder_(decoder) {}
    void take(std::int64_t, const float* onset, const float* sounding, const float* offset,
              const float* velocity) override {
        decoder_.push(onset, sounding, offset, velocity);
    }

private:
    NoteDecoderStream& decoder_;
};

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
    // LevelGrid, network and decoder each hold a few frames: a block of
    // spectrogram at a time goes through all three, so memory does not grow
    // with the recording beyond the notes themselves.
    NoteDecoderStream decoder(frames, decoderSettingsFor(settings.threshold, settings.minNoteMs),
                              settings.loudnessVelocity);
    DecoderSink sink(decoder);
    NetworkStream network(frames, sink);
    std::vector<float> block(static_cast<std::size_t>(kLevelGridBlock * kLevelGridBins));
    for (std::int64_t m0 = 0; m0 < frames; m0 += kLevelGridBlock) {
        const std::int64_t n = std::min(kLevelGridBlock, frames - m0);
        computeLevelGridFrames(samples, count, m0, n, block.data());
        for (std::int64_t i = 0; i < n; ++i) network.push(block.data() + i * kLevelGridBins);
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return {};
        if (progress != nullptr) progress->setPosition(static_cast<std::int32_t>((m0 + n) * kNetworkShare / frames));
    }
    network.finish();
    std::vector<RecognizedNote> notes = decoder.finish();
    if (progress != nullptr) progress->setPosition(kRange);
    return notes;
}

}  // namespace selvik::poly
