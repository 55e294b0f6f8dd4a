#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "signal/Signal.h"
#include "signal/SignalStatus.h"

namespace selvik {

// Decoded samples gathered in blocks of kBlockSamples floats while their
// total is not known yet, so growing never copies what is already there.
// moveInto() then hands them to a Signal block by block, freeing each block
// as soon as it is copied: the peak stays near one copy of the samples.
// Each block is a mapping of its own, so freeing it gives the memory back to
// the system at once (a heap might keep it until the blocks above it are
// gone). Allocation failures are reported, never thrown, except
// std::bad_alloc from the small list of blocks.
class SampleBlocks {
public:
    static constexpr std::size_t kBlockSamples = std::size_t{1} << 20;

    // Samples held.
    std::uint64_t count() const { return count_; }

    // Free room at the end for up to `available` samples (at least 1), taking
    // a new block when the last one is full; null when that block cannot be
    // allocated. commit() then keeps the first n written.
    float* room(std::size_t& available);
    void commit(std::size_t n) { count_ += n; }

    // Appends n samples; false when a block cannot be allocated.
    bool append(const float* samples, std::size_t n);

    // Drops every sample.
    void clear();

    // Makes `signal` a 44100 Hz Signal of count() samples holding them, and
    // empties this store. OutOfMemory (the store emptied, the Signal empty)
    // when the Signal's array cannot be allocated or count() exceeds
    // Signal::kMaxCount.
    SignalStatus moveInto(Signal& signal);

private:
    struct Unmapper {
        void operator()(float* block) const;
    };
    std::vector<std::unique_ptr<float, Unmapper>> blocks_;
    std::uint64_t count_ = 0;
};

}  // namespace selvik
