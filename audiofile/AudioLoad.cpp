#include "audiofile/AudioLoad.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "audiofile/ClassicWavDecoder.h"
#include "audiofile/FrameDecoder.h"
#include "audiofile/Resampler.h"
#include "audiofile/SampleBlocks.h"
#include "audiofile/SndfileDecoder.h"
#include "signal/WavByteSource.h"
#include "signal/WavLayout.h"

namespace selvik {

namespace {

// Source rates outside this range are no recording; the lower bound also
// keeps the resampler's growth (44100 / rate) small.
constexpr std::int32_t kLowestRate = 1000;
constexpr std::int32_t kHighestRate = 1000000;

// The mix counts as cancelled out when its energy is this far (20 dB) below
// the louder channel's.
constexpr double kCancelledPowerRatio = 100.0;

// "m:ss" below an hour, "h:mm:ss" from there on; whole seconds, rounded down.
std::string clockText(double seconds) {
    const auto total = static_cast<long long>(seconds > 0.0 ? std::floor(seconds) : 0.0);
    char text[32];
    if (total < 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                      total % 60);
    }
    return text;
}

std::string limitText(double seconds) {
    const double hours = seconds / 3600.0;
    if (hours >= 1.0 && hours == std::floor(hours)) {
        const auto whole = static_cast<long long>(hours);
        return std::to_string(whole) + (whole == 1 ? " hour" : " hours");
    }
    return clockText(seconds);
}

std::string channelName(std::int32_t channel, std::int32_t channels) {
    if (channels == 2) return channel == 0 ? "left" : "right";
    return "channel " + std::to_string(channel + 1);
}

// Maps the source position of one or two passes onto the indicator.
class ProgressReport {
public:
    static constexpr std::int32_t kPassSteps = 1000;

    explicit ProgressReport(ProgressIndicator* indicator) : indicator_(indicator) {
        if (indicator_ != nullptr) indicator_->setRange(0, kPassSteps);
    }

    // The second pass extends the range, so the bar goes on instead of back.
    void secondPass() {
        base_ = kPassSteps;
        if (indicator_ != nullptr) indicator_->setRange(0, 2 * kPassSteps);
    }

    void at(const FrameDecoder& decoder) {
        const std::uint64_t size = decoder.sourceBytes();
        std::uint64_t position = decoder.position();
        if (position > size) position = size;
        const std::int32_t step =
            size == 0 ? kPassSteps : static_cast<std::int32_t>(position * kPassSteps / size);
        show(base_ + step);
    }

    void passDone() { show(base_ + kPassSteps); }

private:
    void show(std::int32_t value) {
        if (indicator_ == nullptr || value == last_) return;
        last_ = value;
        indicator_->setPosition(value);
    }

    ProgressIndicator* indicator_;
    std::int32_t base_ = 0;
    std::int32_t last_ = -1;
};

enum class PassEnd { Finished, Stopped, TooLong, OutOfMemory, Cancelled };

struct PassResult {
    PassEnd end = PassEnd::Finished;
    std::uint64_t frames = 0;  // source frames decoded
    std::string why;           // Stopped: the decoder's or resampler's reason
};

// Energy of each channel and of their mean, over the frames decoded.
struct Energies {
    std::vector<double> channels;
    double mix = 0.0;
};

double energyOf(const float* values, std::size_t n) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(values[i]) * values[i];
    return sum;
}

