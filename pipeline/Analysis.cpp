#include "pipeline/Analysis.h"

#include <new>

#include "rhythm/BeatTracker.h"

namespace selvik {

bool followsRecordingTempo(const MethodDescriptor& method, const SongOptions& options) {
    switch (options.tempo) {
        case TempoSource::Recording: return true;
        case TempoSource::Fixed: return false;
        case TempoSource::MethodDefault: break;
    }
    return !method.plainTiming;
}

SongTiming songTiming(const MethodDescriptor& method, const SongOptions& options,
                      const std::optional<BeatGrid>& beats) {
    SongTiming timing;
    timing.quantize = options.quantize;
    timing.pitchBends = options.pitchBends;
    if (options.tempo == TempoSource::Fixed) {
        timing.tempo = options.fixedTempo;
        timing.timeSignature = TimeSignature{};
    } else if (followsRecordingTempo(method, options)) {
        // Without a pulse the song still states its 120 beats a minute in 4/4.
        timing.beats = beats ? *beats : BeatGrid{};
    }
    return timing;
}

Analysis analyseRecording(const Recording& recording, const MethodDescriptor& method,
                          const MethodSettings& settings, Song& song, const MethodRun& run,
                          const SongOptions& options) {
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
    if (followsRecordingTempo(method, options)) {
        if (run.cancel != nullptr && run.cancel->load()) {
            analysis.outcome = AnalysisOutcome::Cancelled;
            return analysis;
        }
        try {
            const Signal& signal = recording.signal;
            analysis.beats = rhythm::trackBeats(signal.samples(), signal.count(),
                                                signal.sampleRate() > 0 ? signal.sampleRate() : 44100,
                                                analysis.method.notes);
        } catch (const std::bad_alloc&) {
            clear(song);
            reset(&song);
            analysis.outcome = AnalysisOutcome::SongOutOfMemory;
            return analysis;
        }
    }
    analysis.outcome = buildSong(analysis.method.notes, song, songTiming(method, options, analysis.beats))
                           ? AnalysisOutcome::Completed
                           : AnalysisOutcome::SongOutOfMemory;
    return analysis;
}

}  // namespace selvik
