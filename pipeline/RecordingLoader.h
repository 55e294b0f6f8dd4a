#pragma once

#include <atomic>
#include <string>

#include "core/ProgressIndicator.h"
#include "pipeline/Recording.h"
#include "recognition/RecognitionMethod.h"

namespace selvik {

enum class LoadOutcome {
    Loaded,      // the recording holds the file's samples (possibly none)
    Unreadable,  // no reader read the file; the recording is empty
    Cancelled,   // the cancel flag was raised; the recording is empty
};

// Loads the recording at `path` for `method`. A method that reads what the
// classic WAV reader reads loads exactly as the classic method always has,
// with that reader's messages (loadClassicRecording); the other methods read
// any audio file the audio-file reader reads. Messages go through showMessage
// as they arise. `detail`, when given, receives a developer-readable reason
// for a failed load that the messages do not already carry (empty otherwise).
LoadOutcome loadRecording(const std::string& path, const MethodDescriptor& method, Recording& recording,
                          std::string* detail, ProgressIndicator* progress, const std::atomic<bool>* cancel);

// Loads any audio file the audio-file reader reads, as for our own methods.
LoadOutcome loadAudioRecording(const std::string& path, Recording& recording, std::string* detail,
                               ProgressIndicator* progress, const std::atomic<bool>* cancel);

// loadRecording for `method`, or loadAudioRecording when `method` is null,
// for a reader of messages who wants to know why: the load's messages are
// held back until it has returned, then shown, the first one of a failed
// load followed by the reader's detail in brackets.
LoadOutcome loadRecordingWithDetail(const std::string& path, const MethodDescriptor* method, Recording& recording,
                                    ProgressIndicator* progress, const std::atomic<bool>* cancel);

}  // namespace selvik
