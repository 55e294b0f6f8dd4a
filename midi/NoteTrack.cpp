#include "midi/NoteTrack.h"

#include <memory>
#include <new>
#include <utility>

namespace selvik {

namespace {

constexpr std::uint8_t kNoteOn = 0x90;

}  // namespace

void clearNoteTrack(SongTrack& track) {
    track.name.reset();
    track.program = 0;
    track.volume = 127;
    track.pan = 64;
    track.reserved = 0;
    track.eventCount = 0;
    track.events.reset();
}

bool buildNoteTrack(SongTrack& track, const NoteSpan* spans, std::int32_t count) {
    clearNoteTrack(track);
    if (count <= 0 || spans == nullptr) {
        return true;
    }
    // count is at most 2^31 - 1, so twice it fits the 32-bit event count.
    const std::uint32_t eventCount = 2u * static_cast<std::uint32_t>(count);
    std::unique_ptr<MidiEvent[]> events(new (std::nothrow) MidiEvent[eventCount]);
    if (!events) {
        return false;
    }
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(count); ++i) {
        const NoteSpan& span = spans[i];
        events[2 * i] = MidiEvent{static_cast<std::uint32_t>(span.startTick), kNoteOn, span.note,
                                  span.velocity};
        // A note ends with a note-on of velocity 0, as the song is streamed.
        events[2 * i + 1] = MidiEvent{static_cast<std::uint32_t>(span.endTick), kNoteOn, span.note, 0};
    }
    if (!sortEvents(events.get(), eventCount)) {
        return false;
    }
    track.events = std::move(events);
    track.eventCount = eventCount;
    return true;
}

}  // namespace selvik
