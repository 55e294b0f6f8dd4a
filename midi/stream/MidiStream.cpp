#include "midi/stream/MidiStream.h"

#include <algorithm>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace selvik {

StreamClock& steadyStreamClock() {
    static SteadyStreamClock clock;
    return clock;
}

namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr ShortMessage kAllNotesOff = 0xB0 | (123 << 8);

}  // namespace

MidiStream::MidiStream(std::unique_ptr<MidiOutputPort> port, CompletionHandler onDone,
                       StreamClock& clock)
    : port_(std::move(port)), onDone_(std::move(onDone)), clock_(clock) {
    clock_.attach();
    std::lock_guard guard(lock_);
    thread_ = std::thread([this] { run(); });
    threadId_ = thread_.get_id();
}

MidiStream::~MidiStream() {
    // The owner never lets the last reference go on the stream's own thread;
    // if it did, the thread is left to end by itself rather than abort.
    if (!closed_ && close() == StreamResult::WrongThread) thread_.detach();
}

void MidiStream::setTimeDivision(std::uint32_t ticksPerQuarter) {
    std::lock_guard guard(lock_);
    // Keep the tick now sounding where it is; only later ticks move.
    anchorTick_ = tickAt(clock_.now());
    anchorTime_ = clock_.now();
    division_ = std::max<std::uint32_t>(ticksPerQuarter, 1);
}

void MidiStream::setTempo(std::uint32_t microsecondsPerQuarter) {
    std::lock_guard guard(lock_);
    anchorTick_ = tickAt(clock_.now());
    anchorTime_ = clock_.now();
    tempo_ = std::max<std::uint32_t>(microsecondsPerQuarter, 1);
}

std::uint32_t MidiStream::timeDivision() const {
    std::lock_guard guard(lock_);
    return division_;
}

std::uint32_t MidiStream::tempo() const {
    std::lock_guard guard(lock_);
    return tempo_;
}

StreamClock::Nanos MidiStream::deadlineOf(std::uint64_t tick) const {
    if (tick <= anchorTick_) return anchorTime_;
    const Wide ns = static_cast<Wide>(tick - anchorTick_) * tempo_ * 1000u / division_;
    const auto limit = static_cast<Wide>(StreamClock::kForever.count() - anchorTime_.count());
    if (ns >= limit) return StreamClock::kForever;
    return anchorTime_ + StreamClock::Nanos(static_cast<std::int64_t>(ns));
}

std::uint64_t MidiStream::tickAt(StreamClock::Nanos time) const {
    if (paused_ || time <= anchorTime_) return currentTick_;
    const Wide elapsed = static_cast<Wide>((time - anchorTime_).count());
    const Wide ticks = elapsed * division_ / (static_cast<Wide>(tempo_) * 1000u);
    std::uint64_t tick = anchorTick_ + static_cast<std::uint64_t>(ticks);
    // Deadlines are truncated to whole nanoseconds, so the tick whose deadline
    // has just been reached may come out one short here.
    if (deadlineOf(tick + 1) <= time) ++tick;
    return tick;
}

std::uint32_t MidiStream::position() const {
    std::lock_guard guard(lock_);
    std::uint64_t tick = tickAt(clock_.now());
    tick = std::min(tick, queuedTick_);
    tick = std::max(tick, currentTick_);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(tick, UINT32_MAX));
}

StreamResult MidiStream::prepare(StreamBuffer& buffer) {
    if (!buffer.records || buffer.bytesRecorded > buffer.bufferLength) {
        return StreamResult::InvalidBuffer;
    }
    buffer.flags.fetch_or(StreamBuffer::kPrepared);
    return StreamResult::Ok;
}

StreamResult MidiStream::unprepare(StreamBuffer& buffer) {
    if (buffer.flags.load() & StreamBuffer::kInQueue) return StreamResult::InvalidBuffer;
    buffer.flags.fetch_and(~StreamBuffer::kPrepared);
    return StreamResult::Ok;
}

StreamResult MidiStream::queue(StreamBuffer& buffer) {
    std::lock_guard guard(lock_);
    if (closed_ || closing_) return StreamResult::Closed;
    if (stopped_) return StreamResult::Stopped;
    const std::uint32_t flags = buffer.flags.load();
    const std::size_t count = buffer.bytesRecorded / sizeof(StreamRecord);
    if (!(flags & StreamBuffer::kPrepared) || (flags & StreamBuffer::kInQueue) || count == 0 ||
        !buffer.records) {
        return StreamResult::InvalidBuffer;
    }
    buffer.flags.store((flags | StreamBuffer::kInQueue) & ~StreamBuffer::kDone);
    for (std::size_t i = 0; i < count; ++i) queuedTick_ += buffer.records[i].delta;
    queue_.push_back(&buffer);
    clock_.poke();
    wake_.notify_all();
    return StreamResult::Ok;
}

StreamResult MidiStream::restart() {
    std::lock_guard guard(lock_);
    if (closed_ || closing_) return StreamResult::Closed;
    if (paused_) {
        anchorTick_ = currentTick_;
        anchorTime_ = clock_.now();
        paused_ = false;
    }
    stopped_ = false;
    clock_.poke();
    wake_.notify_all();
    return StreamResult::Ok;
}

