#include "pipeline/RecordingLoader.h"

#include <string_view>
#include <vector>

#include "audiofile/AudioLoad.h"
#include "core/MessageService.h"
#include "recognition/classic/Recognizer.h"

namespace selvik {

namespace {

LoadOutcome loadClassic(const std::string& path, Recording& recording, std::string* detail) {
    if (!loadClassicRecording(path.c_str(), recording.signal, detail)) return LoadOutcome::Unreadable;
    recording.classicReadable = true;
    recording.classicValues = true;
    return LoadOutcome::Loaded;
}

}  // namespace

LoadOutcome loadRecording(const std::string& path, const MethodDescriptor& method, Recording& recording,
                          std::string* detail, ProgressIndicator* progress, const std::atomic<bool>* cancel) {
    if (method.classicReader) {
        recording = Recording{};
        if (detail != nullptr) detail->clear();
        if (cancel != nullptr && *cancel) return LoadOutcome::Cancelled;
        return loadClassic(path, recording, detail);
    }
    return loadAudioRecording(path, recording, detail, progress, cancel);
}

LoadOutcome loadAudioRecording(const std::string& path, Recording& recording, std::string* detail,
                               ProgressIndicator* progress, const std::atomic<bool>* cancel) {
    recording = Recording{};
    if (detail != nullptr) detail->clear();
    if (cancel != nullptr && *cancel) return LoadOutcome::Cancelled;
    AudioLoad load = loadAudioFile(path.c_str(), progress, cancel);
    switch (load.status) {
        case AudioLoadStatus::Loaded: break;
        case AudioLoadStatus::Cancelled: return LoadOutcome::Cancelled;
        case AudioLoadStatus::TooLong:
            showMessage("Unable to read audio file. (" + load.reason + "; split it into shorter files)");
            return LoadOutcome::Unreadable;
        case AudioLoadStatus::OutOfMemory:
            showMessage("Unable to read audio file. (out of memory)");
            return LoadOutcome::Unreadable;
        case AudioLoadStatus::Unreadable:
            showMessage("Unable to read audio file. (" + load.reason + ")");
            return LoadOutcome::Unreadable;
    }
    for (const std::string& note : load.notes) showMessage(note);
    recording.signal = std::move(load.signal);
    recording.signal.normalize();
    recording.classicReadable = load.classicFormat;
    recording.classicValues = load.classicFormat && load.channelAnalysed < 0;
    return LoadOutcome::Loaded;
}

LoadOutcome loadRecordingWithDetail(const std::string& path, const MethodDescriptor* method, Recording& recording,
                                    ProgressIndicator* progress, const std::atomic<bool>* cancel) {
    std::vector<std::string> messages;
    std::string detail;
    LoadOutcome outcome;
    {
        ScopedMessageHandler collect([&](std::string_view text) { messages.emplace_back(text); });
        outcome = method != nullptr ? loadRecording(path, *method, recording, &detail, progress, cancel)
                                    : loadAudioRecording(path, recording, &detail, progress, cancel);
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (i == 0 && outcome == LoadOutcome::Unreadable && !detail.empty()) {
            showMessage(messages[i] + " (" + detail + ")");
        } else {
            showMessage(messages[i]);
        }
    }
    return outcome;
}

}  // namespace selvik
