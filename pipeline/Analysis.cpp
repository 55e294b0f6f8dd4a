#include "pipeline/Analysis.h"

namespace selvik {

Analysis analyseRecording(const Recording& recording, const MethodDescriptor& method,
                          const MethodSettings& settings, Song& song, const MethodRun& run,
                          const SongTiming& timing) {
    Analysis analysis;
    analysis.method = method.recognize(recording.signal, settings, run);
    switch (analysis.method.outcome) {
        case MethodOutcome::NotRun: analysis.outcome = AnalysisOutcome::NotRun; return analysis;
        case MethodOutcome::GridOutOfMemory: analysis.outcome = AnalysisOutcome::GridOutOfMemory; return analysis;
        case MethodOutcome::Cancelled: analysis.outcome = AnalysisOutcome::Cancelled; return analysis;
        case MethodOutcome::OutOfMemory:
            clear(song);
            reset(&song);
            analysis.outcome = AnalysisOutcome::SongOutOfMemory;
            return analysis;
        case MethodOutcome::Completed: break;
    }
    analysis.outcome = buildSong(analysis.method.notes, song, timing) ? AnalysisOutcome::Completed
                                                                       : AnalysisOutcome::SongOutOfMemory;
    return analysis;
}

}  // namespace selvik
