#pragma once

// Shared by the preview tests of every SDL driver: signals to play, a counting
// wrapper that shows which calls the player makes, and waiting for the end.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "preview/PreviewPlayer.h"
#include "preview/SdlSoundOutput.h"
#include "signal/Signal.h"

namespace selvik::testing_support {

// A 44100 Hz signal holding exactly `values`.
inline Signal signalOf(const std::vector<float>& values) {
    Signal signal;
    EXPECT_EQ(signal.create(static_cast<std::int32_t>(values.size())), SignalStatus::NoError);
    signal.setSampleRate(44100);
    for (std::size_t i = 0; i < values.size(); ++i) signal.samples()[i] = values[i];
    return signal;
}

// Counts the calls made through it, and can make chosen ones fail, in front of
// a real SoundOutput.
class CountingSoundOutput final : public SoundOutput {
public:
    explicit CountingSoundOutput(std::unique_ptr<SoundOutput> inner) : inner_(std::move(inner)) {}

    struct Counts {
        int open = 0, shutdown = 0, create = 0, upload = 0, release = 0, start = 0,
            isPlaying = 0, stopVoice = 0;
        int total() const {
            return open + shutdown + create + upload + release + start + isPlaying + stopVoice;
        }
    };
    // Owned by the test, so it outlives the player that owns this output.
    std::shared_ptr<Counts> counts = std::make_shared<Counts>();
    std::shared_ptr<std::vector<SoundSampleId>> released =
        std::make_shared<std::vector<SoundSampleId>>();
    bool failCreate = false;
    bool failUpload = false;
    bool failStart = false;

    bool open(int rate, int voices) override {
        ++counts->open;
        return inner_->open(rate, voices);
    }
    void shutdown() override {
        ++counts->shutdown;
        inner_->shutdown();
    }
    SoundSampleId createSample(std::int32_t length, std::int32_t rate) override {
        ++counts->create;
        return failCreate ? kNoSample : inner_->createSample(length, rate);
    }
    bool uploadSample(SoundSampleId sample, const std::int16_t* frames) override {
        ++counts->upload;
        return !failUpload && inner_->uploadSample(sample, frames);
    }
    void releaseSample(SoundSampleId sample) override {
        ++counts->release;
        released->push_back(sample);
        inner_->releaseSample(sample);
    }
    int startSample(SoundSampleId sample) override {
        ++counts->start;
        return failStart ? -1 : inner_->startSample(sample);
    }
    bool isVoicePlaying(int voice) override {
        ++counts->isPlaying;
        return inner_->isVoicePlaying(voice);
    }
    void stopVoice(int voice) override {
        ++counts->stopVoice;
        inner_->stopVoice(voice);
    }

private:
    std::unique_ptr<SoundOutput> inner_;
};

// Waits until the preview has ended; false if it still plays after `limit`
// (a hang, not a timing check: the limit is far beyond any real duration).
inline bool waitUntilFinished(PreviewPlayer& player,
                              std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (player.isPlaying()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace selvik::testing_support
