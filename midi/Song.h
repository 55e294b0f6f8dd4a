#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/TimeSignature.h"
#include "midi/MidiEvent.h"

namespace selvik {

inline constexpr int kSongTrackCount = 16;

struct SongTrack {
    std::optional<std::string> name;  // written as the track name when present
    std::uint8_t program = 0;
    std::uint8_t volume = 100;
    std::uint8_t pan = 64;
    std::uint8_t reserved = 0;
    std::uint32_t eventCount = 0;  // entries in events; 0 means the track is empty
    std::uint32_t readCursor = 0;  // next event to stream; owned by the playback engine
    std::unique_ptr<MidiEvent[]> events;  // sorted by time once sortTracks has run
};

// A new tempo from `tick` on, in quarter notes per minute.
struct TempoChange {
    std::uint32_t tick = 0;
    double tempo = 120.0;

    bool operator==(const TempoChange&) const = default;
};

// The in-memory song: its tempo map, division, three optional texts and 16
// tracks. Owned by its front end; must not be cleared or rebuilt while it is
// streamed.
struct Song {
    double tempo = 100.0;            // quarter notes per minute from tick 0
    std::uint16_t division = 120;    // ticks per quarter note
    // The tempos after the first, at rising ticks above 0; empty when the
    // song keeps `tempo` throughout (midi/TempoMap.h reads the whole map).
    std::vector<TempoChange> tempoChanges;
    // Written at tick 0 when present; a song without one is taken as 4/4.
    std::optional<TimeSignature> timeSignature;
    std::optional<std::string> sequenceName;  // meta event 0x03
    std::optional<std::string> notice;        // meta event 0x02
    std::optional<std::string> text;          // meta event 0x01
    std::array<SongTrack, kSongTrackCount> tracks;
    std::uint32_t totalEvents = 0;  // set by countEvents
    std::uint32_t endTime = 0;      // set by computeEndTime

    Song() = default;
    Song(const Song&) = delete;
    Song& operator=(const Song&) = delete;
};

// Sets the defaults (tempo 100 throughout, no time signature, division 120,
// no texts, every track empty with volume 100 and pan 64); a null Song is
// ignored. totalEvents and endTime are left as they are. The members own
// their storage, so whatever a filled Song held is freed here too; clear() is
// the name callers use for that.
void reset(Song* song);
// Releases the texts, track names and events, then reset().
void clear(Song& song);
void countEvents(Song& song);
// The channels the song's channel messages use, bit n for channel n + 1.
std::uint16_t channelsUsed(const Song& song);
void computeEndTime(Song& song);
// Sorts each non-empty track; false when a sort could not get its working memory
// (the tracks are then left as they were).
[[nodiscard]] bool sortTracks(Song& song);
// Stable least-significant-digit radix sort by time, four 8-bit passes.
// False when the temporary array cannot be allocated (events unchanged).
[[nodiscard]] bool sortEvents(MidiEvent* events, std::uint32_t count);

}  // namespace selvik
