#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/ProgressIndicator.h"
#include "signal/Signal.h"

namespace selvik {

enum class AudioLoadStatus {
    Loaded,       // `signal` holds what was decoded (maybe nothing, maybe a part: see notes)
    Unreadable,   // no reader takes the file
    TooLong,      // longer than the limit; nothing kept
    OutOfMemory,  // the samples or the decoder's state could not be allocated; nothing kept
    Cancelled,    // the cancel flag was set; nothing kept
};

// The result of reading an audio file for analysis.
struct AudioLoad {
    AudioLoadStatus status = AudioLoadStatus::Unreadable;
    // Loaded: mono at 44100 Hz, not normalised; count() may be 0 (paddedLength
    // 2, like the classic WAV reader's empty data chunk). Empty otherwise.
    Signal signal;
    // The classic WAV reader (Signal::readWav) accepts this file and it was
    // read to its end: the samples are exactly that reader's values, except
    // when channelAnalysed says one channel was taken instead of the mix.
    bool classicFormat = false;
    // -1: the mean of the channels; otherwise the index of the one channel
    // analysed because the channels cancel out when mixed (a note says so).
    std::int32_t channelAnalysed = -1;
    // Not Loaded: one line saying why, e.g. "longer than 6 hours (6:12:03)".
    std::string reason;
    // Loaded: lines for the user, e.g. "decoding stopped at 1:23 (REASON)" or
    // "the channels cancel out when mixed; analysing the left channel".
    std::vector<std::string> notes;

    // What was read, as far as it was found:
    std::string formatName;       // e.g. "FLAC (Free Lossless Audio Codec), Signed 16 bit PCM"
    std::int32_t sourceRate = 0;  // Hz
    std::int32_t channels = 0;
    double seconds = 0.0;  // decoded duration at the source rate; TooLong: the header's
};

// Bounds of a load; the defaults are the program's.
struct AudioLoadLimits {
    // Longest recording read, in seconds of the source.
    double maxSeconds = 6.0 * 3600.0;
};

// Reads any audio file into a mono 44100 Hz Signal.
//
// A file the classic WAV reader accepts is read by its rules and conversion
// (signal/WavLayout.h); any other goes to libsndfile (WAV in every encoding,
// AIFF, FLAC, Ogg Vorbis, Opus, MP3, ...). Frames are decoded, mixed (the
// mean of the channels) and resampled (libsoxr, high quality) in chunks
// until the decoder gives no more, whatever the header said; when the mix is
// more than 20 dB below the louder channel, the file is read again and that
// channel taken instead. Memory: the samples, plus a bounded working set
// while decoding (blocks of SampleBlocks::kBlockSamples, moved into the
// Signal one at a time at the end).
//
// A decoding error part-way keeps what was decoded (Loaded, with a note). A
// file longer than limits.maxSeconds is TooLong: from the header when it
// gives a count, else as soon as the decoded part passes the limit.
// `progress` (may be null) gets a range and positions as the source is read;
// `cancel` (may be null) is polled once per chunk. Never throws. Loads may
// run on several threads at once; only the reason of a file libsndfile
// cannot open is kept process-wide by libsndfile, so two such failures at
// the same moment may swap their reasons.
AudioLoad loadAudioFile(const char* path, ProgressIndicator* progress,
                        const std::atomic<bool>* cancel, const AudioLoadLimits& limits = {});

// The same on a file's bytes in memory (for the fuzzer). Never reads outside
// data[0 .. size).
AudioLoad loadAudioBytes(const unsigned char* data, std::size_t size, ProgressIndicator* progress,
                         const std::atomic<bool>* cancel, const AudioLoadLimits& limits = {});

}  // namespace selvik