// One pass over the decoder from where it stands: the mix (channel < 0) or
// one channel, resampled into `out`.
PassResult runPass(FrameDecoder& decoder, std::int32_t channel, Energies* energies,
                   SampleBlocks& out, ProgressReport& progress, const std::atomic<bool>* cancel,
                   double maxSeconds) {
    PassResult result;
    const auto channels = static_cast<std::size_t>(decoder.channels());
    const std::size_t chunk = decoder.chunkFrames();
    std::vector<float> mix(chunk);
    std::vector<float> planeValues;
    std::vector<float*> planes;
    const bool wantPlanes = channels > 1 && (energies != nullptr || channel >= 0);
    if (wantPlanes) {
        planeValues.resize(channels * chunk);
        for (std::size_t c = 0; c < channels; ++c) planes.push_back(planeValues.data() + c * chunk);
    }
    if (energies != nullptr) energies->channels.assign(channels, 0.0);
    const double maxFrames = std::floor(maxSeconds * decoder.sampleRate());

    Resampler resampler;
    std::string error;
    if (!resampler.start(decoder.sampleRate(), error)) {
        result.end = PassEnd::OutOfMemory;
        result.why = "the resampler could not be set up (" + error + ")";
        return result;
    }
    for (;;) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            result.end = PassEnd::Cancelled;
            return result;
        }
        const std::size_t n = decoder.read(chunk, mix.data(), wantPlanes ? planes.data() : nullptr);
        if (n == 0) break;
        result.frames += n;
        if (static_cast<double>(result.frames) > maxFrames) {
            result.end = PassEnd::TooLong;
            return result;
        }
        if (energies != nullptr) {
            energies->mix += energyOf(mix.data(), n);
            for (std::size_t c = 0; wantPlanes && c < channels; ++c) {
                energies->channels[c] += energyOf(planes[c], n);
            }
        }
        const float* samples = channel < 0 ? mix.data() : planes[static_cast<std::size_t>(channel)];
        const Resampler::Result fed = resampler.feed(samples, n, out, error);
        if (fed == Resampler::Result::OutOfMemory) {
            result.end = PassEnd::OutOfMemory;
            return result;
        }
        if (fed == Resampler::Result::Failed) {
            result.end = PassEnd::Stopped;
            result.why = "resampler: " + error;
            return result;
        }
        progress.at(decoder);
        if (!decoder.failure().empty()) break;
    }
    if (!decoder.failure().empty()) {
        result.end = PassEnd::Stopped;
        result.why = decoder.failure();
    }
    const Resampler::Result flushed = resampler.finish(out, error);
    if (flushed == Resampler::Result::OutOfMemory) {
        result.end = PassEnd::OutOfMemory;
    } else if (flushed == Resampler::Result::Failed && result.end == PassEnd::Finished) {
        result.end = PassEnd::Stopped;
        result.why = "resampler: " + error;
    }
    progress.passDone();
    return result;
}

AudioLoad refused(AudioLoad load, AudioLoadStatus status, std::string reason) {
    load.status = status;
    load.reason = std::move(reason);
    load.signal.clear();
    load.notes.clear();
    load.classicFormat = false;
    load.channelAnalysed = -1;
    return load;
}

// The channel whose energy is highest, when the mix is far below it; -1 otherwise.
std::int32_t cancelledMixChannel(const Energies& energies) {
    std::int32_t loudest = -1;
    double most = 0.0;
    for (std::size_t c = 0; c < energies.channels.size(); ++c) {
        if (energies.channels[c] > most) {
            most = energies.channels[c];
            loudest = static_cast<std::int32_t>(c);
        }
    }
    if (loudest < 0 || energies.channels.size() < 2) return -1;
    return energies.mix * kCancelledPowerRatio < most ? loudest : -1;
}

AudioLoad decodeAll(FrameDecoder& decoder, bool classic, ProgressIndicator* indicator,
                    const std::atomic<bool>* cancel, const AudioLoadLimits& limits) {
    AudioLoad load;
    load.formatName = decoder.formatName();
    load.sourceRate = decoder.sampleRate();
    load.channels = decoder.channels();
    const std::int32_t rate = decoder.sampleRate();
    if (rate < kLowestRate || rate > kHighestRate) {
        return refused(std::move(load), AudioLoadStatus::Unreadable,
                       "sample rate " + std::to_string(rate) + " Hz; only " +
                           std::to_string(kLowestRate) + " to " + std::to_string(kHighestRate) +
                           " Hz are read");
    }
    if (decoder.channels() < 1) {
        return refused(std::move(load), AudioLoadStatus::Unreadable,
                       std::to_string(decoder.channels()) + " channels");
    }
    const std::int64_t claimed = decoder.claimedFrames();
    if (claimed >= 0 && static_cast<double>(claimed) / rate > limits.maxSeconds) {
        load.seconds = static_cast<double>(claimed) / rate;
        return refused(std::move(load), AudioLoadStatus::TooLong,
                       "longer than " + limitText(limits.maxSeconds) + " (" +
                           clockText(load.seconds) + ")");
    }

    ProgressReport progress(indicator);
    SampleBlocks blocks;
    Energies energies;
    PassResult pass = runPass(decoder, -1, &energies, blocks, progress, cancel, limits.maxSeconds);
    if (pass.end == PassEnd::Finished || pass.end == PassEnd::Stopped) {
        const std::int32_t loud = cancelledMixChannel(energies);
        if (loud >= 0) {
            if (decoder.rewind()) {
                blocks.clear();
                progress.secondPass();
                pass = runPass(decoder, loud, nullptr, blocks, progress, cancel, limits.maxSeconds);
                load.channelAnalysed = loud;
                load.notes.push_back("the channels cancel out when mixed; analysing the " +
                                     channelName(loud, decoder.channels()) + " channel");
            } else {
                load.notes.push_back(
                    "the channels cancel out when mixed, but the file could not be read again (" +
                    decoder.failure() + ")");
            }
        }
    }
    load.seconds = static_cast<double>(pass.frames) / rate;
    switch (pass.end) {
        case PassEnd::Cancelled:
            return refused(std::move(load), AudioLoadStatus::Cancelled, "cancelled");
        case PassEnd::TooLong:
            return refused(std::move(load), AudioLoadStatus::TooLong,
                           "longer than " + limitText(limits.maxSeconds) + " (stopped reading at " +
                               clockText(load.seconds) + ")");
        case PassEnd::OutOfMemory:
            return refused(std::move(load), AudioLoadStatus::OutOfMemory,
                           pass.why.empty() ? "not enough memory for the samples after " +
                                                  clockText(load.seconds)
                                            : pass.why);
        case PassEnd::Stopped:
            load.notes.push_back("decoding stopped at " + clockText(load.seconds) + " (" +
                                 pass.why + ")");
            break;
        case PassEnd::Finished:
            break;
    }
    const std::uint64_t samples = blocks.count();
    if (blocks.moveInto(load.signal) != SignalStatus::NoError) {
        return refused(std::move(load), AudioLoadStatus::OutOfMemory,
                       "not enough memory for " + std::to_string(samples) + " samples");
    }
    load.status = AudioLoadStatus::Loaded;
    load.classicFormat = classic && pass.end == PassEnd::Finished;
    return load;
}

