#pragma once

// Songs, devices and clock arithmetic shared by the stream and engine tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "midi/MidiDeviceList.h"
#include "midi/Song.h"
#include "midi/stream/RecordingPort.h"
#include "support/ManualStreamClock.h"

namespace selvik::testing_support {

struct Note {
    std::uint32_t start;
    std::uint32_t end;
    std::uint8_t number;
};

// A converted-style Song: division 384, 120 BPM, the given notes on track 0 as
// note-on / velocity-0 note-on pairs, sorted, with endTime and totalEvents set.
inline void fillSong(Song& song, const std::vector<Note>& notes, int track = 0) {
    reset(&song);
    song.division = 384;
    song.tempo = 120.0;
    std::vector<MidiEvent> events;
    for (const Note& n : notes) {
        events.push_back({n.start, 0x90, n.number, 100});
        events.push_back({n.end, 0x90, n.number, 0});
    }
    SongTrack& t = song.tracks[static_cast<std::size_t>(track)];
    t.eventCount = static_cast<std::uint32_t>(events.size());
    t.events = std::make_unique<MidiEvent[]>(events.size());
    std::copy(events.begin(), events.end(), t.events.get());
    ASSERT_TRUE(sortTracks(song));
    countEvents(song);
    computeEndTime(song);
}

// Puts raw events on a track (in the given order) and updates the totals.
inline void setTrack(Song& song, int track, const std::vector<MidiEvent>& events) {
    SongTrack& t = song.tracks[static_cast<std::size_t>(track)];
    t.eventCount = static_cast<std::uint32_t>(events.size());
    t.events = std::make_unique<MidiEvent[]>(events.size());
    std::copy(events.begin(), events.end(), t.events.get());
    countEvents(song);
    computeEndTime(song);
}

// The clock time at which a tick sounds when playback started at time 0:
// tick × tempo (µs per quarter) × 1000 / division, truncated, as the stream does.
inline StreamClock::Nanos tickTime(std::uint64_t tick, std::uint64_t tempo = 500000,
                                   std::uint64_t division = 384) {
    return StreamClock::Nanos(static_cast<std::int64_t>(tick * tempo * 1000 / division));
}

inline std::uint32_t noteOn(std::uint8_t note, std::uint8_t velocity, int channel = 0) {
    return (0x90u | static_cast<std::uint32_t>(channel)) | (std::uint32_t{note} << 8) |
           (std::uint32_t{velocity} << 16);
}

// Makes a recording backend the only device, selected, for one test.
class RecordingDevices {
public:
    explicit RecordingDevices(const StreamClock& clock, std::vector<std::string> names = {"Recorder"})
        : backend_(std::make_shared<RecordingBackend>(std::move(names), clock)) {
        previous_ = midiBackends();
        setMidiBackends({backend_});
        enumerateMidiDevices();
        setSelectedMidiDevice(0);
    }
    ~RecordingDevices() {
        freeMidiDevices();
        setMidiBackends(previous_);
        setSelectedMidiDevice(0);
    }
    RecordingBackend& backend() { return *backend_; }
    std::vector<RecordedMessage> messages() const { return backend_->record()->messages(); }

private:
    std::shared_ptr<RecordingBackend> backend_;
    std::vector<std::shared_ptr<MidiDeviceBackend>> previous_;
};

}  // namespace selvik::testing_support
