#pragma once

#include <cstdint>
#include <memory>

#include "preview/SoundOutput.h"

namespace selvik {

class Signal;

// The 16-bit value the preview plays for a sample: sample × 32767 truncated
// toward zero. Samples beyond -1..1 play as ±32767 and NaN as silence, so an
// unnormalised signal can never overflow the 16-bit range.
std::int16_t previewValue(float sample);

// Plays the loaded recording once, from its beginning, on a SoundOutput, while
// the caller goes on. Every failure is silent: a player whose output could not
// be opened stays "not ready" and does nothing at all.
//
// Life: ready or not ready from construction; idle (no channel, no sample) or
// playing after each play(); closed after close(), when every call is a no-op.
class PreviewPlayer {
public:
    // Opens `output` at 44100 Hz with 4 voices; the player owns it.
    explicit PreviewPlayer(std::unique_ptr<SoundOutput> output);
    // Closes the output if close() was not called.
    ~PreviewPlayer();
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    // Stops the current preview, then plays the first count() samples of
    // `signal` (which may be null) at its sample rate. The signal is read only
    // during the call. Returns as soon as playback has started.
    void play(const Signal* signal);
    // Stops the current preview and frees its sample.
    void stop();
    // stop(), then shuts the output down.
    void close();

    bool soundReady() const { return soundReady_; }
    // Voice of the current preview, -1 when there is none.
    int channel() const { return channel_; }
    bool hasSample() const { return sample_ != kNoSample; }
    // True while the current preview still sounds.
    bool isPlaying();

private:
    std::unique_ptr<SoundOutput> output_;
    bool soundReady_ = false;
    int channel_ = -1;
    SoundSampleId sample_ = kNoSample;
};

}  // namespace selvik
