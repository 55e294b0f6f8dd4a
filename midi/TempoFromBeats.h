#pragma once

#include <cstdint>
#include <vector>

#include "core/BeatGrid.h"
#include "midi/Song.h"

namespace selvik {

// The tempos and the time signature a song gets from a recording's beats.
struct SongTempo {
    double tempo = 120.0;              // quarter notes per minute from tick 0
    std::vector<TempoChange> changes;  // the later tempos, ticks rising
    TimeSignature meter;
};

// Lays the beats on a grid of `division` ticks per quarter note, so that
// every counted beat falls on a beat of the grid (a quarter note, or a
// dotted quarter in 6/8) and every downbeat on a bar line:
//   - the time before the first beat is a segment of its own that ends a
//     whole number of bars (the number nearest to it at the main tempo, at
//     least one) before the first downbeat, the beats of an upbeat filling
//     the end of the last of those bars; when the first beat comes under
//     half a tick from the start, the time before the first downbeat is that
//     segment instead, holding the upbeat, and when that too is under half a
//     tick the first downbeat is tick 0;
//   - from there the beats are cut into stretches of one tempo: a new one
//     starts only where the beat period moves away from the stretch's mean by
//     more than 3 %, the same way, for two beats running. Each stretch's
//     tempo is the least-squares line through its beats from where the
//     stretch before it ended (the first stretch's start is fitted too, and
//     the segment before it ends there), a beat more than 15 % of a beat
//     off the line left out of the fit, so that one misplaced beat does not
//     bend the grid; the last tempo runs on past the last beat.
// Without a steady pulse (or with fewer than two beats from the first
// downbeat on) the song keeps 120 quarter notes per minute in 4/4.
SongTempo tempoFromBeats(const BeatGrid& grid, std::uint16_t division);

}  // namespace selvik
