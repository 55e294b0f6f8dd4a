#include "midi/Song.h"

#include <new>

namespace selvik {

void reset(Song* song) {
    if (song == nullptr) {
        return;
    }
    song->tempo = 100.0;
    song->tempoChanges.clear();
    song->timeSignature.reset();
    song->division = 120;
    song->sequenceName.reset();
    song->notice.reset();
    song->text.reset();
    for (SongTrack& track : song->tracks) {
        track.name.reset();
        track.program = 0;
        track.volume = 100;
        track.pan = 64;
        track.reserved = 0;
        track.eventCount = 0;
        track.readCursor = 0;
        track.events.reset();
    }
    // totalEvents and endTime are derived values, recomputed after a conversion.
}

void clear(Song& song) {
    // The members own their storage, so resetting them is the release.
    reset(&song);
}

void countEvents(Song& song) {
    std::uint32_t total = 0;
    for (const SongTrack& track : song.tracks) {
        total += track.eventCount;
    }
    song.totalEvents = total;
}

std::uint16_t channelsUsed(const Song& song) {
    std::uint16_t used = 0;
    for (const SongTrack& track : song.tracks) {
        if (!track.events) continue;
        for (std::uint32_t i = 0; i < track.eventCount; ++i) {
            const std::uint8_t status = track.events[i].status;
            if (status >= 0x80 && status < 0xF0) used = static_cast<std::uint16_t>(used | (1u << (status & 0x0F)));
        }
    }
    return used;
}

void computeEndTime(Song& song) {
    std::uint32_t end = 0;
    for (const SongTrack& track : song.tracks) {
        if (track.eventCount == 0 || !track.events) {
            continue;
        }
        for (std::uint32_t i = 0; i < track.eventCount; ++i) {
            if (track.events[i].time > end) {
                end = track.events[i].time;
            }
        }
    }
    song.endTime = end;
}

bool sortTracks(Song& song) {
    bool ok = true;
    for (SongTrack& track : song.tracks) {
        if (track.eventCount != 0 && track.events) {
            ok = sortEvents(track.events.get(), track.eventCount) && ok;
        }
    }
    return ok;
}

namespace {

void radixPass(const MidiEvent* source, MidiEvent* destination, std::uint32_t count, int shift) {
    std::uint32_t position[256] = {};
    for (std::uint32_t i = 0; i < count; ++i) {
        ++position[(source[i].time >> shift) & 0xFFu];
    }
    // Counts become starting positions (exclusive prefix sum).
    std::uint32_t start = 0;
    for (std::uint32_t& slot : position) {
        const std::uint32_t occurrences = slot;
        slot = start;
        start += occurrences;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        destination[position[(source[i].time >> shift) & 0xFFu]++] = source[i];
    }
}

}  // namespace

bool sortEvents(MidiEvent* events, std::uint32_t count) {
    if (count < 2 || events == nullptr) {
        return true;
    }
    MidiEvent* temporary = new (std::nothrow) MidiEvent[count];
    if (temporary == nullptr) {
        return false;
    }
    // An even number of passes brings the result back into the caller's array.
    radixPass(events, temporary, count, 0);
    radixPass(temporary, events, count, 8);
    radixPass(events, temporary, count, 16);
    radixPass(temporary, events, count, 24);
    delete[] temporary;
    return true;
}

}  // namespace selvik
