#include "preview/PreviewPlayer.h"

#include <cmath>
#include <new>

#include "signal/Signal.h"

namespace selvik {

namespace {
constexpr int kMixRate = 44100;
constexpr int kVoices = 4;
}  // namespace

std::int16_t previewValue(float sample) {
    if (std::isnan(sample)) return 0;
    if (sample >= 1.0f) return 32767;
    if (sample <= -1.0f) return -32767;
    // Single-precision product, as the samples are; the cast truncates toward zero.
    return static_cast<std::int16_t>(sample * 32767.0f);
}

PreviewPlayer::PreviewPlayer(std::unique_ptr<SoundOutput> output) : output_(std::move(output)) {
    soundReady_ = output_ && output_->open(kMixRate, kVoices);
}

PreviewPlayer::~PreviewPlayer() { close(); }

void PreviewPlayer::stop() {
    if (!soundReady_) return;
    if (channel_ != -1) {
        // Asking first avoids stopping a voice that has already finished.
        if (output_->isVoicePlaying(channel_)) output_->stopVoice(channel_);
        channel_ = -1;
    }
    if (sample_ != kNoSample) {
        output_->releaseSample(sample_);
        sample_ = kNoSample;
    }
}

void PreviewPlayer::close() {
    stop();
    if (!soundReady_) return;
    output_->shutdown();
    // A closed output is never called again, even if the owner forgets.
    soundReady_ = false;
}

bool PreviewPlayer::isPlaying() {
    return soundReady_ && channel_ != -1 && output_->isVoicePlaying(channel_);
}

void PreviewPlayer::play(const Signal* signal) {
    if (!soundReady_) return;
    stop();
    // An unset rate (-1) plays as little as a rate of 0.
    if (!signal || !signal->samples() || signal->count() == 0 || signal->sampleRate() <= 0) {
        return;
    }

    const std::int32_t count = signal->count();
    // Owned by this call alone and released on every path; the output keeps
    // its own copy once uploaded.
    std::unique_ptr<std::int16_t[]> buffer(new (std::nothrow) std::int16_t[count]);
    if (!buffer) return;
    const float* samples = signal->samples();
    for (std::int32_t i = 0; i < count; ++i) buffer[i] = previewValue(samples[i]);

    const SoundSampleId sample = output_->createSample(count, signal->sampleRate());
    if (sample == kNoSample) return;
    if (!output_->uploadSample(sample, buffer.get())) {
        output_->releaseSample(sample);
        return;
    }
    sample_ = sample;
    const int handle = output_->startSample(sample);
    // Handles name the voice in their low 6 bits; a failed start leaves no channel.
    channel_ = handle < 0 ? -1 : (handle & 63);
}

}  // namespace selvik
