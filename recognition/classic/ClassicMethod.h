#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/ProgressIndicator.h"
#include "midi/Song.h"
#include "recognition/Recognizer.h"

namespace selvik {

// The recognition control values of the desktop program, as read when Analyze runs.
struct AnalysisSettings {
    std::int32_t blockSizeIndex = 1;     // 0..3: 1024, 2048, 4096, 8192
    std::int32_t polyphony = 1;
    std::int32_t thresholdPosition = 20;
    std::int32_t thresholdRangeMax = 100;
    std::int32_t windowTypeIndex = 2;    // WindowType
    std::int32_t subsamplingIndex = 2;   // 0..4: 1, 2, 4, 8, 16
    std::int32_t passesIndex = 1;        // 0..3: 1 to 4 passes
};

// The resolved recognition parameters, shared by both front ends.
struct AnalysisParameters {
    std::int32_t blockSize = 2048;
    std::int32_t polyphony = 1;
    float threshold = 0.8f;
    std::int32_t windowType = 2;
    std::int32_t subsampling = 4;
    std::int32_t passes = 2;  // 1..4; 0 or less runs no pass
};

enum class AnalysisOutcome {
    NotRun,            // no file, empty signal or an unusable threshold range: nothing changed
    GridOutOfMemory,   // "Not enough memory for score data" was shown; Song unchanged
    SongOutOfMemory,   // the conversion ran out of memory; the Song is left empty
    Completed,         // the Song holds the result: Play MIDI and Save MIDI may be enabled
};

// Maps control values to parameters: N = 2^(index + 10), threshold =
// 1 - position / rangeMax in single precision, S = 2^index, passes = index + 1.
// Empty when thresholdRangeMax is 0.
std::optional<AnalysisParameters> resolveAnalysisParameters(const AnalysisSettings& settings);

// Applies the parameters to the recognizer, allocates the grid, runs the pass
// schedule and converts the grid into `song` (120 BPM, 384 ticks per quarter).
AnalysisOutcome runAnalysis(Recognizer& recognizer, Song& song, ProgressIndicator* progress,
                            const AnalysisParameters& parameters);

// The Analyze command: checks that a file is loaded, then reads the settings
// (only then), resolves and runs them.
AnalysisOutcome analyze(std::string_view wavePath, Recognizer& recognizer, Song& song,
                        ProgressIndicator* progress,
                        const std::function<AnalysisSettings()>& readSettings);

// The "Range recognized:" text, e.g. "F#3 to G9".
std::string refreshRangeLabel(std::int32_t blockSizeIndex, std::int32_t passesIndex);

// Note name and octave ("C4", "F#3", "C-1"); only the low 7 bits are used.
std::string noteName(std::int32_t note);

}  // namespace selvik
