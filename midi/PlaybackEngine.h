#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "midi/MidiResult.h"
#include "midi/Song.h"
#include "midi/stream/MidiStream.h"

namespace selvik {

// The stream's tempo for a song tempo in quarter notes per minute:
// microseconds per quarter note, truncated (500000 at 120).
std::uint32_t tempoProperty(double beatsPerMinute);

// Plays a Song on the selected device of the MIDI device list through a
// MidiStream, one quarter note at a time: each window's events of all tracks
// and the song's tempo changes in it are merged into a buffer of timed
// records (a tempo change before the events of its tick), two buffers are in
// flight, and each finished buffer queues the next window from the stream's
// thread.
//
// Calling order: startPlayback, then beginPlayback, on Play; stopPlayback,
// then closeStream, on Stop. The end of the song is reported once per
// playback, through the end callback, on the stream's thread, together with
// the playback's number: the caller hands it to its own thread (the desktop
// program posts it to its window) and, there, checks isCurrentPlayback()
// before it stops, since a Stop and a new Play may have come in between.
class PlaybackEngine {
public:
    using EndCallback = std::function<void(std::uint32_t endTick, std::uint64_t playback)>;

    static constexpr std::uint32_t kMergeCapacity = 1000;
    static constexpr int kSlotCount = 8;
    static constexpr std::int32_t kWindowBeats = 1;
    static constexpr std::uint32_t kLastBufferMark = 0x8000;
    static constexpr std::uint32_t kFillerEvent = kRecordNoOperation << 24;

    // Streams are scheduled against `clock`.
    explicit PlaybackEngine(StreamClock& clock = steadyStreamClock());
    // Stops and closes whatever still plays.
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // Opens a stream on the selected entry of the device list. On failure
    // shows "Can't open MIDI output device!" and returns DeviceError.
    MidiResult openStream();
    MidiResult closeStream();

    // Success, OutOfMemory (stream left open) or DeviceError; queues nothing.
    MidiResult startPlayback(Song* song, EndCallback onEnd);
    // Queues the first two windows and starts the stream: Success or DeviceError.
    MidiResult beginPlayback();
    // Stops the stream (returning its buffers, silencing what sounds), closes
    // it and detaches the Song: Success, or DeviceError when there is no
    // stream to stop.
    MidiResult stopPlayback();

    MidiResult queueNextWindow(Song* song);
    MidiResult gatherWindow(Song& song, std::uint32_t windowEnd);

    // Sends a message at once on the open stream (a program change before
    // beginPlayback, for instance). DeviceError when no stream is open.
    MidiResult sendNow(ShortMessage message);

    // The number of the latest startPlayback that attached a Song.
    std::uint64_t playbackNumber() const { return playbackNumber_.load(); }
    // True while that playback is attached and has not been stopped.
    bool isCurrentPlayback(std::uint64_t playback) const;
    bool isPlaying() const;
    // The tick now sounding, for a playhead; 0 when nothing plays.
    std::uint32_t songPosition() const;

    // State, for tests and diagnostics.
    bool streamOpen() const;
    int nextSlot() const { return nextSlot_; }
    std::uint32_t windowEnd() const { return windowEnd_; }
    std::uint32_t lastEventTime() const { return lastEventTime_; }
    std::uint32_t mergeCount() const { return mergeCount_; }
    const MidiEvent* mergeEvents() const { return mergeBuffer_.get(); }
    const StreamBuffer& slotHeader(int slot) const { return slots_[static_cast<std::size_t>(slot)].header; }

private:
    struct Slot {
        StreamBuffer header;
        std::unique_ptr<StreamRecord[]> block;
    };

    MidiResult queueEventBuffer(Song& song);
    MidiResult queueFillerBuffer(Song& song);
    MidiResult submit(Slot& slot, std::uint32_t records, bool last);
    void onBufferDone(MidiStream& stream, StreamBuffer& buffer);
    std::shared_ptr<MidiStream> currentStream() const;
    std::uint32_t windowLength(const Song& song) const;

    StreamClock& clock_;

    // The stream pointer is swapped on the user-interface thread and read
    // there and by closeStream from the stream's own thread; the lock only
    // guards the pointer, never a call into the stream.
    mutable std::mutex streamLock_;
    std::shared_ptr<MidiStream> stream_;
    std::shared_ptr<MidiStream> retired_;  // closed from its own thread; joined later

    // Written by the user-interface thread only while no buffer is in flight,
    // and by the stream's thread during playback.
    std::unique_ptr<MidiEvent[]> mergeBuffer_;
    std::uint32_t mergeCapacity_ = 0;
    std::uint32_t mergeCount_ = 0;
    std::array<Slot, kSlotCount> slots_{};
    int nextSlot_ = 0;
    std::uint32_t windowEnd_ = 0;
    std::uint32_t lastEventTime_ = 0;
    std::size_t tempoCursor_ = 0;  // next of the song's tempo changes to stream
    std::atomic<Song*> playingSong_{nullptr};
    EndCallback endCallback_;

    std::atomic<std::uint64_t> playbackNumber_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> endDelivered_{false};
};

}  // namespace selvik
