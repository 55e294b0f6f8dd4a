#include "midi/SongNotes.h"

#include <deque>

namespace selvik {

std::vector<SongNote> songNotes(const Song& song) {
    std::vector<SongNote> notes;
    // Open notes per channel and note number, oldest first.
    std::vector<std::deque<std::size_t>> open(16 * 128);
    for (const SongTrack& track : song.tracks) {
        for (std::uint32_t i = 0; i < track.eventCount; ++i) {
            const MidiEvent& event = track.events[i];
            const std::uint8_t kind = event.status & 0xF0;
            if ((kind != 0x90 && kind != 0x80) || event.data1 > 127) continue;
            auto& waiting = open[static_cast<std::size_t>(event.status & 0x0F) * 128 + event.data1];
            if (kind == 0x90 && event.data2 > 0) {
                waiting.push_back(notes.size());
                notes.push_back({event.data1, event.time, event.time});
            } else if (!waiting.empty()) {
                notes[waiting.front()].endTick = event.time;
                waiting.pop_front();
            }
        }
    }
    return notes;
}

}  // namespace selvik
