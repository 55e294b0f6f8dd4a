#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ConverterOptions.h"
#include "midi/Song.h"
#include "midi/SongNotes.h"
#include "recognition/Recognizer.h"

namespace selvik::cli {

// One recognised note as --notes prints it.
using PrintedNote = SongNote;

// Pairs each note-on with the velocity-0 note-on that ends it, in the order
// of the starts (the song's order).
inline std::vector<PrintedNote> notesOfSong(const Song& song) { return songNotes(song); }

// The --notes table: a header line, then name, number, start and end in
// seconds (three decimals) and in ticks, tab-separated.
std::string formatNotes(const Song& song);

// Loads `input` into the recognizer as the desktop program does, printing its
// messages to `err` as "INPUT: TEXT" (a failed load's first message followed by
// the reader's detail). True when a recording was loaded.
bool loadRecording(Recognizer& recognizer, const std::string& input, std::FILE* err);

// Converts one input as the desktop program would: load (with its messages),
// analyse with the given parameters, write the MIDI file. Messages go to
// `err` as "INPUT: TEXT"; the notes table, when asked for, to `out`.
// `interrupted` is polled between the steps. Returns an ExitStatus.
int convertInput(const std::string& input, const ConverterOptions& options, std::FILE* out,
                 std::FILE* err, bool showProgress, const std::atomic<bool>& interrupted);

}  // namespace selvik::cli
