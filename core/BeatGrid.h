#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/TimeSignature.h"

namespace selvik {

// The pulse found in a recording: its beats, which of them fall on bar lines,
// and the meter. Plain data, made by the beat tracker and read by the song
// builder, the window and the benchmarks.
struct BeatGrid {
    // False when the recording has no steady pulse (silence, a drone, free
    // time, too few onsets): `beats` is then empty and the song keeps 120
    // quarter notes per minute in 4/4.
    bool steady = false;
    // The counted beats, seconds from the start of the recording, rising.
    std::vector<double> beats;
    // Index in `beats` of the first downbeat; every meter.beatsPerBar()-th
    // beat from it is a downbeat too.
    std::size_t firstDownbeat = 0;
    TimeSignature meter;
    // The main tempo in counted beats per minute (the median beat period),
    // 120 without a steady pulse.
    double beatsPerMinute = 120.0;

    // The main tempo in quarter notes per minute, as a MIDI file counts it.
    double quarterTempo() const { return beatsPerMinute * meter.quartersPerBeat(); }
};

}  // namespace selvik
