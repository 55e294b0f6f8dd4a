#include "recognition/AnalysisDriver.h"

#include <cstdio>

#include "core/MessageService.h"
#include "midi/ScoreConversion.h"
#include "recognition/NoteFrequencyTable.h"

namespace selvik {

namespace {

constexpr double kSongTempo = 120.0;
constexpr std::uint16_t kSongDivision = 384;

// 2^exponent, or 0 (which every setter refuses with its message) when the
// exponent is out of reach of a 32-bit value.
std::int32_t powerOfTwo(std::int32_t exponent) {
    if (exponent < 0 || exponent > 30) return 0;
    return std::int32_t{1} << exponent;
}

AnalysisOutcome songOutOfMemory(Song& song) {
    clear(song);
    reset(&song);
    return AnalysisOutcome::SongOutOfMemory;
}

}  // namespace

std::optional<AnalysisParameters> resolveAnalysisParameters(const AnalysisSettings& settings) {
    if (settings.thresholdRangeMax == 0) return std::nullopt;
    AnalysisParameters parameters;
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

AnalysisOutcome runAnalysis(Recognizer& recognizer, Song& song, ProgressIndicator* progress,
                            const AnalysisParameters& parameters) {
    recognizer.setBlockSize(parameters.blockSize);
    recognizer.setPolyphony(parameters.polyphony);
    recognizer.setThreshold(parameters.threshold);
    recognizer.setWindowType(parameters.windowType);
    recognizer.setSubsampling(parameters.subsampling);
    recognizer.setProgress(progress);
    recognizer.allocateGrid();
    if (recognizer.scoreGrid() == nullptr) {
        showMessage("Not enough memory for score data");
        return AnalysisOutcome::GridOutOfMemory;
    }

    // Each pass takes the band just below the previous one at twice the
    // decimation, so that its narrower bins still separate the lower notes.
    const std::int32_t blockSize = recognizer.blockSize();
    float upper = 12000.0f;
    for (std::int32_t pass = 0; pass < parameters.passes; ++pass) {
        // Factors beyond 8 are refused by recognize() without a message.
        const std::int32_t factor = powerOfTwo(pass);
        const auto lower = static_cast<float>(lowestResolvableFrequency(44100, blockSize, factor));
        recognizer.recognize(lower, upper, factor);
        upper = lower;
    }

    // The sample count, not the padded length: the zero padding and a trailing
    // part block are not converted.
    const std::int32_t rows = recognizer.signal().count() / blockSize;
    std::uint8_t* grid = recognizer.scoreGrid();
    removeRepeatedNotes(grid, rows);
    NoteSpans spans = extractNoteSpans(grid, rows, blockSize, kSongTempo, kSongDivision);
    if (!spans.ok) return songOutOfMemory(song);
    clear(song);
    reset(&song);
    song.tempo = kSongTempo;
    song.division = kSongDivision;
    song.sequenceName.reset();
    song.notice.reset();
    song.text.reset();
    if (!buildNoteTrack(song.tracks[0], spans.spans.get(), spans.count)) return songOutOfMemory(song);
    countEvents(song);
    computeEndTime(song);
    if (!sortTracks(song)) return songOutOfMemory(song);
    return AnalysisOutcome::Completed;
}

AnalysisOutcome analyze(std::string_view wavePath, Recognizer& recognizer, Song& song,
                        ProgressIndicator* progress,
                        const std::function<AnalysisSettings()>& readSettings) {
    if (wavePath.empty() || recognizer.signal().paddedLength() <= 0) return AnalysisOutcome::NotRun;
    const std::optional<AnalysisParameters> parameters = resolveAnalysisParameters(readSettings());
    if (!parameters) return AnalysisOutcome::NotRun;
    return runAnalysis(recognizer, song, progress, *parameters);
}

std::string refreshRangeLabel(std::int32_t blockSizeIndex, std::int32_t passesIndex) {
    const std::int32_t blockSize = powerOfTwo(blockSizeIndex + 10);
    const std::int32_t factor = powerOfTwo(passesIndex);
    const std::int32_t note = nearestNote(lowestResolvableFrequency(44100, blockSize, factor));
    return noteName(note) + " to G9";
}

std::string noteName(std::int32_t note) {
    static const char* const kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                           "F#", "G",  "G#", "A",  "A#", "B"};
    const std::int32_t m = note & 0x7F;
    char text[8];
    std::snprintf(text, sizeof text, "%s%d", kNames[m % 12], m / 12 - 1);
    return text;
}

}  // namespace selvik
