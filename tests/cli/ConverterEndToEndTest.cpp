// End-to-end runs of selvik-convert, and the equivalence of the converter's
// code path with the desktop program's Analyze path.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <map>
#include <tuple>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Conversion.h"
#include "cli/ConverterOptions.h"
#include "midi/MidiFileWriter.h"
#include "app/AnalyzeCommand.h"
#include "pipeline/RecordingLoader.h"
#include "recognition/classic/ClassicMethod.h"
#include "support/ClassicSong.h"
#include "support/MelodyCheck.h"
#include "support/TestWav.h"

namespace selvik::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::sine;
using testing_support::writeWav16;
using testing_support::expectMelodyRecognised;

class ConverterRun : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/selvik-convert-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    testing_support::ProcessResult convert(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), SELVIK_CONVERT_PATH);
        return runProgram(arguments, dir_);
    }

    fs::path dir_;
};

// Notes of a MIDI file as the independent reader (mido) sees them, one
// "note<TAB>start<TAB>end" line each.
std::string notesReadByMido(const fs::path& midi) {
    const std::string command = std::string("/usr/bin/python3 ") + SELVIK_SOURCE_DIR +
                                "/tests/midi/check_midi_file.py --dump '" + midi.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "popen failed";
    std::string text;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    const int status = pclose(pipe);
    return status == 0 ? text : "reader failed: " + text;
}

std::string notesAsTsv(const Song& song) {
    std::string text;
    for (const PrintedNote& note : notesOfSong(song)) {
        text += std::to_string(note.number) + "\t" + std::to_string(note.startTick) + "\t" +
                std::to_string(note.endTick) + "\n";
    }
    return text;
}

