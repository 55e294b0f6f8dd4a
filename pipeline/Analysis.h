#pragma once

#include <optional>

#include "core/BeatGrid.h"
#include "midi/Song.h"
#include "midi/SongBuilder.h"
#include "pipeline/Recording.h"
#include "pipeline/SongOptions.h"
#include "recognition/RecognitionMethod.h"

namespace selvik {

enum class AnalysisOutcome {
    NotRun,           // nothing to analyse: the song is unchanged
    GridOutOfMemory,  // "Not enough memory for score data" was shown; the song is unchanged
    SongOutOfMemory,  // memory ran out while recognising or building; the song is left empty
    Cancelled,        // stopped on request; the song is unchanged
    Completed,        // the song holds the result (possibly no note)
};

struct Analysis {
    AnalysisOutcome outcome = AnalysisOutcome::NotRun;
    MethodResult method;  // the notes and the settings the method used
    // The pulse the beat tracker found, when the tempo came from the recording.
    std::optional<BeatGrid> beats;
};

// The song's timing for a method and the options: the fixed 120 quarter
// notes per minute without a time signature for a plain-timing method by
// default, one tempo in 4/4 when a tempo is given, and `beats` (the
// recording's pulse) otherwise; the grid and the bends as asked.
SongTiming songTiming(const MethodDescriptor& method, const SongOptions& options,
                      const std::optional<BeatGrid>& beats);

// True when the song's tempo comes from the recording for this method and these options.
bool followsRecordingTempo(const MethodDescriptor& method, const SongOptions& options);

// The analysis of a loaded recording: the method recognises its notes; when
// the tempo comes from the recording, the beat tracker finds its pulse from
// the samples and the notes; then the song is built from the notes
// (buildSong, at songTiming()).
Analysis analyseRecording(const Recording& recording, const MethodDescriptor& method,
                          const MethodSettings& settings, Song& song, const MethodRun& run,
                          const SongOptions& options = SongOptions{});

}  // namespace selvik
