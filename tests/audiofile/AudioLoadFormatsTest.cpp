// Every format a recording comes in gives the notes of the original, and a
// file the classic WAV reader accepts gives exactly that reader's values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "AudioFileTestSupport.h"
#include "audiofile/AudioLoad.h"
#include "signal/Signal.h"
#include "signal/WavByteSource.h"
#include "signal/WavLayout.h"

namespace selvik {
namespace {

using test::HeardNote;
using test::ScratchFolder;

// Within this of each other, two onsets are the same note's (a lossy codec
// smears an attack by a few milliseconds).
constexpr double kOnsetTolerance = 0.030;

// The tune's last note ends here (melody_ocarina_low.mid). What the tracker
// hears in the release tail after it lies near its -60 dB floor, where a
// lossy codec need not keep it, so only notes starting before are compared.
constexpr double kTuneEnd = 6.25;

std::vector<HeardNote> notesOfTheTune(const Signal& signal) {
    std::vector<HeardNote> notes = test::trackedNotes(signal);
    std::erase_if(notes, [](const HeardNote& note) { return note.onset >= kTuneEnd; });
    return notes;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

void expectSameNotes(const std::vector<HeardNote>& expected, const std::vector<HeardNote>& found) {
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(found[i].number, expected[i].number) << "note " << i;
        EXPECT_NEAR(found[i].onset, expected[i].onset, kOnsetTolerance) << "note " << i;
    }
}

Signal readClassic(const std::string& path) {
    Signal signal;
    std::string detail;
    EXPECT_EQ(signal.readWav(path.c_str(), &detail), SignalStatus::NoError) << detail;
    return signal;
}

// The 16-bit mono samples of a plain WAV in a WAVE_FORMAT_EXTENSIBLE header,
// as phones and recording programs write it even for 16 bits.
bool writeExtensible16(const std::string& from, const std::string& to) {
    const std::vector<unsigned char> bytes = test::bytesOf(from);
    WavMemorySource source(bytes.data(), bytes.size());
    WavLayout layout;
    if (parseWavLayout(source, layout) != SignalStatus::NoError || layout.channels != 1) {
        return false;
    }
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(layout.frameCount * 2);
    std::vector<unsigned char> out;
    auto u16 = [&](std::uint32_t v) {
        out.push_back(static_cast<unsigned char>(v & 0xff));
        out.push_back(static_cast<unsigned char>(v >> 8 & 0xff));
    };
    auto u32 = [&](std::uint32_t v) {
        u16(v & 0xffff);
        u16(v >> 16);
    };
    auto text = [&](const char* id) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(id[i]));
    };
    text("RIFF");
    u32(4 + 8 + 40 + 8 + dataBytes);
    text("WAVE");
    text("fmt ");
    u32(40);
    u16(0xfffe);    // WAVE_FORMAT_EXTENSIBLE
    u16(1);         // channels
    u32(44100);
    u32(88200);     // bytes per second
    u16(2);         // block align
    u16(16);        // bits per sample
    u16(22);        // extension size
    u16(16);        // valid bits
    u32(4);         // channel mask: front centre
    const unsigned char pcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                   0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
    out.insert(out.end(), pcm, pcm + 16);
    text("data");
    u32(dataBytes);
    const auto* data = bytes.data() + layout.dataOffset;
    out.insert(out.end(), data, data + dataBytes);
    test::writeBytes(to, out);
    return true;
}

struct FormatRow {
    const char* sentence;
    const char* file;     // written into the scratch folder
    const char* command;  // {in}: the original, {out}: the file; empty: made by `make`
    std::function<bool(const std::string&, const std::string&)> make;
    const char* formatPart;  // part of formatName
    std::int32_t sourceRate;
    std::int32_t channels;
};

TEST(AudioLoadFormats, EveryFormatGivesTheNotesOfTheOriginal) {
    const std::string missing = test::missingTool({"sox", "flac", "oggenc", "opusenc", "lame"});
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";

    const FormatRow rows[] = {
        {"a 24-bit WAV with a plain PCM header", "plain24.wav",
         "sox -D {in} -t wavpcm -b 24 {out}", nullptr, "Signed 24 bit PCM", 44100, 1},
        {"a 24-bit WAV with an extensible header", "extensible24.wav", "sox -D {in} -b 24 {out}",
         nullptr, "WAVEX", 44100, 1},
        {"a 16-bit WAV with an extensible header", "extensible16.wav", "", writeExtensible16,
         "WAVEX", 44100, 1},
        {"a 32-bit float WAV", "float32.wav", "sox -D {in} -e floating-point -b 32 {out}", nullptr,
         "32 bit float", 44100, 1},
        {"a 48 kHz WAV", "rate48000.wav", "sox -D {in} -r 48000 {out}", nullptr,
         "Signed 16 bit PCM", 48000, 1},
        {"a 22050 Hz WAV", "rate22050.wav", "sox -D {in} -r 22050 {out}", nullptr,
         "Signed 16 bit PCM", 22050, 1},
        {"an AIFF file", "melody.aiff", "sox -D {in} {out}", nullptr, "AIFF", 44100, 1},
        {"a FLAC file from flac", "melody.flac", "flac -s -o {out} {in}", nullptr, "FLAC", 44100,
         1},
        {"a 48 kHz 24-bit stereo FLAC", "stereo48.flac", "sox -D {in} -r 48000 -b 24 -c 2 {out}",
         nullptr, "FLAC", 48000, 2},
        {"Ogg Vorbis from oggenc", "melody.ogg", "oggenc -Q -o {out} {in}", nullptr, "Vorbis",
         44100, 1},
        {"Opus from opusenc", "melody.opus", "opusenc --quiet {in} {out}", nullptr, "Opus", 48000,
         1},
        {"an MP3 from lame", "melody.mp3", "lame --quiet {in} {out}", nullptr, "MPEG Layer III",
         44100, 1},
        {"a 48 kHz VBR MP3", "vbr48.mp3", "lame --quiet -V 4 --resample 48 {in} {out}", nullptr,
         "MPEG Layer III", 48000, 1},
    };

    const Signal original = readClassic(test::melodyWav());
    const std::vector<HeardNote> expected = notesOfTheTune(original);
    ASSERT_EQ(expected.size(), 10u);

    ScratchFolder folder;
    for (const FormatRow& row : rows) {
        SCOPED_TRACE(row.sentence);
        const std::string out = folder.file(row.file);
        if (row.make) {
            ASSERT_TRUE(row.make(test::melodyWav(), out));
        } else {
            const std::string command =
                replaced(replaced(row.command, "{in}", "'" + test::melodyWav() + "'"), "{out}",
                         "'" + out + "'");
            ASSERT_TRUE(test::run(command)) << command;
        }
        AudioLoad load = loadAudioFile(out.c_str(), nullptr, nullptr);
        ASSERT_EQ(load.status, AudioLoadStatus::Loaded) << load.reason;
        EXPECT_TRUE(load.notes.empty()) << load.notes.front();
        EXPECT_NE(load.formatName.find(row.formatPart), std::string::npos) << load.formatName;
        EXPECT_EQ(load.sourceRate, row.sourceRate);
        EXPECT_EQ(load.channels, row.channels);
        EXPECT_FALSE(load.classicFormat);
        EXPECT_EQ(load.signal.sampleRate(), 44100);
        // Encoders and resampling may add or drop a few milliseconds at the ends.
        EXPECT_NEAR(load.signal.count(), original.count(), 0.01 * original.count());
        EXPECT_NEAR(load.seconds, original.count() / 44100.0, 0.1);
        expectSameNotes(expected, notesOfTheTune(load.signal));
    }
}

