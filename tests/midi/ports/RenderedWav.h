#pragma once

// Reads back the WAV files the renderer writes, checking the header as it goes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestWav.h"

namespace selvik::testing_support {

struct RenderedWav {
    bool valid = false;
    std::string problem;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t bits = 0;
    std::vector<std::int16_t> samples;  // interleaved

    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

inline std::uint32_t le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

inline std::uint16_t le16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

// A canonical 44-byte-header PCM file whose sizes agree with its length.
inline RenderedWav readRenderedWav(const std::filesystem::path& path) {
    RenderedWav wav;
    const std::string bytes = readFile(path);
    if (bytes.size() < 44) {
        wav.problem = "shorter than a WAV header: " + std::to_string(bytes.size()) + " bytes";
        return wav;
    }
    if (bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 8, "WAVEfmt ") != 0 ||
        bytes.compare(36, 4, "data") != 0) {
        wav.problem = "not a canonical RIFF/WAVE header";
        return wav;
    }
    const std::uint32_t dataBytes = le32(bytes, 40);
    if (le32(bytes, 4) != bytes.size() - 8 || dataBytes != bytes.size() - 44) {
        wav.problem = "sizes in the header do not match the file";
        return wav;
    }
    if (le32(bytes, 16) != 16 || le16(bytes, 20) != 1) {
        wav.problem = "not plain PCM";
        return wav;
    }
    wav.channels = le16(bytes, 22);
    wav.rate = le32(bytes, 24);
    wav.bits = le16(bytes, 34);
    if (wav.bits != 16 || le16(bytes, 32) != wav.channels * 2 ||
        le32(bytes, 28) != wav.rate * wav.channels * 2) {
        wav.problem = "inconsistent format fields";
        return wav;
    }
    wav.samples.resize(dataBytes / 2);
    for (std::size_t i = 0; i < wav.samples.size(); ++i) {
        wav.samples[i] = static_cast<std::int16_t>(le16(bytes, 44 + 2 * i));
    }
    wav.valid = true;
    return wav;
}

// Largest absolute sample value over both channels in frames [begin, end).
inline int peakOf(const RenderedWav& wav, std::size_t begin, std::size_t end) {
    int peak = 0;
    for (std::size_t i = begin * wav.channels; i < end * wav.channels && i < wav.samples.size(); ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(wav.samples[i])));
    }
    return peak;
}

inline double rmsOf(const RenderedWav& wav, std::size_t begin, std::size_t end) {
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = begin * wav.channels; i < end * wav.channels && i < wav.samples.size(); ++i) {
        sum += static_cast<double>(wav.samples[i]) * wav.samples[i];
        ++count;
    }
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

inline double dbfs(double level) { return 20.0 * std::log10(level / 32767.0); }

}  // namespace selvik::testing_support