TEST_F(ConverterRun, PlainConversionIsSilentAndWritesTheMidiFileBesideTheInput) {
    writeWav16(dir_ / "a440.wav", sine(440.0, 44100));
    const auto result = convert({"a440.wav"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "");
    ASSERT_TRUE(fs::exists(dir_ / "a440.mid"));

    Song song;
    ASSERT_EQ(testing_support::classicSong(dir_ / "a440.wav", song), AnalysisOutcome::Completed);
    EXPECT_EQ(notesReadByMido(dir_ / "a440.mid"), notesAsTsv(song));
    // 44100 samples are 21 whole rows of 2048; row 21 starts at tick 749.
    EXPECT_EQ(notesAsTsv(song), "69\t0\t749\n") << "a 440 Hz sine of one second is one A4";
}

TEST_F(ConverterRun, MelodyTrackerTurnsASteadyToneIntoOneNote) {
    writeWav16(dir_ / "a440.wav", sine(440.0, 44100, 12000.0));
    const auto result = convert({"--method", "melody", "--notes", "a440.wav"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::istringstream lines(result.out);
    std::string header, note, extra;
    std::getline(lines, header);
    std::getline(lines, note);
    EXPECT_EQ(note.rfind("A4\t69\t", 0), 0u) << result.out;
    EXPECT_FALSE(std::getline(lines, extra)) << result.out;

    // Loudness velocity is the default; fixed velocity writes other bytes.
    const std::string loud = readFile(dir_ / "a440.mid");
    ASSERT_EQ(convert({"--method", "melody", "--velocity", "fixed", "a440.wav"}).status, 0);
    EXPECT_NE(readFile(dir_ / "a440.mid"), loud);
}

TEST_F(ConverterRun, NotesTableListsEachSpanWithNameSecondsAndTicks) {
    std::vector<std::int16_t> samples = sine(440.0, 44100);
    const std::vector<std::int16_t> low = sine(220.0, 44100);
    samples.insert(samples.end(), low.begin(), low.end());
    writeWav16(dir_ / "two.wav", samples);
    const auto result = convert({"--notes", "two.wav"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "name\tnumber\tstart_s\tend_s\tstart_tick\tend_tick\n"
              "A4\t69\t0.000\t1.022\t0\t785\n"
              "A3\t57\t1.022\t1.997\t785\t1534\n");
    EXPECT_EQ(notesReadByMido(dir_ / "two.mid"),
              "69\t0\t785\n57\t785\t1534\n");
}

// The notes table's rows as (name, start_s, end_s, start_tick), the header aside.
std::vector<std::tuple<std::string, double, double, long>> tableRows(const std::string& table) {
    std::vector<std::tuple<std::string, double, double, long>> rows;
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        int number = 0;
        double start = 0.0, end = 0.0;
        long startTick = 0, endTick = 0;
        fields >> name >> number >> start >> end >> startTick >> endTick;
        rows.emplace_back(name, start, end, startTick);
    }
    return rows;
}

// What mido reads of a file through its tempo map: "note start end channel"
// lines in seconds, then "meter N/D" lines.
std::string secondsReadByMido(const fs::path& midi) {
    const std::string command = std::string("/usr/bin/python3 ") + SELVIK_SOURCE_DIR +
                                "/tests/midi/check_midi_file.py --dump-seconds '" + midi.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "popen failed";
    std::string text;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    return pclose(pipe) == 0 ? text : "reader failed: " + text;
}

TEST_F(ConverterRun, AGivenTempoKeepsTheNotesAtTheirSecondsAndStatesFourFour) {
    std::vector<std::int16_t> samples = sine(440.0, 44100);
    const std::vector<std::int16_t> low = sine(220.0, 44100);
    samples.insert(samples.end(), low.begin(), low.end());
    writeWav16(dir_ / "two.wav", samples);
    const auto plain = convert({"--notes", "two.wav", "-o", "plain.mid"});
    const auto slow = convert({"--notes", "--tempo", "90", "two.wav", "-o", "slow.mid"});
    ASSERT_EQ(slow.status, 0) << slow.err;
    const auto plainRows = tableRows(plain.out);
    const auto slowRows = tableRows(slow.out);
    ASSERT_EQ(slowRows.size(), plainRows.size());
    for (std::size_t i = 0; i < plainRows.size(); ++i) {
        EXPECT_NEAR(std::get<1>(slowRows[i]), std::get<1>(plainRows[i]), 0.002);
        EXPECT_NEAR(std::get<2>(slowRows[i]), std::get<2>(plainRows[i]), 0.002);
    }
    EXPECT_EQ(std::get<3>(slowRows[1]), 589) << "1.022 s at 90 BPM";
    EXPECT_EQ(secondsReadByMido(dir_ / "plain.mid").find("meter"), std::string::npos)
        << "no time signature by default";
    EXPECT_NE(secondsReadByMido(dir_ / "slow.mid").find("meter\t4/4"), std::string::npos);
}

TEST_F(ConverterRun, OurMethodsFollowTheRecordingsTempoAndQuantizeOnItsGrid) {
    // Tones on every beat at 100 BPM, two pitches in turn.
    std::vector<std::int16_t> samples;
    for (int beat = 0; beat < 20; ++beat) {
        const std::vector<std::int16_t> tone = sine(beat % 2 ? 523.25 : 440.0, 19845, 12000.0);  // 0.45 s
        samples.insert(samples.end(), tone.begin(), tone.end());
        samples.insert(samples.end(), 26460 - tone.size(), 0);  // to 0.6 s
    }
    writeWav16(dir_ / "beats.wav", samples);
    const auto fixed = convert({"--method", "melody", "--notes", "--tempo", "120", "beats.wav", "-o", "fixed.mid"});
    const auto followed = convert({"--method", "melody", "--notes", "beats.wav", "-o", "followed.mid"});
    const auto bent = convert({"--method", "melody", "--notes", "--pitch-bends", "beats.wav", "-o", "bent.mid"});
    const auto snapped = convert({"--method", "melody", "--notes", "--quantize", "1/16", "beats.wav", "-o", "q.mid"});
    ASSERT_EQ(followed.status, 0) << followed.err;
    ASSERT_EQ(snapped.status, 0) << snapped.err;
    const auto fixedRows = tableRows(fixed.out);
    const auto followedRows = tableRows(followed.out);
    ASSERT_EQ(followedRows.size(), 20u) << followed.out;
    ASSERT_EQ(fixedRows.size(), followedRows.size());
    for (std::size_t i = 0; i < fixedRows.size(); ++i) {
        EXPECT_NEAR(std::get<1>(followedRows[i]), std::get<1>(fixedRows[i]), 0.0025) << "note " << i;
        EXPECT_NEAR(std::get<2>(followedRows[i]), std::get<2>(fixedRows[i]), 0.0025) << "note " << i;
    }
    EXPECT_EQ(bent.out, followed.out) << "bends change no note";
    // Each start lies on a sixteenth of the 100 BPM beat, which is 0.15 s.
    for (const auto& row : tableRows(snapped.out)) {
        EXPECT_EQ(std::get<3>(row) % 96, 0) << std::get<1>(row);
    }
    const std::string read = secondsReadByMido(dir_ / "followed.mid");
    EXPECT_NE(read.find("meter\t"), std::string::npos) << read;
}

TEST_F(ConverterRun, ShortRecordingShowsTheProgramsMessagesInOrderAndWritesNothing) {
    writeWav16(dir_ / "short.wav", sine(440.0, 2000));
    const auto result = convert({"short.wav"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err,
              "short.wav: For better results use signals with more than 4096 samples.\n"
              "short.wav: Signal is too short\n"
              "short.wav: Unable to save MIDI file. (no notes were recognised)\n");
    EXPECT_FALSE(fs::exists(dir_ / "short.mid"));
}

TEST_F(ConverterRun, DigitalSilenceGivesNoNotesAndNothingToSave) {
    writeWav16(dir_ / "silence.wav", std::vector<std::int16_t>(44100, 0));
    const auto result = convert({"--notes", "silence.wav"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "name\tnumber\tstart_s\tend_s\tstart_tick\tend_tick\n");
    EXPECT_EQ(result.err, "silence.wav: Unable to save MIDI file. (no notes were recognised)\n");
    EXPECT_FALSE(fs::exists(dir_ / "silence.mid"));
}

TEST_F(ConverterRun, UnreadableInputsAreStatusOneWithTheLoadersMessages) {
    {
        std::FILE* f = std::fopen((dir_ / "text.wav").c_str(), "w");
        std::fputs("this is not a WAV file at all", f);
        std::fclose(f);
    }
    const auto missing = convert({"missing.wav"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("missing.wav: File error", 0), 0u) << missing.err;
    EXPECT_NE(missing.err.find("\nmissing.wav: For better results use signals with more than "
                               "4096 samples.\n"),
              std::string::npos)
        << missing.err;

    const auto text = convert({"text.wav"});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.err.rfind("text.wav: Bad file format", 0), 0u) << text.err;
    EXPECT_EQ(std::count(text.err.begin(), text.err.end(), '\n'), 2) << text.err;
}

TEST_F(ConverterRun, SeveralInputsAreConvertedEachOnItsOwnAndTheHighestStatusWins) {
    writeWav16(dir_ / "good.wav", sine(440.0, 44100));
    writeWav16(dir_ / "silent.wav", std::vector<std::int16_t>(44100, 0));
    const auto result = convert({"good.wav", "missing.wav", "silent.wav"});
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(fs::exists(dir_ / "good.mid"));
    EXPECT_NE(result.err.find("missing.wav: File error"), std::string::npos);
    EXPECT_NE(result.err.find("silent.wav: Unable to save MIDI file."), std::string::npos);
}

TEST_F(ConverterRun, UsageErrorsAreStatusTwoAndHelpIsStatusZero) {
    const auto bad = convert({"--threshold", "nan", "x.wav"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("0.0..1.0"), std::string::npos);
    const auto help = convert({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--polyphony"), std::string::npos);
    EXPECT_EQ(help.err, "");
}

TEST_F(ConverterRun, ConvertingTheSameFileTwiceGivesIdenticalBytes) {
    std::vector<std::int16_t> samples = sine(523.25, 30000);
    const auto more = sine(659.25, 30000);
    samples.insert(samples.end(), more.begin(), more.end());
    writeWav16(dir_ / "in.wav", samples);
    ASSERT_EQ(convert({"-o", "first.mid", "in.wav"}).status, 0);
    ASSERT_EQ(convert({"--output", "second.mid", "in.wav"}).status, 0);
    const std::string first = readFile(dir_ / "first.mid");
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, readFile(dir_ / "second.mid"));
}

// The desktop program's Analyze path (control values) and the converter's
// path (--threshold text) must write the same bytes for every slider position.
TEST_F(ConverterRun, DesktopMappingAndThresholdOptionWriteIdenticalBytesForEverySliderPosition) {
    // Three partials of different strength, so the threshold decides how many
    // notes a block keeps.
    std::vector<std::int16_t> samples(22050);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        samples[i] = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 440 * t) +
                                               8000 * std::sin(2 * M_PI * 660 * t) +
                                               5000 * std::sin(2 * M_PI * 1100 * t));
    }
    const fs::path wav = dir_ / "chord.wav";
    writeWav16(wav, samples);
    std::set<std::string> distinct;
    for (int p = 0; p <= 100; ++p) {
        Recording desktopRecording;
        ASSERT_EQ(loadRecording(wav.string(), kClassicMethod, desktopRecording, nullptr, nullptr, nullptr),
                  LoadOutcome::Loaded);
        Song desktopSong;
        reset(&desktopSong);
        app::AnalysisSettings settings;
        settings.polyphony = 4;
        settings.thresholdPosition = p;
        app::analyze(wav.string(), desktopRecording, kClassicMethod, desktopSong, nullptr,
                     [&] { return settings; });
        const fs::path desktopFile = dir_ / "desktop.mid";
        fs::remove(desktopFile);
        const MidiResult desktopResult = writeMidiFile(desktopFile.c_str(), &desktopSong);

        char threshold[16];
        std::snprintf(threshold, sizeof threshold, "%d.%02d", (100 - p) / 100, (100 - p) % 100);
        const ParseResult parsed = parseConverterOptions(
            {"--polyphony", "4", "--threshold", threshold, "-q", "-o",
             (dir_ / "cli.mid").string(), wav.string()});
        ASSERT_TRUE(parsed.options);
        fs::remove(dir_ / "cli.mid");
        std::FILE* sink = std::fopen("/dev/null", "w");
        std::atomic<bool> never{false};
        const int status = convertInput(wav.string(), *parsed.options, sink, sink, false, never);
        std::fclose(sink);

        ASSERT_EQ(status == 0, desktopResult == MidiResult::Success) << "slider " << p;
        const std::string bytes = readFile(dir_ / "cli.mid");
        EXPECT_EQ(bytes, readFile(desktopFile)) << "slider " << p;
        distinct.insert(bytes);
    }
    EXPECT_GE(distinct.size(), 3u) << "the threshold must matter for this signal";
}

// A batch converted side by side prints, writes and exits as the one-by-one
// run does, whatever order the jobs finish in.
TEST_F(ConverterRun, JobsSideBySideGiveTheOneByOneRunsTextsFilesAndStatus) {
    // The first input is the longest, so later ones finish before it.
    std::vector<std::int16_t> longTone = sine(440.0, 44100 * 6);
    writeWav16(dir_ / "long.wav", longTone);
    writeWav16(dir_ / "short.wav", sine(659.25, 22050));
    writeWav16(dir_ / "silent.wav", std::vector<std::int16_t>(44100, 0));
    const std::vector<std::string> inputs = {"long.wav", "missing.wav", "short.wav", "silent.wav"};
    auto run = [&](const char* jobs) {
        std::vector<std::string> arguments = {"--jobs", jobs, "--notes", "--method", "melody"};
        arguments.insert(arguments.end(), inputs.begin(), inputs.end());
        const auto result = convert(arguments);
        std::map<std::string, std::string> files;
        for (const char* name : {"long.mid", "short.mid", "silent.mid"}) {
            files[name] = fs::exists(dir_ / name) ? readFile(dir_ / name) : "(none)";
            fs::remove(dir_ / name);
        }
        return std::make_tuple(result.status, result.out, result.err, files);
    };
    const auto oneByOne = run("1");
    EXPECT_EQ(std::get<0>(oneByOne), 3);
    EXPECT_NE(std::get<2>(oneByOne).find("missing.wav: "), std::string::npos);
    EXPECT_EQ(std::get<3>(oneByOne).at("silent.mid"), "(none)");
    EXPECT_NE(std::get<3>(oneByOne).at("long.mid"), "(none)");
    EXPECT_EQ(run("4"), oneByOne);
    EXPECT_EQ(run("2"), oneByOne);
}

TEST_F(ConverterRun, InterruptingABatchStopsEveryJobAndLeavesNoFile) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) writeWav16(dir_ / name, sine(440.0, 44100 * 120));
    const int status = testing_support::runAndInterrupt(
        {SELVIK_CONVERT_PATH, "--jobs", "2", "--method", "melody", "a.wav", "b.wav", "c.wav"}, dir_,
        std::chrono::milliseconds(300));
    EXPECT_EQ(status, 130);
    for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().extension(), ".wav") << entry.path() << " was left behind";
    }
}

