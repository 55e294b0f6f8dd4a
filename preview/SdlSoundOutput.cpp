#include "preview/SdlSoundOutput.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

namespace selvik {

namespace {

// SDL logs through a process-wide function; ours keeps its messages off
// standard error. They are not needed: failures come from SDL_GetError.
void discardSdlLog(void*, int, SDL_LogPriority, const char*) {}

// Converts 16-bit mono frames from `rate` to `deviceRate` by linear
// interpolation. (SDL's own audio stream drops frames when it upsamples.)
std::shared_ptr<const std::vector<std::int16_t>> convertRate(const std::int16_t* frames,
                                                             std::int32_t length, int rate,
                                                             int deviceRate) {
    auto converted = std::make_shared<std::vector<std::int16_t>>();
    if (rate == deviceRate) {
        converted->assign(frames, frames + length);
        return converted;
    }
    const auto outLength = static_cast<std::size_t>(
        (static_cast<std::int64_t>(length) * deviceRate + rate - 1) / rate);
    converted->resize(outLength);
    const double step = static_cast<double>(rate) / deviceRate;
    for (std::size_t i = 0; i < outLength; ++i) {
        const double position = static_cast<double>(i) * step;
        const auto left = static_cast<std::size_t>(position);
        const std::size_t right = std::min<std::size_t>(left + 1, static_cast<std::size_t>(length) - 1);
        const double t = position - static_cast<double>(left);
        (*converted)[i] = static_cast<std::int16_t>(
            std::lround(frames[left] * (1.0 - t) + frames[right] * t));
    }
    return converted;
}

// SDL loads ALSA at run time, and ALSA prints its own complaints (no sound
// card, unknown PCM) straight to standard error. The same library instance
// takes a silent error handler here, before SDL opens it.
extern "C" void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

void silenceAlsa() {
    static const bool done = [] {
        void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
        if (!alsa) return false;  // no ALSA, nothing to silence; the handle stays open
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        using SetHandler = int (*)(Handler);
        if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) {
            set(&silentAlsaError);
        }
        return true;
    }();
    (void)done;
}

}  // namespace

SdlSoundOutput::~SdlSoundOutput() { shutdown(); }

bool SdlSoundOutput::openDevice() {
    SDL_AudioSpec wanted{};
    wanted.freq = mixRate_;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 1;
    wanted.samples = 2048;
    wanted.callback = &SdlSoundOutput::audioCallback;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0) {
        lastError_ = SDL_GetError();
        return false;
    }
    // Sized before the callback can run: the device starts paused.
    mixBuffer_.assign(obtained.samples, 0);
    device_ = device;
    return true;
}

bool SdlSoundOutput::open(int mixRate, int voices) {
    if (open_ || mixRate <= 0 || voices <= 0) return false;
    lastError_.clear();
    SDL_LogSetOutputFunction(discardSdlLog, nullptr);
    silenceAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        lastError_ = SDL_GetError();
        return false;
    }
    mixRate_ = mixRate;
    {
        std::lock_guard lock(control_);
        // Opened once here only to learn that there is an output to play on.
        if (!openDevice()) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        SDL_CloseAudioDevice(device_);
        device_ = 0;
        stopping_ = false;
    }
    {
        std::lock_guard lock(voicesLock_);
        voices_.assign(static_cast<std::size_t>(voices), Voice{});
    }
    open_ = true;
    watcher_ = std::thread([this] { watchForSilence(); });
    return true;
}