AudioLoad loadFrom(WavByteSource& source, ProgressIndicator* progress,
                   const std::atomic<bool>* cancel, const AudioLoadLimits& limits) {
    WavLayout layout;
    std::string classicWhy;
    const SignalStatus classic = parseWavLayout(source, layout, &classicWhy);
    if (classic == SignalStatus::NoError) {
        auto decoder = std::make_unique<ClassicWavDecoder>(source, layout);
        return decodeAll(*decoder, true, progress, cancel, limits);
    }
    if (classic != SignalStatus::BadFileFormat) {
        return refused(AudioLoad{}, AudioLoadStatus::Unreadable, classicWhy);
    }
    SndfileDecoder decoder(source);
    std::string sndfileWhy;
    if (!decoder.open(sndfileWhy)) {
        return refused(AudioLoad{}, AudioLoadStatus::Unreadable,
                       "libsndfile: " + sndfileWhy + "; classic WAV reader: " + classicWhy);
    }
    return decodeAll(decoder, false, progress, cancel, limits);
}

template <typename Load>
AudioLoad guarded(Load load) {
    try {
        return load();
    } catch (const std::bad_alloc&) {
        AudioLoad result;
        result.status = AudioLoadStatus::OutOfMemory;
        result.reason = "not enough memory";
        return result;
    } catch (const std::exception& error) {
        AudioLoad result;
        result.status = AudioLoadStatus::Unreadable;
        result.reason = error.what();
        return result;
    }
}

}  // namespace

AudioLoad loadAudioFile(const char* path, ProgressIndicator* progress,
                        const std::atomic<bool>* cancel, const AudioLoadLimits& limits) {
    return guarded([&]() -> AudioLoad {
        if (path == nullptr) {
            return refused(AudioLoad{}, AudioLoadStatus::Unreadable, "no path given");
        }
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            return refused(AudioLoad{}, AudioLoadStatus::Unreadable,
                           std::string("\"") + path + "\" is a directory");
        }
        std::FILE* file = std::fopen(path, "rb");
        if (file == nullptr) {
            return refused(AudioLoad{}, AudioLoadStatus::Unreadable,
                           std::string("cannot open \"") + path + "\" for reading");
        }
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
        long end = -1;
        if (std::fseek(file, 0, SEEK_END) != 0 || (end = std::ftell(file)) < 0 ||
            std::fseek(file, 0, SEEK_SET) != 0) {
            return refused(AudioLoad{}, AudioLoadStatus::Unreadable,
                           "cannot find the size of the file");
        }
        WavFileSource source(file, static_cast<std::uint64_t>(end));
        return loadFrom(source, progress, cancel, limits);
    });
}

AudioLoad loadAudioBytes(const unsigned char* data, std::size_t size, ProgressIndicator* progress,
                         const std::atomic<bool>* cancel, const AudioLoadLimits& limits) {
    return guarded([&]() -> AudioLoad {
        if (data == nullptr && size != 0) {
            return refused(AudioLoad{}, AudioLoadStatus::Unreadable, "no bytes given");
        }
        WavMemorySource source(data, size);
        return loadFrom(source, progress, cancel, limits);
    });
}

}  // namespace selvik
