#pragma once

#include <cstdint>
#include <optional>

#include "recognition/RecognitionMethod.h"

namespace selvik::app {

// The recognition control values of the main window, as read when Analyze runs.
struct AnalysisSettings {
    std::int32_t blockSizeIndex = 1;     // 0..3: 1024, 2048, 4096, 8192
    std::int32_t polyphony = 1;
    std::int32_t thresholdPosition = 20;
    std::int32_t thresholdRangeMax = 100;
    std::int32_t windowTypeIndex = 2;    // WindowType
    std::int32_t subsamplingIndex = 2;   // 0..4: 1, 2, 4, 8, 16
    std::int32_t passesIndex = 1;        // 0..3: 1 to 4 passes
};

// Maps control values to method settings: N = 2^(index + 10), threshold =
// 1 - position / rangeMax in single precision, S = 2^index, passes = index +
// 1 (none below index 0); the minimum note length and the velocity keep their
// defaults. Empty when thresholdRangeMax is 0.
std::optional<MethodSettings> resolveAnalysisParameters(const AnalysisSettings& settings);

// 2^exponent, or 0 (which every setter refuses with its message) when the
// exponent is out of reach of a 32-bit value.
std::int32_t powerOfTwo(std::int32_t exponent);

}  // namespace selvik::app
