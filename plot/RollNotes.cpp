#include "plot/RollNotes.h"

#include <algorithm>
#include <deque>

namespace selvik {

std::vector<RollNote> rollNotes(const Song& song) {
    std::vector<RollNote> notes;
    const double ticksPerSecond = song.division * song.tempo / 60.0;
    if (!(ticksPerSecond > 0.0)) return notes;
    std::vector<std::deque<std::size_t>> open(128);
    for (const SongTrack& track : song.tracks) {
        for (std::uint32_t i = 0; i < track.eventCount; ++i) {
            const MidiEvent& event = track.events[i];
            if ((event.status & 0xF0) != 0x90 || event.data1 > 127) continue;
            auto& waiting = open[event.data1];
            const double at = event.time / ticksPerSecond;
            if (event.data2 > 0) {
                waiting.push_back(notes.size());
                notes.push_back({event.data1, at, at});
            } else if (!waiting.empty()) {
                notes[waiting.front()].endSeconds = at;
                waiting.pop_front();
            }
        }
    }
    std::stable_sort(notes.begin(), notes.end(),
                     [](const RollNote& a, const RollNote& b) { return a.startSeconds < b.startSeconds; });
    return notes;
}

}  // namespace selvik
