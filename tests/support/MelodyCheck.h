#pragma once

// Checks that our recognizer finds again the notes of a MIDI file in a
// recording of it (a rendering, for instance).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/Conversion.h"
#include "recognition/classic/GridConversion.h"
#include "support/ClassicSong.h"

namespace selvik::testing_support {

// A rendered melody: every played note must be found in at least 80% of the
// grid rows that lie wholly inside it, and no other note in more than 10%.
struct PlayedNote {
    int note;
    double start;  // seconds
    double end;
};

inline std::vector<PlayedNote> playedNotes(const std::filesystem::path& midi) {
    const std::string command = std::string("/usr/bin/python3 ") + SELVIK_SOURCE_DIR +
                                "/tests/cli/played_notes.py '" +
                                midi.string() + "'";
    std::vector<PlayedNote> notes;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return notes;
    PlayedNote n{};
    while (std::fscanf(pipe, "%d %lf %lf", &n.note, &n.start, &n.end) == 3) notes.push_back(n);
    pclose(pipe);
    return notes;
}

// `share` is the part of a note's rows that must hold it; notes shorter than
// `shortest` seconds, and other notes inside a note, are only checked when
// `strict` (a second generation, a rendering of a transcription, blurs both).
inline void expectMelodyRecognised(const std::filesystem::path& wav,
                                   const std::filesystem::path& midi, double share = 0.8,
                                   bool strict = true, double shortest = 0.0) {
    const std::vector<PlayedNote> played = playedNotes(midi);
    ASSERT_FALSE(played.empty()) << "could not read " << midi;
    Song song;
    ASSERT_EQ(classicSong(wav, song), AnalysisOutcome::Completed);
    const std::vector<cli::PrintedNote> found = cli::notesOfSong(song);
    constexpr int kBlock = 2048;
    for (const PlayedNote& note : played) {
        if (note.end - note.start < shortest) continue;
        const int firstRow = static_cast<int>(std::ceil(note.start * 44100.0 / kBlock));
        const int endRow = static_cast<int>(std::floor(note.end * 44100.0 / kBlock));
        int rows = 0;
        int hits = 0;
        std::map<int, int> others;
        for (int row = firstRow; row < endRow; ++row) {
            ++rows;
            const std::uint32_t tick = rowToTicks(row, kBlock, 120.0, 384);
            for (const cli::PrintedNote& f : found) {
                if (f.startTick <= tick && tick < f.endTick) {
                    if (f.number == note.note) {
                        ++hits;
                    } else {
                        ++others[f.number];
                    }
                }
            }
        }
        ASSERT_GT(rows, 0);
        EXPECT_GE(hits, rows * share) << "note " << note.note << " at " << note.start << " s: "
                                       << hits << " of " << rows << " rows";
        if (!strict) continue;
        for (const auto& [other, count] : others) {
            EXPECT_LE(count * 10, rows) << "note " << other << " inside note " << note.note
                                        << " at " << note.start << " s: " << count << " of "
                                        << rows << " rows";
        }
    }
}

}  // namespace selvik::testing_support