// Our methods read what a phone or a DAW writes; the classic method still
// reads only its own WAV files, with its own messages.
TEST_F(ConverterRun, OurMethodsReadAnyAudioFileAndTheClassicMethodKeepsItsReader) {
    const fs::path original = fs::path(SELVIK_TEST_DATA_DIR) / "melodies" / "melody_ocarina_low.wav";
    ASSERT_EQ(std::system(("sox -D '" + original.string() + "' -r 48000 -b 24 -c 2 '" +
                           (dir_ / "take.flac").string() + "' 2>/dev/null").c_str()), 0);
    ASSERT_EQ(std::system(("sox -D '" + original.string() + "' -r 48000 '" + (dir_ / "take48.wav").string() +
                           "' 2>/dev/null").c_str()), 0);

    const auto flac = convert({"-q", "--method", "melody", "take.flac"});
    EXPECT_EQ(flac.status, 0) << flac.err;
    EXPECT_EQ(flac.err, "") << "a successful conversion says nothing with -q";
    EXPECT_TRUE(fs::exists(dir_ / "take.mid"));

    const auto wav48 = convert({"--notes", "--method", "melody", "take48.wav"});
    EXPECT_EQ(wav48.status, 0) << wav48.err;
    const auto original44 = convert({"--notes", "--method", "melody", "-o", "original.mid", original.string()});
    std::istringstream resampled(wav48.out), direct(original44.out);
    std::string a, b;
    int lines = 0;
    while (std::getline(resampled, a) && std::getline(direct, b)) {
        EXPECT_EQ(a.substr(0, a.find('\t', a.find('\t') + 1)), b.substr(0, b.find('\t', b.find('\t') + 1)))
            << "the same note numbers, line " << lines;
        ++lines;
    }
    EXPECT_GT(lines, 5);

    fs::remove(dir_ / "take48.mid");
    const auto classic = convert({"take48.wav"});
    EXPECT_EQ(classic.status, 1);
    EXPECT_EQ(classic.err.rfind("take48.wav: Bad file format (sample rate 48000 Hz", 0), 0u) << classic.err;
    EXPECT_FALSE(fs::exists(dir_ / "take48.mid"));
}

