// libFuzzer target: arbitrary bytes through the audio file loader, both its
// classic WAV path and libsndfile's, the downmix and the resampler. Whatever
// the outcome, it must keep its contract, and a file the classic WAV reader
// accepts must give exactly that reader's samples.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "audiofile/AudioLoad.h"
#include "signal/Signal.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool oneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Ten minutes keep every input's samples well inside the fuzzer's memory.
    selvik::AudioLoadLimits limits;
    limits.maxSeconds = 600.0;
    selvik::AudioLoad load = selvik::loadAudioBytes(data, size, nullptr, nullptr, limits);
    const selvik::Signal& signal = load.signal;

    selvik::Signal classic;
    const bool classicAccepts = classic.readWavBytes(data, size) == selvik::SignalStatus::NoError;

    if (load.status != selvik::AudioLoadStatus::Loaded) {
        require(load.status == selvik::AudioLoadStatus::Unreadable ||
                load.status == selvik::AudioLoadStatus::TooLong ||
                load.status == selvik::AudioLoadStatus::OutOfMemory);
        require(signal.samples() == nullptr && signal.count() == 0);
        require(oneLine(load.reason));
        require(load.notes.empty() && !load.classicFormat);
        // The classic reader's files are only refused for their length.
        require(!classicAccepts || load.status == selvik::AudioLoadStatus::TooLong);
        return 0;
    }

    require(load.reason.empty());
    for (const std::string& note : load.notes) require(oneLine(note));
    require(signal.sampleRate() == 44100);
    const std::int32_t count = signal.count();
    const std::int32_t padded = signal.paddedLength();
    require(signal.samples() != nullptr);
    require(count == 0 ? padded == 2 : padded >= count && (padded & (padded - 1)) == 0);
    for (std::int32_t i = 0; i < padded; ++i) {
        require(i < count ? std::isfinite(signal.samples()[i]) : signal.samples()[i] == 0.0f);
    }
    require(load.seconds >= 0.0 && load.seconds <= limits.maxSeconds);

    if (load.classicFormat) {
        require(classicAccepts && count == classic.count());
        for (std::int32_t i = 0; load.channelAnalysed < 0 && i < count; ++i) {
            require(signal.samples()[i] == classic.samples()[i]);
        }
    } else {
        // A classic file read to its end is always reported as one.
        require(!classicAccepts);
    }
    return 0;
}
