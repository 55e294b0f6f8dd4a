#pragma once

// The seam between the recognition methods and everything that uses them.
//
// A method is a function from the recording (mono samples at 44100 Hz,
// normalised to a peak of 1) to notes, plus a descriptor that tells the
// converter and the window what it is called, which settings it reads, what
// range it covers and how the threshold acts on it. Adding a method means one
// new folder under recognition/ and one line in MethodRegistry.cpp.

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ProgressIndicator.h"
#include "core/RecognizedNote.h"
#include "recognition/ParameterRanges.h"
#include "signal/Signal.h"

namespace selvik {

// Every setting a method may read; each method reads only those its
// descriptor names. The defaults are the converter's and the window's.
struct MethodSettings {
    std::int32_t blockSize = parameters::kDefaultBlockSize;
    std::int32_t polyphony = parameters::kDefaultPolyphony;
    float threshold = parameters::kDefaultThreshold;
    std::int32_t windowType = parameters::kDefaultWindowType;
    std::int32_t subsampling = parameters::kDefaultSubsampling;
    std::int32_t passes = parameters::kDefaultPasses;  // 0 or less runs no pass
    double minNoteMs = parameters::kDefaultMinNoteMs;
    bool loudnessVelocity = true;  // velocity from each note's level; false: every velocity 100
};

// The settings a method reads, as bits of MethodDescriptor::controls.
enum MethodControl : std::uint32_t {
    kBlockSizeControl = 1u << 0,
    kPolyphonyControl = 1u << 1,
    kThresholdControl = 1u << 2,
    kWindowTypeControl = 1u << 3,
    kSubsamplingControl = 1u << 4,
    kPassesControl = 1u << 5,
    kMinNoteControl = 1u << 6,
    kVelocityControl = 1u << 7,
};

enum class MethodOutcome {
    Completed,        // `notes` holds the result, possibly no note at all
    NotRun,           // nothing to analyse (an empty recording)
    GridOutOfMemory,  // the method has said "Not enough memory for score data"
    OutOfMemory,      // the method ran out of memory part-way
    Cancelled,        // the cancel flag was raised
};

// How a method runs, as opposed to what it computes.
struct MethodRun {
    ProgressIndicator* progress = nullptr;      // may be null; touched from the calling thread only
    const std::atomic<bool>* cancel = nullptr;  // may be null; polled between stages
    // Worker threads a method may use: 0 one per core, 1 the calling thread
    // alone. The notes are the same for every value.
    int threads = 0;
};

struct MethodResult {
    MethodOutcome outcome = MethodOutcome::NotRun;
    std::vector<RecognizedNote> notes;  // in the order of their starts
    // The settings as the method used them, after its own checks replaced
    // any it refused.
    MethodSettings applied;
};

struct MethodDescriptor {
    std::string_view name;   // the converter's --method NAME
    std::string_view label;  // the entry of the window's Method list
    std::string_view help;   // one sentence for --help: what the method is for
    std::uint32_t controls;  // MethodControl bits of the settings it reads
    // True for a method that reads only what the classic WAV reader reads
    // (44100 Hz PCM WAV, mono or stereo, up to 16 bits), with that reader's
    // messages; the others read any audio file.
    bool classicReader;
    // How the threshold acts on the method, for --help.
    std::string_view thresholdHelp;
    // The notes the method can report with these settings, as the window's
    // "Range recognized:" label shows them ("F#3 to G9").
    std::string (*range)(const MethodSettings& settings);
    // Recognises the notes of `recording`. Messages go through showMessage.
    MethodResult (*recognize)(const Signal& recording, const MethodSettings& settings, const MethodRun& run);
    // True for a method whose songs keep, unless asked otherwise, the fixed
    // grid of 120 quarter notes per minute without a time signature, and
    // whose notes carry no pitch to bend (the classic method). The other
    // methods' songs follow the recording's tempo by default.
    bool plainTiming = false;
};

// Every method, in the order of the window's Method list; the first one is
// the default of the converter and the window.
std::span<const MethodDescriptor* const> recognitionMethods();

// The method of that converter name, or null.
const MethodDescriptor* findMethod(std::string_view name);

}  // namespace selvik