TEST_F(ConverterRun, AFileNoReaderOpensIsOneLineAndStatusOneWithNothingWritten) {
    {
        std::ofstream(dir_ / "notes.flac") << "these are not the samples you are looking for";
    }
    const auto result = convert({"--method", "melody", "notes.flac"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.err.rfind("notes.flac: Unable to read audio file. (", 0), 0u) << result.err;
    EXPECT_FALSE(fs::exists(dir_ / "notes.mid"));
}

TEST_F(ConverterRun, ARecordingLongerThanSixHoursIsRefusedWithAClearLine) {
    // Seven hours of 16-bit mono at 44100 Hz, as a sparse file: only the header is on disk.
    const std::uint32_t dataBytes = 7u * 3600u * 44100u * 2u;
    writeWav16(dir_ / "long.wav", {});
    {
        std::fstream file(dir_ / "long.wav", std::ios::in | std::ios::out | std::ios::binary);
        auto put32 = [&](std::streamoff at, std::uint32_t v) {
            file.seekp(at);
            for (int i = 0; i < 4; ++i) file.put(static_cast<char>((v >> (8 * i)) & 0xFF));
        };
        put32(4, 36 + dataBytes);
        put32(40, dataBytes);
    }
    fs::resize_file(dir_ / "long.wav", 44 + static_cast<std::uintmax_t>(dataBytes));
    const auto result = convert({"--method", "melody", "long.wav"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "long.wav: Unable to read audio file. (longer than 6 hours (7:00:00); split it into "
                          "shorter files)\n");
    EXPECT_FALSE(fs::exists(dir_ / "long.mid"));
}

TEST_F(ConverterRun, AnEmptyOrTooShortFileIsLikeSilence) {
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 1 '" + (dir_ / "empty.flac").string() +
                           "' trim 0 0 2>/dev/null").c_str()), 0);
    const auto result = convert({"--method", "melody", "empty.flac"});
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_EQ(result.err, "empty.flac: Unable to save MIDI file. (no notes were recognised)\n");
    EXPECT_FALSE(fs::exists(dir_ / "empty.mid"));
}

