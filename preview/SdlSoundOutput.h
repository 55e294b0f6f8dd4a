#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "preview/SoundOutput.h"

namespace selvik {

// SoundOutput over SDL2's audio subsystem: the default playback device, signed
// 16-bit mono, fed by a callback that mixes the voices.
//
// A paused SDL device still hands silence to its backend, so an idle output
// would keep writing zeros for as long as it is open. The device is therefore
// open only while a voice sounds: opened by startSample(), closed (after SDL
// has drained it) once the last voice has finished. open() opens it once to
// learn that an output exists.
//
// Only SDL's audio subsystem is initialised, once per open() and paired with
// one quit in shutdown(); SDL_Quit is never called, so other users of SDL in
// the same process are left alone. SDL's log output is kept from standard
// error; the last failure is available from lastError().
class SdlSoundOutput final : public SoundOutput {
public:
    SdlSoundOutput() = default;
    ~SdlSoundOutput() override;
    SdlSoundOutput(const SdlSoundOutput&) = delete;
    SdlSoundOutput& operator=(const SdlSoundOutput&) = delete;

    bool open(int mixRate, int voices) override;
    void shutdown() override;
    SoundSampleId createSample(std::int32_t length, std::int32_t rate) override;
    bool uploadSample(SoundSampleId sample, const std::int16_t* frames) override;
    void releaseSample(SoundSampleId sample) override;
    int startSample(SoundSampleId sample) override;
    bool isVoicePlaying(int voice) override;
    void stopVoice(int voice) override;

    // Why the last open() or upload failed, as SDL put it; empty when it did not.
    const std::string& lastError() const { return lastError_; }

private:
    using Frames = std::vector<std::int16_t>;

    struct Sample {
        std::int32_t length = 0;
        std::int32_t rate = 0;
        std::shared_ptr<const Frames> frames;  // at the device rate; null until uploaded
    };

    enum class VoiceState { Idle, Playing, Draining };

    struct Voice {
        SoundSampleId sample = kNoSample;
        std::shared_ptr<const Frames> frames;
        std::size_t position = 0;
        VoiceState state = VoiceState::Idle;
    };

    static void audioCallback(void* self, std::uint8_t* stream, int bytes);
    void mix(std::int16_t* out, int frames);
    bool openDevice();     // with control_ held
    void closeIfSilent();  // takes control_
    void watchForSilence();
    bool validVoice(int voice) const;

    bool open_ = false;
    int mixRate_ = 0;
    std::map<SoundSampleId, Sample> samples_;
    SoundSampleId nextSample_ = 1;
    std::string lastError_;

    // Device state, owned by control_. Closing the device from the callback is
    // not allowed, so the callback tells a watcher thread when the last voice
    // went quiet; control_ orders that close against a start.
    std::mutex control_;
    std::uint32_t device_ = 0;  // SDL_AudioDeviceID; 0 while closed
    std::vector<std::int32_t> mixBuffer_;
    std::condition_variable wake_;
    std::atomic<bool> quietNotice_{false};
    bool stopping_ = false;
    std::thread watcher_;

    // Shared with the callback. Lock order: control_, then voicesLock_.
    std::mutex voicesLock_;
    std::vector<Voice> voices_;
};

}  // namespace selvik