StreamResult MidiStream::stop() {
    std::unique_lock lk(lock_);
    if (closed_) return StreamResult::Closed;
    paused_ = true;
    stopped_ = true;
    for (StreamBuffer* buffer : queue_) returned_.push_back(buffer);
    queue_.clear();
    nextRecord_ = 0;
    queuedTick_ = currentTick_;
    silenceLocked();
    if (onStreamThread()) {
        // Called from a completion: the returned buffers are handed back
        // here, since this thread cannot wait for itself.
        while (!returned_.empty()) {
            StreamBuffer* buffer = returned_.front();
            returned_.pop_front();
            deliver(lk, buffer);
        }
        return StreamResult::Ok;
    }
    clock_.poke();
    wake_.notify_all();
    delivered_.wait(lk, [this] { return returned_.empty() && handlersRunning_ == 0; });
    return StreamResult::Ok;
}

StreamResult MidiStream::close() {
    if (closed_) return StreamResult::Closed;
    if (onStreamThread()) return StreamResult::WrongThread;
    stop();
    {
        std::lock_guard guard(lock_);
        closing_ = true;
        clock_.poke();
        wake_.notify_all();
    }
    thread_.join();
    std::lock_guard guard(lock_);
    port_.reset();
    closed_ = true;
    return StreamResult::Ok;
}

StreamResult MidiStream::sendNow(ShortMessage message) {
    std::lock_guard guard(lock_);
    if (closed_ || closing_) return StreamResult::Closed;
    sendLocked(message);
    return StreamResult::Ok;
}

void MidiStream::sendLocked(ShortMessage message) {
    const std::uint8_t status = statusOf(message);
    if (status >= 0x80 && status < 0xF0) {
        const int channel = status & 0x0F;
        channelsUsed_ |= static_cast<std::uint16_t>(1u << channel);
        const std::uint8_t kind = status & 0xF0;
        const std::uint8_t note = data1Of(message) & 0x7F;
        std::uint16_t& word = sounding_[channel][note >> 4];
        const auto bit = static_cast<std::uint16_t>(1u << (note & 15));
        if (kind == 0x90 && data2Of(message) > 0) {
            word |= bit;
        } else if (kind == 0x80 || kind == 0x90) {
            word &= static_cast<std::uint16_t>(~bit);
        }
    }
    if (port_) port_->sendShortMessage(message & 0xFFFFFF);
}

void MidiStream::silenceLocked() {
    for (int channel = 0; channel < 16; ++channel) {
        for (int word = 0; word < 8; ++word) {
            for (int bit = 0; bit < 16; ++bit) {
                if (sounding_[channel][word] & (1u << bit)) {
                    const auto note = static_cast<std::uint32_t>(word * 16 + bit);
                    sendLocked((0x80u | static_cast<std::uint32_t>(channel)) | (note << 8));
                }
            }
        }
    }
    for (int channel = 0; channel < 16; ++channel) {
        if (channelsUsed_ & (1u << channel)) {
            if (port_) port_->sendShortMessage(kAllNotesOff | static_cast<std::uint32_t>(channel));
        }
    }
    // Silenced once: a second stop (close after stop) sends nothing more.
    channelsUsed_ = 0;
}

void MidiStream::deliver(std::unique_lock<std::mutex>& lock, StreamBuffer* buffer) {
    buffer->flags.store((buffer->flags.load() & ~StreamBuffer::kInQueue) | StreamBuffer::kDone);
    ++handlersRunning_;
    lock.unlock();
    if (onDone_) onDone_(*this, *buffer);
    lock.lock();
    --handlersRunning_;
    delivered_.notify_all();
}

void MidiStream::run() {
#if defined(__linux__)
    // The default timer slack lets a timed wait end up to 50 µs late; this
    // thread only waits for deadlines, so it asks for the least slack.
    prctl(PR_SET_TIMERSLACK, 1UL);
#endif
    std::unique_lock lk(lock_);
    while (true) {
        if (!returned_.empty()) {
            StreamBuffer* buffer = returned_.front();
            returned_.pop_front();
            deliver(lk, buffer);
            continue;
        }
        if (closing_) break;
        if (paused_ || queue_.empty()) {
            clock_.waitUntil(wake_, lk, StreamClock::kForever);
            continue;
        }
        StreamBuffer* buffer = queue_.front();
        const std::size_t count = buffer->bytesRecorded / sizeof(StreamRecord);
        if (nextRecord_ >= count) {
            queue_.pop_front();
            nextRecord_ = 0;
            deliver(lk, buffer);
            continue;
        }
        const StreamRecord& record = buffer->records[nextRecord_];
        const std::uint64_t tick = currentTick_ + record.delta;
        const StreamClock::Nanos deadline = deadlineOf(tick);
        if (clock_.now() < deadline) {
            clock_.waitUntil(wake_, lk, deadline);
            continue;
        }
        currentTick_ = tick;
        ++nextRecord_;
        const std::uint32_t kind = record.event >> 24;
        if (kind == kRecordShortMessage) {
            sendLocked(record.event);
        } else if (kind == kRecordTempo) {
            // Later ticks count from this one's deadline at the new tempo,
            // so that the change adds no drift of its own.
            anchorTick_ = tick;
            anchorTime_ = deadline;
            tempo_ = std::max<std::uint32_t>(record.event & 0xFFFFFFu, 1);
        }
    }
    clock_.detach();
}

}  // namespace selvik
