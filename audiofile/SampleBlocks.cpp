#include "audiofile/SampleBlocks.h"

#include <cstring>

namespace selvik {

float* SampleBlocks::room(std::size_t& available) {
    const std::size_t used = static_cast<std::size_t>(count_ % kBlockSamples);
    if (used == 0 && count_ / kBlockSamples == blocks_.size()) {
        std::unique_ptr<float, FreeDeleter> block(
            static_cast<float*>(std::malloc(kBlockSamples * sizeof(float))));
        if (!block) return nullptr;
        blocks_.push_back(std::move(block));
    }
    available = kBlockSamples - used;
    return blocks_.back().get() + used;
}

bool SampleBlocks::append(const float* samples, std::size_t n) {
    while (n > 0) {
        std::size_t available = 0;
        float* out = room(available);
        if (out == nullptr) return false;
        const std::size_t take = n < available ? n : available;
        std::memcpy(out, samples, take * sizeof(float));
        commit(take);
        samples += take;
        n -= take;
    }
    return true;
}

void SampleBlocks::clear() {
    blocks_.clear();
    count_ = 0;
}

SignalStatus SampleBlocks::moveInto(Signal& signal) {
    const std::uint64_t total = count_;
    if (total > static_cast<std::uint64_t>(Signal::kMaxCount)) {
        clear();
        signal.clear();
        return SignalStatus::OutOfMemory;
    }
    const SignalStatus status = signal.createForReading(static_cast<std::int64_t>(total), 44100);
    if (status != SignalStatus::NoError) {
        clear();
        return status;
    }
    std::uint64_t done = 0;
    for (auto& block : blocks_) {
        const std::uint64_t left = total - done;
        const auto n = static_cast<std::size_t>(left < kBlockSamples ? left : kBlockSamples);
        std::memcpy(signal.samples() + done, block.get(), n * sizeof(float));
        block.reset();
        done += n;
    }
    clear();
    return SignalStatus::NoError;
}

}  // namespace selvik
