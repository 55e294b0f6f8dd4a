#include "plot/RollNotes.h"

#include <algorithm>

#include "midi/SongNotes.h"
#include "midi/TempoMap.h"

namespace selvik {

std::vector<RollNote> rollNotes(const Song& song) {
    std::vector<RollNote> notes;
    const double ticksPerSecond = song.division * song.tempo / 60.0;
    if (!(ticksPerSecond > 0.0)) return notes;
    const TempoMap map = TempoMap::of(song);
    for (const SongNote& note : songNotes(song)) {
        notes.push_back({note.number, map.secondsAt(note.startTick), map.secondsAt(note.endTick)});
    }
    std::stable_sort(notes.begin(), notes.end(),
                     [](const RollNote& a, const RollNote& b) { return a.startSeconds < b.startSeconds; });
    return notes;
}

}  // namespace selvik