TEST_F(ConverterRun, ADecodingErrorPartWayKeepsWhatWasDecodedAndSaysWhere) {
    const fs::path original = fs::path(SELVIK_TEST_DATA_DIR) / "melodies" / "melody_ocarina_low.wav";
    ASSERT_EQ(std::system(("flac -s -o '" + (dir_ / "whole.flac").string() + "' '" + original.string() + "'").c_str()), 0);
    std::string bytes = readFile(dir_ / "whole.flac");
    // Damage the second half of the frames.
    for (std::size_t i = bytes.size() / 2; i < bytes.size(); i += 7) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    std::ofstream(dir_ / "damaged.flac", std::ios::binary) << bytes;
    const auto result = convert({"-q", "--method", "melody", "damaged.flac"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("damaged.flac: decoding stopped at 0:"), std::string::npos) << result.err;
    EXPECT_TRUE(fs::exists(dir_ / "damaged.mid"));
}

TEST(RenderedMelody, FluteExampleIsRecognisedNoteByNote) {
    const fs::path examples = fs::path(SELVIK_SOURCE_DIR) / "examples";
    expectMelodyRecognised(examples / "melody_flute.wav", examples / "melody_flute.mid");
}

TEST(RenderedMelody, LowOcarinaMelodyIsRecognisedByTheSecondPass) {
    const fs::path data = fs::path(SELVIK_TEST_DATA_DIR) / "melodies";
    expectMelodyRecognised(data / "melody_ocarina_low.wav", data / "melody_ocarina_low.mid");
}

}  // namespace
}  // namespace selvik::cli
