#pragma once

#include <cstdint>
#include <vector>

#include "midi/Song.h"

namespace selvik {

// Ticks against seconds through a song's tempos: the song's tempo from tick
// 0, then each of its tempo changes from its tick on. Everything that turns
// a song's ticks into time (the notes table, the piano roll, the renderer,
// the playback clock) and the song builder's seconds into ticks goes through
// this one map, so that they agree.
//
// On the first segment the conversions are exactly those of a song with one
// tempo: secondsAt(t) = t / (division * tempo / 60) and tickAt(s) =
// secondsToTicks(s, tempo, division), so a one-tempo song's times are what
// they always were. A tempo that is not a positive finite number, or a
// division of 0, counts as 120 quarter notes per minute and 384 ticks.
class TempoMap {
public:
    struct Segment {
        std::uint32_t tick;  // the segment's first tick
        double seconds;      // the time of that tick
        double tempo;        // quarter notes per minute
    };

    TempoMap(double tempo, const std::vector<TempoChange>& changes, std::uint16_t division);
    static TempoMap of(const Song& song) { return TempoMap(song.tempo, song.tempoChanges, song.division); }

    // Seconds from the start of the song at `tick`.
    double secondsAt(std::uint32_t tick) const;
    // The tick nearest to `seconds`; 0 for times at or before the start.
    std::uint32_t tickAt(double seconds) const;
    // The segment that holds `tick`.
    const Segment& segmentAt(std::uint32_t tick) const;

    const std::vector<Segment>& segments() const { return segments_; }
    std::uint16_t division() const { return division_; }

private:
    std::vector<Segment> segments_;  // at least one, ticks rising
    std::uint16_t division_;
};

}  // namespace selvik
