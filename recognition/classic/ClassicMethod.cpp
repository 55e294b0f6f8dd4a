#include "recognition/classic/ClassicMethod.h"

#include <new>

#include "core/MessageService.h"
#include "core/NoteName.h"
#include "recognition/classic/GridConversion.h"
#include "recognition/classic/NoteFrequencyTable.h"

namespace selvik {

namespace {

// The classic method has always laid its notes on this grid.
constexpr double kGridTempo = 120.0;
constexpr std::int32_t kGridDivision = 384;

// 2^exponent, or 0 (which every setter refuses with its message) when the
// exponent is out of reach of a 32-bit value.
std::int32_t powerOfTwo(std::int32_t exponent) {
    if (exponent < 0 || exponent > 30) return 0;
    return std::int32_t{1} << exponent;
}

MethodResult recognizeClassic(const Signal& recording, const MethodSettings& settings, const MethodRun& run) {
    if (recording.paddedLength() <= 0) return MethodResult{MethodOutcome::NotRun, {}, settings};
    if (run.cancel != nullptr && *run.cancel) return MethodResult{MethodOutcome::Cancelled, {}, settings};
    Recognizer recognizer;
    recognizer.analyseSignal(&recording);
    recognizer.setThreadCount(run.threads);
    return runClassicAnalysis(recognizer, settings, run.progress);
}

std::string rangeOfSettings(const MethodSettings& settings) {
    return classicRange(settings.blockSize, settings.passes);
}

}  // namespace

const MethodDescriptor kClassicMethod = {
    "classic",
    "Spectral (classic)",
    "the block-spectrum method (the default)",
    kBlockSizeControl | kPolyphonyControl | kThresholdControl | kWindowTypeControl | kSubsamplingControl |
        kPassesControl,
    true,
    "acceptance level of a note relative to the block's strongest line",
    &rangeOfSettings,
    &recognizeClassic,
    true,
};

MethodResult runClassicAnalysis(Recognizer& recognizer, const MethodSettings& settings,
                                ProgressIndicator* progress) {
    MethodResult result;
    recognizer.setBlockSize(settings.blockSize);
    recognizer.setPolyphony(settings.polyphony);
    recognizer.setThreshold(settings.threshold);
    recognizer.setWindowType(settings.windowType);
    recognizer.setSubsampling(settings.subsampling);
    recognizer.setProgress(progress);
    result.applied = settings;
    result.applied.blockSize = recognizer.blockSize();
    result.applied.polyphony = recognizer.polyphony();
    result.applied.threshold = recognizer.threshold();
    result.applied.windowType = recognizer.windowType();
    result.applied.subsampling = recognizer.subsampling();
    recognizer.allocateGrid();
    if (recognizer.scoreGrid() == nullptr) {
        showMessage("Not enough memory for score data");
        result.outcome = MethodOutcome::GridOutOfMemory;
        return result;
    }

    // Each pass takes the band just below the previous one at twice the
    // decimation, so that its narrower bins still separate the lower notes.
    const std::int32_t blockSize = recognizer.blockSize();
    float upper = 12000.0f;
    for (std::int32_t pass = 0; pass < settings.passes; ++pass) {
        // Factors beyond 8 are refused by recognize() without a message.
        const std::int32_t factor = powerOfTwo(pass);
        const auto lower = static_cast<float>(lowestResolvableFrequency(44100, blockSize, factor));
        recognizer.recognize(lower, upper, factor);
        upper = lower;
    }

    // The sample count, not the padded length: the zero padding and a trailing
    // part block are not converted.
    const std::int32_t rows = recognizer.analysedSignal().count() / blockSize;
    std::uint8_t* grid = recognizer.scoreGrid();
    removeRepeatedNotes(grid, rows);
    const NoteSpans spans = extractNoteSpans(grid, rows, blockSize, kGridTempo, kGridDivision);
    if (!spans.ok) {
        result.outcome = MethodOutcome::OutOfMemory;
        return result;
    }
    // A tick's exact time, so that a song on the same grid gets the same tick back.
    const double secondsPerTick = (60.0 / kGridTempo) / kGridDivision;
    try {
        result.notes.reserve(static_cast<std::size_t>(spans.count));
        for (std::int32_t i = 0; i < spans.count; ++i) {
            const NoteSpan& span = spans.spans[static_cast<std::size_t>(i)];
            RecognizedNote note;
            note.startSeconds = span.startTick * secondsPerTick;
            note.endSeconds = span.endTick * secondsPerTick;
            note.note = span.note;
            note.velocity = span.velocity;
            result.notes.push_back(std::move(note));
        }
    } catch (const std::bad_alloc&) {
        result.notes = {};
        result.outcome = MethodOutcome::OutOfMemory;
        return result;
    }
    result.outcome = MethodOutcome::Completed;
    return result;
}

std::string classicRange(std::int32_t blockSize, std::int32_t passes) {
    const std::int32_t factor = powerOfTwo(passes - 1);
    const std::int32_t note = nearestNote(lowestResolvableFrequency(44100, blockSize, factor));
    return noteName(note) + " to G9";
}

}  // namespace selvik
