#include "app/AnalysisSettings.h"

namespace selvik::app {

std::int32_t powerOfTwo(std::int32_t exponent) {
    if (exponent < 0 || exponent > 30) return 0;
    return std::int32_t{1} << exponent;
}

std::optional<MethodSettings> resolveAnalysisParameters(const AnalysisSettings& settings) {
    if (settings.thresholdRangeMax == 0) return std::nullopt;
    MethodSettings parameters;
    parameters.blockSize = powerOfTwo(settings.blockSizeIndex + 10);
    parameters.polyphony = settings.polyphony;
    parameters.threshold = static_cast<float>(
        1.0 - static_cast<double>(settings.thresholdPosition) /
                  static_cast<double>(settings.thresholdRangeMax));
    parameters.windowType = settings.windowTypeIndex;
    parameters.subsampling = powerOfTwo(settings.subsamplingIndex);
    parameters.passes = settings.passesIndex < 0 ? 0 : settings.passesIndex + 1;
    return parameters;
}

}  // namespace selvik::app
