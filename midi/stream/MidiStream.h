#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "midi/stream/MidiOutputPort.h"
#include "midi/stream/StreamClock.h"

namespace selvik {

// One timed record of a stream buffer: 12 bytes.
struct StreamRecord {
    std::uint32_t delta = 0;     // ticks after the previous record of the stream
    std::uint32_t streamId = 0;  // always 0
    std::uint32_t event = 0;     // top byte: kind; low 3 bytes: the short message
};
static_assert(sizeof(StreamRecord) == 12);

inline constexpr std::uint32_t kRecordShortMessage = 0x00;  // event kinds (top byte)
// A new tempo from the record's tick on: the low 3 bytes are microseconds per
// quarter note (0 counts as 1).
inline constexpr std::uint32_t kRecordTempo = 0x01;
inline constexpr std::uint32_t kRecordNoOperation = 0x02;

// A buffer of records handed to the stream. The caller owns it and the records
// it points to; the stream holds it from queue() until the completion.
struct StreamBuffer {
    static constexpr std::uint32_t kDone = 1;
    static constexpr std::uint32_t kPrepared = 2;
    static constexpr std::uint32_t kInQueue = 4;

    StreamRecord* records = nullptr;
    std::uint32_t bufferLength = 0;   // bytes
    std::uint32_t bytesRecorded = 0;  // bytes of records to play
    std::uint32_t user = 0;           // the caller's value, untouched
    std::atomic<std::uint32_t> flags{0};
};

// Results of the stream's operations.
enum class StreamResult : std::int32_t {
    Ok = 0,
    InvalidBuffer = 1,   // null, unprepared, empty or already queued
    Stopped = 2,         // queue() after stop() and before restart()
    Closed = 3,          // the stream has been closed
    WrongThread = 4,     // close() from the stream's own thread
};

// A timed MIDI output with queued buffers and completion notices.
//
// Buffers play in the order queued; each record's delta counts from the
// previous record of the stream, across buffers. Ticks become time through
// the division and tempo, against absolute deadlines on the clock, so that
// waiting never adds up drift; a tempo record changes the tempo from its own
// deadline on. The stream starts paused: restart() plays.
// stop() pauses, returns every queued buffer through the completion handler
// and silences what sounds; queue() is refused until the next restart().
//
// The completion handler runs on the stream's own thread, never with the
// stream's lock held, once per buffer that has played or was returned. It may
// call queue(), and stop(); it must not call close().
class MidiStream {
public:
    using CompletionHandler = std::function<void(MidiStream& stream, StreamBuffer& buffer)>;

    MidiStream(std::unique_ptr<MidiOutputPort> port, CompletionHandler onDone,
               StreamClock& clock = steadyStreamClock());
    // close()s if needed.
    ~MidiStream();
    MidiStream(const MidiStream&) = delete;
    MidiStream& operator=(const MidiStream&) = delete;

    void setTimeDivision(std::uint32_t ticksPerQuarter);
    void setTempo(std::uint32_t microsecondsPerQuarter);
    std::uint32_t timeDivision() const;
    std::uint32_t tempo() const;

    StreamResult prepare(StreamBuffer& buffer);
    StreamResult unprepare(StreamBuffer& buffer);
    StreamResult queue(StreamBuffer& buffer);
    StreamResult restart();
    // Returns once every returned buffer's completion has run and no
    // completion is running any more (unless called from a completion).
    StreamResult stop();
    // stop(), then ends the stream's thread and releases the port.
    StreamResult close();

    // Sends a message at once, outside the timed stream (a program change
    // before playback, for instance).
    StreamResult sendNow(ShortMessage message);

    // The tick now sounding: the stream's tick at the clock's present time,
    // never past the last record queued so far.
    std::uint32_t position() const;

private:
    void run();
    void sendLocked(ShortMessage message);
    void silenceLocked();
    void deliver(std::unique_lock<std::mutex>& lock, StreamBuffer* buffer);
    StreamClock::Nanos deadlineOf(std::uint64_t tick) const;
    std::uint64_t tickAt(StreamClock::Nanos time) const;
    bool onStreamThread() const { return std::this_thread::get_id() == threadId_; }

    std::unique_ptr<MidiOutputPort> port_;
    CompletionHandler onDone_;
    StreamClock& clock_;

    mutable std::mutex lock_;
    std::condition_variable wake_;       // the scheduler waits here
    std::condition_variable delivered_;  // stop() waits here for returned buffers
    std::deque<StreamBuffer*> queue_;
    std::deque<StreamBuffer*> returned_;  // taken back by stop(), completions pending
    std::size_t nextRecord_ = 0;          // in queue_.front()
    std::uint32_t division_ = 96;
    std::uint32_t tempo_ = 500000;
    bool paused_ = true;
    bool stopped_ = false;
    bool closing_ = false;
    bool closed_ = false;
    int handlersRunning_ = 0;

    // Time base: tick anchorTick_ sounds at anchorTime_ (while playing).
    std::uint64_t anchorTick_ = 0;
    StreamClock::Nanos anchorTime_{0};
    std::uint64_t currentTick_ = 0;  // tick of the last record played
    std::uint64_t queuedTick_ = 0;   // tick of the last record queued

    std::uint16_t sounding_[16][8] = {};  // bit per note, per channel: notes on
    std::uint16_t channelsUsed_ = 0;

    std::thread thread_;
    std::thread::id threadId_;
};

}  // namespace selvik
