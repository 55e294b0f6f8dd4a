#pragma once

// How one block of the recording is weighted by the analysis window at each of
// its window positions. Internal to recognition/.

#include <cstdint>

namespace selvik::detail {

// Offset of window position j when S positions share an N-point block: j * (N / S).
std::int32_t windowOffset(std::int32_t position, std::int32_t blockSize, std::int32_t subsampling);

// out[i] = (float)((double)window[(offset - i) mod N] * (double)blockStart[i * factor])
// for i = 0 .. N - 1: the window moves circularly over the decimated block.
// `window` holds N values, `blockStart` at least (N - 1) * factor + 1, `out` N.
void weightBlock(const float* window, const float* blockStart, std::int32_t blockSize,
                 std::int32_t factor, std::int32_t offset, float* out);

}  // namespace selvik::detail
