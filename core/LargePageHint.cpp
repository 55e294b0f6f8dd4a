#include "core/LargePageHint.h"

#include <atomic>

namespace selvik {

namespace {

std::atomic<LargePageHint> gHint{nullptr};

}  // namespace

void installLargePageHint(LargePageHint hint) { gHint.store(hint, std::memory_order_release); }

void hintLargePages(void* start, std::size_t bytes) {
    if (start == nullptr || bytes < kLargePageHintMinBytes) return;
    const LargePageHint hint = gHint.load(std::memory_order_acquire);
    if (hint != nullptr) hint(start, bytes);
}

}  // namespace selvik
