#include "pipeline/Conversion.h"

#include <algorithm>

#include "core/MessageService.h"
#include "pipeline/Analysis.h"
#include "pipeline/RecordingLoader.h"

namespace selvik {

ConversionStatus convert(const ConversionRequest& request, std::span<ConversionOutput* const> outputs,
                         ProgressIndicator* progress, const std::atomic<bool>& interrupted) {
    Recording recording;
    const LoadOutcome loaded = loadRecordingWithDetail(request.input, request.method, recording, progress, &interrupted);
    if (loaded == LoadOutcome::Unreadable) return ConversionStatus::InputUnreadable;
    if (loaded == LoadOutcome::Cancelled || interrupted) return ConversionStatus::Interrupted;

    Song song;
    reset(&song);
    MethodRun run;
    run.progress = progress;
    run.cancel = &interrupted;
    run.threads = request.threads;
    const Analysis analysis = analyseRecording(recording, *request.method, request.settings, song, run, request.song);
    if (analysis.outcome == AnalysisOutcome::Cancelled || interrupted) return ConversionStatus::Interrupted;
    if (analysis.outcome == AnalysisOutcome::GridOutOfMemory) return ConversionStatus::NothingWritten;
    if (analysis.outcome == AnalysisOutcome::SongOutOfMemory) {
        showMessage("Out of memory");
        return ConversionStatus::NothingWritten;
    }

    ConversionStatus status = ConversionStatus::Done;
    const ConvertedSong converted{request.input, recording, analysis.method.notes, song};
    for (ConversionOutput* output : outputs) {
        const ConversionOutput::Delivery delivery = output->deliver(converted);
        status = std::max(status, delivery.status);
        if (interrupted) return ConversionStatus::Interrupted;
        if (delivery.last) break;
    }
    return status;
}

}  // namespace selvik
