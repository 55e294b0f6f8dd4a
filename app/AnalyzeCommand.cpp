#include "app/AnalyzeCommand.h"

namespace selvik::app {

bool methodReads(const MethodDescriptor& method, const Recording& recording) {
    return !method.classicReader || recording.classicReadable;
}

Analysis analyze(std::string_view wavePath, const Recording& recording, const MethodDescriptor& method,
                 Song& song, ProgressIndicator* progress, const std::function<AnalysisSettings()>& readSettings,
                 const SongOptions& options) {
    if (wavePath.empty() || recording.signal.paddedLength() <= 0 || !methodReads(method, recording)) return {};
    const std::optional<MethodSettings> settings = resolveAnalysisParameters(readSettings());
    if (!settings) return {};
    MethodRun run;
    run.progress = progress;
    return analyseRecording(recording, method, *settings, song, run, options);
}

}  // namespace selvik::app
