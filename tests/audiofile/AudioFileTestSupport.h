#pragma once

// Helpers of the audio file tests: a scratch folder, the encoders run at
// test time, and the melody tracker's notes of a loaded signal.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "audiofile/AudioLoad.h"
#include "core/ProgressIndicator.h"
#include "recognition/melody/MelodyTracker.h"
#include "signal/Signal.h"

namespace selvik::test {

// A fresh folder under the system's temporary folder, removed with its content.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "selvik-audiofile-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string melodyWav() {
    return std::string(SELVIK_TEST_DATA_DIR) + "/melodies/melody_ocarina_low.wav";
}

inline std::string wavFixture(const std::string& name) {
    return std::string(SELVIK_TEST_DATA_DIR) + "/wav/" + name;
}

// The first of `tools` that is not installed, or "" when all are.
inline std::string missingTool(const std::vector<std::string>& tools) {
    for (const std::string& tool : tools) {
        const std::string probe = "command -v " + tool + " >/dev/null 2>&1";
        if (std::system(probe.c_str()) != 0) return tool;
    }
    return "";
}

// Runs a shell command quietly; true when it exits 0.
inline bool run(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

inline std::vector<unsigned char> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A note as the tracker found it: number and onset in seconds.
struct HeardNote {
    int number;
    double onset;
};

// The melody tracker's notes of a copy of `signal`, normalised as the
// program normalises a loaded recording.
inline std::vector<HeardNote> trackedNotes(const Signal& signal) {
    Signal copy;
    if (signal.count() == 0 ||
        copy.createForReading(signal.count(), signal.sampleRate()) != SignalStatus::NoError) {
        return {};
    }
    std::copy(signal.samples(), signal.samples() + signal.count(), copy.samples());
    copy.normalize();
    std::vector<HeardNote> notes;
    for (const RecognizedNote& note : runMelodyTracker(copy, MelodyTrackerParameters{}, nullptr).notes) {
        notes.push_back({note.note, note.startSeconds});
    }
    return notes;
}

// Every call, as "range A B" and "position P".
class RecordedProgress : public ProgressIndicator {
public:
    void setRange(std::int32_t minimum, std::int32_t maximum) override {
        ranges.push_back({minimum, maximum});
    }
    void setPosition(std::int32_t position) override { positions.push_back(position); }

    std::vector<std::pair<std::int32_t, std::int32_t>> ranges;
    std::vector<std::int32_t> positions;
};

}  // namespace selvik::test
