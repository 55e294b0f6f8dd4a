// The C++ network and decoder against what PyTorch and the Python decoder
// gave on the same input when the weights were exported (export.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "recognition/poly/ConvKernels.h"
#include "recognition/poly/Network.h"
#include "recognition/poly/NoteDecoder.h"
#include "recognition/poly/LevelGrid.h"

namespace selvik::poly {
namespace {

const std::string kFolder = std::string(SELVIK_TEST_DATA_DIR) + "/poly/";

float halfToFloat(std::uint16_t h) {
    const int sign = (h >> 15) & 1;
    const int exponent = (h >> 10) & 0x1f;
    const int mantissa = h & 0x3ff;
    double value;
    if (exponent == 0) {
        value = std::ldexp(mantissa, -24);
    } else if (exponent == 31) {
        value = mantissa ? NAN : INFINITY;
    } else {
        value = std::ldexp(mantissa + 1024, exponent - 25);
    }
    return static_cast<float>(sign ? -value : value);
}

struct Fixture {
    std::int32_t frames = 0;
    std::vector<float> features;
    NetworkOutput expected;
};

Fixture readFixture() {
    Fixture f;
    std::ifstream in(kFolder + "network_fixture.bin", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 16 || std::memcmp(bytes.data(), "SPNF", 4) != 0) return f;
    std::int32_t header[3];
    std::memcpy(header, bytes.data() + 4, sizeof header);
    const std::size_t cells = static_cast<std::size_t>(header[0]) * header[1];
    const std::size_t notes = static_cast<std::size_t>(header[0]) * header[2];
    if (header[1] != kLevelGridBins || header[2] != kNoteCount ||
        bytes.size() != 16 + cells * 2 + 4 * notes * 4) {
        return f;
    }
    f.frames = header[0];
    f.features.resize(cells);
    for (std::size_t i = 0; i < cells; ++i) {
        std::uint16_t h;
        std::memcpy(&h, bytes.data() + 16 + 2 * i, 2);
        f.features[i] = halfToFloat(h);
    }
    std::vector<float>* planes[4] = {&f.expected.onset, &f.expected.sounding, &f.expected.offset,
                                     &f.expected.velocity};
    const char* at = bytes.data() + 16 + cells * 2;
    for (std::vector<float>* plane : planes) {
        plane->resize(notes);
        std::memcpy(plane->data(), at, notes * 4);
        at += notes * 4;
    }
    f.expected.frames = f.frames;
    return f;
}

float largestDifference(const NetworkOutput& a, const NetworkOutput& b) {
    float worst = 0.0f;
    const std::vector<float>* pa[4] = {&a.onset, &a.sounding, &a.offset, &a.velocity};
    const std::vector<float>* pb[4] = {&b.onset, &b.sounding, &b.offset, &b.velocity};
    for (int k = 0; k < 4; ++k) {
        if (pa[k]->size() != pb[k]->size()) return INFINITY;
        for (std::size_t i = 0; i < pa[k]->size(); ++i) {
            worst = std::max(worst, std::fabs((*pa[k])[i] - (*pb[k])[i]));
        }
    }
    return worst;
}

class NetworkFixture : public ::testing::Test {
protected:
    void TearDown() override { detail::useScalarKernelsOnly(false); }
};

TEST_F(NetworkFixture, MatchesTheTrainedNetworkOnEveryPath) {
    const Fixture f = readFixture();
    ASSERT_GT(f.frames, 0) << "cannot read " << kFolder << "network_fixture.bin";
    const NetworkOutput fast = runNetwork(f.features.data(), f.frames);
    ASSERT_EQ(fast.frames, f.frames);
    EXPECT_LE(largestDifference(fast, f.expected), 1e-4f);

    detail::useScalarKernelsOnly(true);
    const NetworkOutput plain = runNetwork(f.features.data(), f.frames);
    EXPECT_LE(largestDifference(plain, f.expected), 1e-4f);

    // The same input gives the same bytes again.
    detail::useScalarKernelsOnly(false);
    const NetworkOutput again = runNetwork(f.features.data(), f.frames);
    EXPECT_EQ(std::memcmp(again.onset.data(), fast.onset.data(), fast.onset.size() * 4), 0);
    EXPECT_EQ(std::memcmp(again.sounding.data(), fast.sounding.data(), fast.sounding.size() * 4), 0);
}

TEST_F(NetworkFixture, DecoderGivesThePythonDecodersNotes) {
    const Fixture f = readFixture();
    ASSERT_GT(f.frames, 0);
    std::ifstream in(kFolder + "decoder_fixture.tsv");
    // Blocks of "# settings ..." and the notes decode.py found with them.
    std::vector<std::pair<DecoderSettings, std::vector<RecognizedNote>>> blocks;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("# settings", 0) == 0) {
            char onset[64], sounding[64], held[64], reonset[64];
            DecoderSettings s;
            ASSERT_EQ(std::sscanf(line.c_str(),
                                  "# settings onset %63s sounding %63s gap %d min_frames %d peak_radius %d "
                                  "held %63s held_frames %d reonset %63s",
                                  onset, sounding, &s.gap, &s.minFrames, &s.peakRadius, held, &s.heldFrames,
                                  reonset), 8)
                << line;
            s.onset = std::strtof(onset, nullptr);
            s.sounding = std::strtof(sounding, nullptr);
            s.held = std::strtof(held, nullptr);
            s.reonset = std::strtof(reonset, nullptr);
            // Exports before the offset setting leave it out: 0, offsets unused.
            if (const char* offset = std::strstr(line.c_str(), " offset ")) {
                s.offset = std::strtof(offset + 8, nullptr);
            }
            blocks.push_back({s, {}});
            continue;
        }
        ASSERT_FALSE(blocks.empty());
        std::istringstream fields(line);
        std::string start, end;
        int note = 0, velocity = 0;
        fields >> start >> end >> note >> velocity;
        RecognizedNote n;
        n.startSeconds = std::strtod(start.c_str(), nullptr);
        n.endSeconds = std::strtod(end.c_str(), nullptr);
        n.note = static_cast<std::uint8_t>(note);
        n.velocity = static_cast<std::uint8_t>(velocity);
        blocks.back().second.push_back(n);
    }
    ASSERT_EQ(blocks.size(), 3u);
    ASSERT_FALSE(blocks[0].second.empty()) << "the fixture should hold notes";
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const std::vector<RecognizedNote>& expected = blocks[b].second;
        const std::vector<RecognizedNote> found = decodeNotes(f.expected, blocks[b].first, true);
        ASSERT_EQ(found.size(), expected.size()) << "settings " << b;
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].note, expected[i].note) << b << " " << i;
            EXPECT_EQ(found[i].startSeconds, expected[i].startSeconds) << b << " " << i;
            EXPECT_EQ(found[i].endSeconds, expected[i].endSeconds) << b << " " << i;
            EXPECT_EQ(found[i].velocity, expected[i].velocity) << b << " " << i;
        }
    }
}

}  // namespace
}  // namespace selvik::poly
