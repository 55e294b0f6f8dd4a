#pragma once

// Helpers shared by the recognition tests: recorded messages and progress,
// synthetic recordings written straight into a Signal or into a WAV file.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

#include "core/MessageService.h"
#include "core/ProgressIndicator.h"
#include "recognition/classic/Recognizer.h"
#include "recognition/classic/ScoreGrid.h"
#include "signal/Signal.h"

namespace selvik::test {

// Records every shown message, in order, while it lives.
class MessageLog {
public:
    MessageLog() : scope_([this](std::string_view text) { texts.emplace_back(text); }) {}
    std::vector<std::string> texts;

private:
    ScopedMessageHandler scope_;
};

// Records every call as "range a b" or "position p".
class RecordingProgress : public ProgressIndicator {
public:
    void setRange(std::int32_t minimum, std::int32_t maximum) override {
        calls.push_back("range " + std::to_string(minimum) + " " + std::to_string(maximum));
    }
    void setPosition(std::int32_t position) override {
        calls.push_back("position " + std::to_string(position));
    }
    std::vector<std::string> calls;
};

inline constexpr double kTwoPi = 6.283185307179586;

// A full-scale sine sample at `hz`, sample index i of a 44100 Hz recording.
inline float sine(double hz, std::int64_t i) {
    return static_cast<float>(std::sin(kTwoPi * hz * static_cast<double>(i) / 44100.0));
}

// Makes the recognizer's signal `count` samples long, filled by sample(i).
inline void fillSignal(Recognizer& recognizer, std::int32_t count,
                       const std::function<float(std::int64_t)>& sample) {
    Signal& signal = recognizer.signal();
    signal.create(count);
    for (std::int32_t i = 0; i < count; ++i) signal.samples()[i] = sample(i);
}

// Small deterministic generator for noise that is the same on every machine.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    // Uniform in [-1, 1).
    float next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<double>(state_ >> 8) / 8388608.0 - 1.0);
    }

private:
    std::uint32_t state_;
};

// A file in a fresh folder under the system's temporary folder, removed with it.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& name) {
        std::string pattern = (std::filesystem::temp_directory_path() / "selvik-rec-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
        path_ = (folder_ / name).string();
    }
    ~TemporaryFile() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::filesystem::path folder_;
    std::string path_;
};

inline void putLittleEndian(std::vector<unsigned char>& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// Writes a canonical 44100 Hz, 16-bit mono PCM WAV file.
inline bool writeWav16(const std::string& path, const std::vector<std::int16_t>& samples) {
    std::vector<unsigned char> bytes;
    const auto dataSize = static_cast<std::uint32_t>(samples.size() * 2);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    putLittleEndian(bytes, 36 + dataSize, 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLittleEndian(bytes, 16, 4);
    putLittleEndian(bytes, 1, 2);          // PCM
    putLittleEndian(bytes, 1, 2);          // mono
    putLittleEndian(bytes, 44100, 4);
    putLittleEndian(bytes, 44100 * 2, 4);  // bytes per second
    putLittleEndian(bytes, 2, 2);          // block align
    putLittleEndian(bytes, 16, 2);         // bits per sample
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    putLittleEndian(bytes, dataSize, 4);
    for (std::int16_t s : samples) putLittleEndian(bytes, static_cast<std::uint16_t>(s), 2);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// The notes of grid row r, slot by slot, without the empty slots.
inline std::vector<int> rowNotes(const Recognizer& recognizer, std::int64_t row) {
    std::vector<int> notes;
    const std::uint8_t* slots = recognizer.scoreGrid() + row * kSlotsPerRow;
    for (int i = 0; i < kSlotsPerRow; ++i) {
        if (slots[i] != kEmptySlot) notes.push_back(slots[i]);
    }
    return notes;
}

}  // namespace selvik::test
