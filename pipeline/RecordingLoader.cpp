#include "pipeline/RecordingLoader.h"

#include <string_view>
#include <utility>
#include <vector>

#include "audiofile/AudioLoad.h"
#include "core/MessageService.h"
#include "recognition/classic/Recognizer.h"

namespace selvik {

namespace {

// The load is one stage of a conversion's progress: the reader may widen its
// range when it reads the file a second time, and those positions are shown
// within the range it set first.
class OneStageProgress final : public ProgressIndicator {
public:
    explicit OneStageProgress(ProgressIndicator* target) : target_(target) {}
    void setRange(std::int32_t minimum, std::int32_t maximum) override {
        if (!started_) {
            target_->setRange(minimum, maximum);
            first_ = {minimum, maximum};
            started_ = true;
        }
        current_ = {minimum, maximum};
    }
    void setPosition(std::int32_t position) override {
        const double span = static_cast<double>(current_.second) - current_.first;
        const double share = span > 0 ? (position - current_.first) / span : 1.0;
        target_->setPosition(first_.first +
                             static_cast<std::int32_t>(share * (static_cast<double>(first_.second) - first_.first)));
    }

private:
    ProgressIndicator* target_;
    bool started_ = false;
    std::pair<std::int32_t, std::int32_t> first_{0, 0};
    std::pair<std::int32_t, std::int32_t> current_{0, 0};
};

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
    OneStageProgress loadProgress(progress);
    AudioLoad load = loadAudioFile(path.c_str(), progress != nullptr ? &loadProgress : nullptr, cancel);
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
