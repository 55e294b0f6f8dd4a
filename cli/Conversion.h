#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ConverterOptions.h"
#include "cli/InputReport.h"
#include "core/ProgressIndicator.h"
#include "midi/Song.h"
#include "midi/SongNotes.h"

namespace selvik::cli {

// One recognised note as --notes prints it.
using PrintedNote = SongNote;

// Pairs each note-on with the velocity-0 note-on that ends it, in the order
// of the starts (the song's order).
inline std::vector<PrintedNote> notesOfSong(const Song& song) { return songNotes(song); }

// The --notes table: a header line, then name, number, start and end in
// seconds through the song's tempo map (three decimals) and in ticks,
// tab-separated.
std::string formatNotes(const Song& song);

// The stages an input's progress runs through, each starting with a
// setRange(): the classic method's passes, or our methods' load and
// recognition.
int progressStages(const ConverterOptions& options);

// Converts one input through the conversion pipeline with the options'
// method, settings and outputs. Its messages and notes table go to `report`,
// its progress to `progress` (may be null); `terminal` and `showProgress`
// serve the playback's line. `interrupted` is polled between the steps.
// `threads` as MethodRun::threads. Returns an ExitStatus.
int convertInput(InputReport& report, const ConverterOptions& options, ProgressIndicator* progress,
                 std::FILE* terminal, bool showProgress, const std::atomic<bool>& interrupted, int threads = 0);

// The same, with the messages written to `err` and the table to `out` at
// once, and with `showProgress` a progress bar on `err`.
int convertInput(const std::string& input, const ConverterOptions& options, std::FILE* out,
                 std::FILE* err, bool showProgress, const std::atomic<bool>& interrupted);

}  // namespace selvik::cli
