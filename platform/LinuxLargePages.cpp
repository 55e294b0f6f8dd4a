#include "platform/LinuxLargePages.h"

#include <cstddef>
#include <cstdint>

#include "core/LargePageHint.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace selvik::platform {

#if defined(__linux__) && defined(MADV_HUGEPAGE)

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

// Only whole huge pages inside the buffer are marked: the memory around it
// may belong to other allocations, and madvise wants aligned ranges. A
// refusal (an old kernel, huge pages switched off) leaves small pages, which
// is only slower.
void adviseHugePages(void* start, std::size_t bytes) {
    const auto from = reinterpret_cast<std::uintptr_t>(start);
    if (bytes > UINTPTR_MAX - from) return;
    const std::uintptr_t first = (from + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (from + bytes) & ~(kHugePage - 1);
    if (end <= first) return;
    static_cast<void>(madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE));
}

}  // namespace

void installLargePages() { installLargePageHint(&adviseHugePages); }

#else

void installLargePages() {}

#endif

}  // namespace selvik::platform
