#pragma once

#include "midi/Song.h"
#include "midi/SongBuilder.h"
#include "pipeline/Recording.h"
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
};

// The analysis of a loaded recording: the method recognises its notes, then
// the song is built from them (buildSong, at `timing`).
Analysis analyseRecording(const Recording& recording, const MethodDescriptor& method,
                          const MethodSettings& settings, Song& song, const MethodRun& run,
                          const SongTiming& timing = SongTiming{});

}  // namespace selvik
