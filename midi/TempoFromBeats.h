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
// every counted beat from the first downbeat on falls on a beat of the grid
// (a quarter note, or a dotted quarter in 6/8) and every downbeat on a bar
// line:
//   - the time before the first downbeat is a segment of its own, a whole
//     number of bars long (the number nearest to that time at the main
//     tempo, at least one), so that the first downbeat opens a bar; when
//     that time is under half a tick, the first downbeat is tick 0;
//   - from there the beats are cut into stretches of one tempo: a new one
//     starts only where the beat period moves away from the stretch's mean by
//     more than 3 %, the same way, for two beats running. Each stretch's
//     tempo takes its last beat exactly to its time, so times do not drift;
//     the last tempo runs on past the last beat.
// Without a steady pulse (or with fewer than two beats from the first
// downbeat on) the song keeps 120 quarter notes per minute in 4/4.
SongTempo tempoFromBeats(const BeatGrid& grid, std::uint16_t division);

}  // namespace selvik
