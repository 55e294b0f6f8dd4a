#include "plot/RollNotes.h"

#include <algorithm>

#include "midi/SongNotes.h"

namespace selvik {

std::vector<RollNote> rollNotes(const Song& song) {
    std::vector<RollNote> notes;
    const double ticksPerSecond = song.division * song.tempo / 60.0;
    if (!(ticksPerSecond > 0.0)) return notes;
    for (const SongNote& note : songNotes(song)) {
        notes.push_back({note.number, note.startTick / ticksPerSecond, note.endTick / ticksPerSecond});
    }
    std::stable_sort(notes.begin(), notes.end(),
                     [](const RollNote& a, const RollNote& b) { return a.startSeconds < b.startSeconds; });
    return notes;
}

}  // namespace selvik
