#pragma once

// Songs with hand-placed notes on the first track.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "midi/Song.h"

namespace selvik::testing_support {

struct PlacedNote {
    std::uint8_t number;
    std::uint32_t startTick;
    std::uint32_t endTick;
};

// A song at `tempo` and `division` holding the notes on track 0, their
// events sorted by time (ends before starts at the same tick).
inline void fillSong(Song& song, const std::vector<PlacedNote>& notes, double tempo = 120.0,
                     std::uint16_t division = 384) {
    reset(&song);
    song.tempo = tempo;
    song.division = division;
    std::vector<MidiEvent> events;
    for (const PlacedNote& note : notes) {
        events.push_back({note.startTick, 0x90, note.number, 100});
        events.push_back({note.endTick, 0x90, note.number, 0});
    }
    std::stable_sort(events.begin(), events.end(), [](const MidiEvent& a, const MidiEvent& b) {
        return a.time != b.time ? a.time < b.time : a.data2 < b.data2;
    });
    SongTrack& track = song.tracks[0];
    track.events = std::make_unique<MidiEvent[]>(events.size());
    std::copy(events.begin(), events.end(), track.events.get());
    track.eventCount = static_cast<std::uint32_t>(events.size());
    countEvents(song);
    computeEndTime(song);
}

}  // namespace selvik::testing_support
