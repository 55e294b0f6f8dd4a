#include "app/RangeLabel.h"

#include "app/AnalysisSettings.h"
#include "recognition/classic/ClassicMethod.h"

namespace selvik::app {

namespace {

MethodSettings rangeSettings(std::int32_t blockSizeIndex, std::int32_t passesIndex) {
    MethodSettings settings;
    settings.blockSize = powerOfTwo(blockSizeIndex + 10);
    settings.passes = passesIndex + 1;
    return settings;
}

}  // namespace

std::string refreshRangeLabel(std::int32_t blockSizeIndex, std::int32_t passesIndex) {
    return kClassicMethod.range(rangeSettings(blockSizeIndex, passesIndex));
}

std::string rangeLabel(const MethodDescriptor& method, std::int32_t blockSizeIndex, std::int32_t passesIndex,
                       bool readsRecording) {
    if (!readsRecording) return "44.1 kHz WAV only";
    return method.range(rangeSettings(blockSizeIndex, passesIndex));
}

}  // namespace selvik::app