void SdlSoundOutput::shutdown() {
    if (!open_) return;
    {
        std::lock_guard lock(control_);
        stopping_ = true;
    }
    wake_.notify_all();
    watcher_.join();
    {
        std::lock_guard lock(voicesLock_);
        for (Voice& voice : voices_) voice = Voice{};
    }
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
    {
        std::lock_guard lock(voicesLock_);
        voices_.clear();
    }
    samples_.clear();
    open_ = false;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

SoundSampleId SdlSoundOutput::createSample(std::int32_t length, std::int32_t rate) {
    if (!open_ || length <= 0 || rate <= 0) return kNoSample;
    if (nextSample_ == kNoSample) ++nextSample_;
    const SoundSampleId id = nextSample_++;
    samples_[id] = Sample{length, rate, nullptr};
    return id;
}

bool SdlSoundOutput::uploadSample(SoundSampleId sample, const std::int16_t* frames) {
    const auto found = samples_.find(sample);
    if (found == samples_.end() || !frames) return false;
    Sample& target = found->second;
    // Two bytes per frame must still fit SDL's int lengths.
    if (target.length > std::numeric_limits<int>::max() / 2) return false;
    try {
        target.frames = convertRate(frames, target.length, target.rate, mixRate_);
    } catch (const std::bad_alloc&) {
        target.frames = nullptr;
    }
    if (!target.frames) lastError_ = "cannot hold the sample";
    return target.frames != nullptr;
}

void SdlSoundOutput::releaseSample(SoundSampleId sample) {
    const auto found = samples_.find(sample);
    if (found == samples_.end()) return;
    {
        std::lock_guard lock(voicesLock_);
        for (Voice& voice : voices_) {
            if (voice.sample == sample) voice = Voice{};
        }
    }
    samples_.erase(found);
    closeIfSilent();
}

int SdlSoundOutput::startSample(SoundSampleId sample) {
    const auto found = samples_.find(sample);
    if (!open_ || found == samples_.end() || !found->second.frames ||
        found->second.frames->empty()) {
        return -1;
    }
    std::lock_guard control(control_);
    int chosen = -1;
    {
        std::lock_guard lock(voicesLock_);
        for (std::size_t i = 0; i < voices_.size(); ++i) {
            if (voices_[i].state == VoiceState::Idle) {
                chosen = static_cast<int>(i);
                voices_[i] = Voice{sample, found->second.frames, 0, VoiceState::Playing};
                break;
            }
        }
    }
    if (chosen < 0) return -1;
    if (device_ == 0 && !openDevice()) {
        std::lock_guard lock(voicesLock_);
        voices_[static_cast<std::size_t>(chosen)] = Voice{};
        return -1;
    }
    SDL_PauseAudioDevice(device_, 0);
    return chosen;
}

bool SdlSoundOutput::validVoice(int voice) const {
    return open_ && voice >= 0 && static_cast<std::size_t>(voice) < voices_.size();
}

bool SdlSoundOutput::isVoicePlaying(int voice) {
    if (!validVoice(voice)) return false;
    std::lock_guard lock(voicesLock_);
    return voices_[static_cast<std::size_t>(voice)].state != VoiceState::Idle;
}

void SdlSoundOutput::stopVoice(int voice) {
    if (!validVoice(voice)) return;
    {
        std::lock_guard lock(voicesLock_);
        voices_[static_cast<std::size_t>(voice)] = Voice{};
    }
    closeIfSilent();
}

void SdlSoundOutput::audioCallback(void* self, std::uint8_t* stream, int bytes) {
    static_cast<SdlSoundOutput*>(self)->mix(reinterpret_cast<std::int16_t*>(stream),
                                            bytes / static_cast<int>(sizeof(std::int16_t)));
}

void SdlSoundOutput::mix(std::int16_t* out, int frames) {
    // mixBuffer_ is only resized while the device is closed, so reading it
    // here needs no lock.
    if (mixBuffer_.size() < static_cast<std::size_t>(frames)) {
        std::memset(out, 0, static_cast<std::size_t>(frames) * sizeof(std::int16_t));
        return;
    }
    std::fill_n(mixBuffer_.begin(), frames, 0);
    bool quiet = true;
    {
        std::lock_guard lock(voicesLock_);
        for (Voice& voice : voices_) {
            if (voice.state == VoiceState::Draining) {
                // The device asked again, so it has taken the last frames given.
                voice = Voice{};
                continue;
            }
            if (voice.state != VoiceState::Playing) continue;
            const Frames& data = *voice.frames;
            const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(frames),
                                                        data.size() - voice.position);
            for (std::size_t i = 0; i < n; ++i) mixBuffer_[i] += data[voice.position + i];
            voice.position += n;
            if (voice.position == data.size()) voice.state = VoiceState::Draining;
            quiet = false;
        }
    }
    for (int i = 0; i < frames; ++i) {
        out[i] = static_cast<std::int16_t>(
            std::clamp(mixBuffer_[static_cast<std::size_t>(i)], -32768, 32767));
    }
    if (quiet) {
        quietNotice_.store(true);
        wake_.notify_one();
    }
}

void SdlSoundOutput::watchForSilence() {
    std::unique_lock lock(control_);
    while (!stopping_) {
        // The timeout covers a notice that arrives between the check and the wait.
        wake_.wait_for(lock, std::chrono::milliseconds(50),
                       [this] { return stopping_ || quietNotice_.load(); });
        if (stopping_) break;
        if (quietNotice_.exchange(false)) {
            lock.unlock();
            closeIfSilent();
            lock.lock();
        }
    }
}

void SdlSoundOutput::closeIfSilent() {
    std::lock_guard control(control_);
    if (device_ == 0) return;
    bool silent = false;
    {
        std::lock_guard lock(voicesLock_);
        silent = std::all_of(voices_.begin(), voices_.end(),
                             [](const Voice& v) { return v.state == VoiceState::Idle; });
    }
    // Closing lets SDL play out what it holds, then ends its thread; the
    // callback never takes control_, so this cannot wait on itself.
    if (silent) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
}

}  // namespace selvik
