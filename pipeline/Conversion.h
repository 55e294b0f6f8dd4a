#pragma once

#include <atomic>
#include <span>
#include <string>
#include <vector>

#include "core/ProgressIndicator.h"
#include "core/RecognizedNote.h"
#include "midi/Song.h"
#include "pipeline/Recording.h"
#include "pipeline/SongOptions.h"
#include "recognition/RecognitionMethod.h"

namespace selvik {

// How a conversion ended; the values are the converter's exit statuses, and
// with several results the highest one counts.
enum class ConversionStatus : int {
    Done = 0,
    InputUnreadable = 1,  // the input could not be read
    NothingWritten = 3,   // nothing to write (no notes), or an output could not be written
    Unavailable = 4,      // an output device, soundfont or audio output is unavailable
    Interrupted = 130,    // stopped on request
};

// What a conversion hands to its outputs.
struct ConvertedSong {
    const std::string& input;
    const Recording& recording;
    const std::vector<RecognizedNote>& notes;
    Song& song;  // an output may stream it (the playback moves its read cursors)
};

// One destination of a converted song: a MIDI file, the notes table, a
// rendering, a picture, a playback. Messages go through showMessage.
class ConversionOutput {
public:
    struct Delivery {
        ConversionStatus status = ConversionStatus::Done;
        bool last = false;  // true: the song goes to no later output
    };
    virtual ~ConversionOutput() = default;
    virtual Delivery deliver(const ConvertedSong& song) = 0;
};

struct ConversionRequest {
    std::string input;                       // the recording's path
    const MethodDescriptor* method = nullptr;
    MethodSettings settings;
    SongOptions song;                        // tempo, grid and bends of the song
    int threads = 0;                         // as MethodRun::threads
};

// One input from file to outputs:
//   1. load (loadRecording); a failed load's messages are shown once it has
//      returned, the first one followed by the reader's detail in brackets;
//   2. the method, the beat tracker when the tempo comes from the
//      recording, and the song (analyseRecording); running out of memory
//      shows "Out of memory";
//   3. the outputs, in order, until one says it is the last.
// `interrupted` is polled between the steps and by the method. Returns the
// highest status of the steps.
ConversionStatus convert(const ConversionRequest& request, std::span<ConversionOutput* const> outputs,
                         ProgressIndicator* progress, const std::atomic<bool>& interrupted);

}  // namespace selvik
