#include "audiofile/SampleBlocks.h"

#include <sys/mman.h>

#include <cstring>

namespace selvik {

namespace {

constexpr std::size_t kBlockBytes = SampleBlocks::kBlockSamples * sizeof(float);

}  // namespace

void SampleBlocks::Unmapper::operator()(float* block) const { munmap(block, kBlockBytes); }

float* SampleBlocks::room(std::size_t& available) {
    const std::size_t used = static_cast<std::size_t>(count_ % kBlockSamples);
    if (used == 0 && count_ / kBlockSamples == blocks_.size()) {
        // Grown first, so that the mapping below is never left unowned.
        if (blocks_.size() == blocks_.capacity()) blocks_.reserve(2 * blocks_.size() + 16);
        void* mapped = mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) return nullptr;
        blocks_.emplace_back(static_cast<float*>(mapped));
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
