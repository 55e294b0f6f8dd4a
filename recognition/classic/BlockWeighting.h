#pragma once

// How one block of the recording is weighted by the analysis window at each of
// its window positions. Internal to recognition/.
//
// Window position j (offset o) weights decimated sample i by window entry
// (o - i) mod N. With the window stored reversed, r[m] = window[(-m) mod N],
// that entry is r[(i - o) mod N]: two contiguous runs, which vectorise.

#include <cstdint>

namespace selvik::detail {

// Offset of window position j when S positions share an N-point block: j * (N / S).
std::int32_t windowOffset(std::int32_t position, std::int32_t blockSize, std::int32_t subsampling);

// reversed[m] = window[(-m) mod N] for m = 0 .. N - 1; N is a power of two.
void reverseWindow(const float* window, std::int32_t blockSize, float* reversed);

// out[i] = blockStart[i * factor] for i = 0 .. N - 1 (sample skipping).
void decimateBlock(const float* blockStart, std::int32_t blockSize, std::int32_t factor, float* out);

// out[i] = window[(offset - i) mod N] * decimated[i] for i = 0 .. N - 1, with
// `reversedWindow` as reverseWindow() makes it. The product is rounded once
// to single precision (as the double product of the two floats would be).
void weightBlock(const float* reversedWindow, const float* decimated, std::int32_t blockSize,
                 std::int32_t offset, float* out);

}  // namespace selvik::detail
