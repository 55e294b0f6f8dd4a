#pragma once

#include <cstddef>

namespace selvik {

// A buffer of tens of megabytes that is filled right after it is allocated
// (a whole recording's samples) is faulted in one small page at a time, and
// on a three-minute recording that costs more than reading the file. Where
// the system offers large pages, a hint lets it back such a buffer with them
// instead. The hint is the platform's business: a program installs one at
// start; without one, hinting does nothing.
//
// A hint must be safe on any address range of memory the caller owns,
// whatever its alignment, and must not change the memory's contents.
using LargePageHint = void (*)(void* start, std::size_t bytes);

// Installs the process-wide hint (nullptr: none). Call before any thread
// that allocates samples starts.
void installLargePageHint(LargePageHint hint);

// Buffers at least this long are worth a hint.
inline constexpr std::size_t kLargePageHintMinBytes = std::size_t{8} << 20;

// Passes a freshly allocated, not yet touched buffer to the installed hint
// when it is at least kLargePageHintMinBytes long.
void hintLargePages(void* start, std::size_t bytes);

}  // namespace selvik