// Every fixture the classic reader accepts gives its values bit for bit (and
// its count and padding); every one it refuses is not taken as classic.
TEST(AudioLoadFormats, AFileTheClassicReaderAcceptsGivesExactlyItsSamples) {
    std::vector<std::string> paths = {test::melodyWav()};
    for (const auto& entry : std::filesystem::directory_iterator(SELVIK_TEST_DATA_DIR "/wav")) {
        paths.push_back(entry.path().string());
    }
    int accepted = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        Signal classic;
        const SignalStatus status = classic.readWav(path.c_str());
        AudioLoad load = loadAudioFile(path.c_str(), nullptr, nullptr);
        if (status != SignalStatus::NoError) {
            EXPECT_FALSE(load.classicFormat);
            continue;
        }
        ++accepted;
        ASSERT_EQ(load.status, AudioLoadStatus::Loaded) << load.reason;
        EXPECT_TRUE(load.classicFormat);
        EXPECT_TRUE(load.notes.empty());
        ASSERT_EQ(load.signal.count(), classic.count());
        ASSERT_EQ(load.signal.paddedLength(), classic.paddedLength());
        for (std::int32_t i = 0; i < classic.paddedLength(); ++i) {
            ASSERT_EQ(load.signal.samples()[i], classic.samples()[i]) << "sample " << i;
        }
    }
    EXPECT_GT(accepted, 15);
}

// --- Channels that cancel out -------------------------------------------------

struct ChannelRow {
    const char* sentence;
    const char* file;
    const char* remix;  // sox's remix of the mono original into two channels
    std::int32_t channelAnalysed;
    const char* note;  // "" for none
};

TEST(AudioLoadChannels, ChannelsInOppositePhaseGiveTheLouderChannelAndItsNotes) {
    const std::string missing = test::missingTool({"sox"});
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";

    const ChannelRow rows[] = {
        {"a classic WAV whose right channel is the left one inverted, a little softer",
         "opposite.wav", "1 1v-0.9", 0,
         "the channels cancel out when mixed; analysing the left channel"},
        {"a FLAC whose left channel is the right one inverted, a little softer", "opposite.flac",
         "1v-0.95 1", 1, "the channels cancel out when mixed; analysing the right channel"},
        {"channels whose mix is 16 dB below the louder one stay mixed", "partly.wav", "1 1v-0.7",
         -1, ""},
        {"channels in phase are mixed", "inphase.wav", "1 1v0.5", -1, ""},
    };

    const Signal original = readClassic(test::melodyWav());
    const std::vector<HeardNote> expected = notesOfTheTune(original);
    ScratchFolder folder;
    for (const ChannelRow& row : rows) {
        SCOPED_TRACE(row.sentence);
        const std::string out = folder.file(row.file);
        const std::string command = "sox -D '" + test::melodyWav() + "' -c 2 '" + out +
                                    "' remix " + row.remix;
        ASSERT_TRUE(test::run(command)) << command;
        AudioLoad load = loadAudioFile(out.c_str(), nullptr, nullptr);
        ASSERT_EQ(load.status, AudioLoadStatus::Loaded) << load.reason;
        EXPECT_EQ(load.channelAnalysed, row.channelAnalysed);
        if (*row.note == '\0') {
            EXPECT_TRUE(load.notes.empty());
        } else {
            EXPECT_EQ(load.notes, std::vector<std::string>{row.note});
        }
        ASSERT_EQ(load.signal.count(), original.count());
        expectSameNotes(expected, notesOfTheTune(load.signal));
        if (row.channelAnalysed < 0) continue;
        // The louder channel is the original itself, copied losslessly.
        for (std::int32_t i = 0; i < original.count(); ++i) {
            ASSERT_EQ(load.signal.samples()[i], original.samples()[i]) << "sample " << i;
        }
    }
}

}  // namespace
}  // namespace selvik
