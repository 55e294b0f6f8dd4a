#pragma once

#include <cstdint>

namespace selvik {

// Identifies a sample held by a SoundOutput; kNoSample is none.
using SoundSampleId = std::uint32_t;
inline constexpr SoundSampleId kNoSample = 0;

// An audio output that plays uploaded 16-bit signed mono samples once, on one
// of a few voices. Each sample keeps its own copy of the data. All calls come
// from one thread (the user interface's); playback runs on the output's own.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    // Opens the default output at `mixRate` frames per second with `voices`
    // voices. False when there is no usable output; nothing is reported.
    virtual bool open(int mixRate, int voices) = 0;
    // Stops every voice, frees every sample and releases the output.
    virtual void shutdown() = 0;

    // Reserves a sample of `length` frames to be played at `rate` frames per
    // second; kNoSample on failure.
    virtual SoundSampleId createSample(std::int32_t length, std::int32_t rate) = 0;
    // Copies the sample's `length` frames from `frames`; false on failure.
    virtual bool uploadSample(SoundSampleId sample, const std::int16_t* frames) = 0;
    // Frees the sample, stopping any voice that plays it.
    virtual void releaseSample(SoundSampleId sample) = 0;

    // Starts the sample once, without looping, on a free voice. Returns a
    // handle whose low 6 bits name the voice, or -1 when nothing could start.
    virtual int startSample(SoundSampleId sample) = 0;
    // True while the voice has frames left or the output still plays the last
    // ones it was given.
    virtual bool isVoicePlaying(int voice) = 0;
    // Silences the voice at once.
    virtual void stopVoice(int voice) = 0;
};

}  // namespace selvik
