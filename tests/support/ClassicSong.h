#pragma once

// The classic method's song of a WAV file at the default settings, as the
// converter and the window make it: for tests that compare against it.

#include <filesystem>

#include "midi/Song.h"
#include "pipeline/Analysis.h"
#include "pipeline/RecordingLoader.h"
#include "recognition/classic/ClassicMethod.h"

namespace selvik::testing_support {

inline AnalysisOutcome classicSong(const std::filesystem::path& wav, Song& song) {
    Recording recording;
    if (loadRecording(wav.string(), kClassicMethod, recording, nullptr, nullptr, nullptr) != LoadOutcome::Loaded) {
        return AnalysisOutcome::NotRun;
    }
    reset(&song);
    return analyseRecording(recording, kClassicMethod, MethodSettings{}, song, MethodRun{}).outcome;
}

}  // namespace selvik::testing_support
