#include "midi/PlaybackEngine.h"

#include <algorithm>
#include <new>

#include "core/MessageService.h"
#include "midi/MidiDeviceList.h"

namespace selvik {

namespace {

constexpr std::uint32_t kRecordBytes = sizeof(StreamRecord);

std::uint32_t packEvent(const MidiEvent& event) {
    return static_cast<std::uint32_t>(event.status) |
           (static_cast<std::uint32_t>(event.data1) << 8) |
           (static_cast<std::uint32_t>(event.data2) << 16);
}

}  // namespace

std::uint32_t tempoProperty(double beatsPerMinute) {
    // Microseconds per quarter note, truncated; kept within what a stream
    // accepts (24 bits) so that no tempo can divide by zero or overflow.
    if (!(beatsPerMinute > 0.0)) return 500000;
    const double value = 60000000.0 / beatsPerMinute;
    if (value < 1.0) return 1;
    if (value > 16777215.0) return 16777215;
    return static_cast<std::uint32_t>(value);
}

PlaybackEngine::PlaybackEngine(StreamClock& clock) : clock_(clock) {}

PlaybackEngine::~PlaybackEngine() {
    if (currentStream()) {
        stopPlayback();
        closeStream();
    }
    std::shared_ptr<MidiStream> retired;
    {
        std::lock_guard guard(streamLock_);
        retired = std::move(retired_);
    }
    if (retired) retired->close();
}

std::shared_ptr<MidiStream> PlaybackEngine::currentStream() const {
    std::lock_guard guard(streamLock_);
    return stream_;
}

bool PlaybackEngine::streamOpen() const { return currentStream() != nullptr; }

std::uint32_t PlaybackEngine::windowLength(const Song& song) const {
    // A division of 0 would never move the window on.
    return std::max<std::uint32_t>(song.division, 1) * static_cast<std::uint32_t>(kWindowBeats);
}

MidiResult PlaybackEngine::openStream() {
    const std::int32_t selected = selectedMidiDevice();
    std::unique_ptr<MidiOutputPort> port;
    if (selected >= 0 && selected < midiDeviceCount()) {
        port = openMidiDevice(midiDevices()[static_cast<std::size_t>(selected)].deviceId);
    }
    if (!port) {
        showMessage("Can't open MIDI output device!");
        return MidiResult::DeviceError;
    }
    // A stream that was closed from its own thread is finished here.
    std::shared_ptr<MidiStream> retired;
    {
        std::lock_guard guard(streamLock_);
        retired = std::move(retired_);
    }
    if (retired) retired->close();

    auto stream = std::make_shared<MidiStream>(
        std::move(port),
        [this](MidiStream& s, StreamBuffer& buffer) { onBufferDone(s, buffer); }, clock_);
    std::lock_guard guard(streamLock_);
    stream_ = std::move(stream);
    return MidiResult::Success;
}

MidiResult PlaybackEngine::closeStream() {
    std::shared_ptr<MidiStream> stream;
    {
        std::lock_guard guard(streamLock_);
        stream = std::move(stream_);
    }
    if (!stream) return MidiResult::Success;
    if (stream->close() == StreamResult::WrongThread) {
        // Closed from a completion: the thread cannot join itself, so the
        // stream is stopped now and joined by the next open or the destructor.
        stream->stop();
        std::lock_guard guard(streamLock_);
        retired_ = std::move(stream);
    }
    return MidiResult::Success;
}

MidiResult PlaybackEngine::startPlayback(Song* song, EndCallback onEnd) {
    playingSong_ = nullptr;
    if (!song) return MidiResult::NoSong;
    if (currentStream()) {
        // A stream still open from an earlier playback is finished first,
        // so that no buffer of it can reach the new song.
        stopPlayback();
        closeStream();
    }
    if (openStream() != MidiResult::Success) return MidiResult::DeviceError;

    mergeBuffer_.reset(new (std::nothrow) MidiEvent[kMergeCapacity]);
    if (!mergeBuffer_) {
        mergeCapacity_ = 0;
        mergeCount_ = 0;
        return MidiResult::OutOfMemory;
    }
    mergeCapacity_ = kMergeCapacity;
    mergeCount_ = 0;
    lastEventTime_ = 0;
    tempoCursor_ = 0;
    windowEnd_ = windowLength(*song);
    for (SongTrack& track : song->tracks) track.readCursor = 0;

    const std::shared_ptr<MidiStream> stream = currentStream();
    stream->setTimeDivision(song->division);
    stream->setTempo(tempoProperty(song->tempo));

    endCallback_ = std::move(onEnd);
    stopping_ = false;
    endDelivered_ = false;
    playbackNumber_.fetch_add(1);
    playingSong_ = song;
    return MidiResult::Success;
}

MidiResult PlaybackEngine::beginPlayback() {
    Song* song = playingSong_.load();
    const std::shared_ptr<MidiStream> stream = currentStream();
    if (!song || !stream) return MidiResult::DeviceError;
    if (queueNextWindow(song) != MidiResult::LastBufferQueued) queueNextWindow(song);
    return stream->restart() == StreamResult::Ok ? MidiResult::Success : MidiResult::DeviceError;
}

MidiResult PlaybackEngine::stopPlayback() {
    const std::shared_ptr<MidiStream> stream = currentStream();
    if (!stream) return MidiResult::DeviceError;
    // Set before the stop, so that no completion queues another buffer and
    // no returned buffer counts as the end of the song.
    stopping_ = true;
    if (stream->stop() != StreamResult::Ok) {
        stopping_ = false;
        return MidiResult::DeviceError;
    }
    closeStream();
    playingSong_ = nullptr;
    return MidiResult::Success;
}

MidiResult PlaybackEngine::sendNow(ShortMessage message) {
    const std::shared_ptr<MidiStream> stream = currentStream();
    if (!stream || stream->sendNow(message) != StreamResult::Ok) return MidiResult::DeviceError;
    return MidiResult::Success;
}

bool PlaybackEngine::isCurrentPlayback(std::uint64_t playback) const {
    return playback == playbackNumber_.load() && playingSong_.load() != nullptr &&
           !stopping_.load();
}

bool PlaybackEngine::isPlaying() const {
    return playingSong_.load() != nullptr && !stopping_.load();
}

std::uint32_t PlaybackEngine::songPosition() const {
    const std::shared_ptr<MidiStream> stream = currentStream();
    if (!stream || !playingSong_.load()) return 0;
    return stream->position();
}

MidiResult PlaybackEngine::gatherWindow(Song& song, std::uint32_t windowEnd) {
    mergeCount_ = 0;
    for (SongTrack& track : song.tracks) {
        while (track.readCursor < track.eventCount &&
               track.events[track.readCursor].time < windowEnd) {
            if (mergeCount_ >= mergeCapacity_) return MidiResult::MergeBufferFull;
            mergeBuffer_[mergeCount_++] = track.events[track.readCursor++];
        }
    }
    if (mergeCount_ == 0) return MidiResult::NoEventsInWindow;
    // Stable: equal times keep track order, and array order within a track.
    if (!sortEvents(mergeBuffer_.get(), mergeCount_)) return MidiResult::OutOfMemory;
    return MidiResult::Success;
}

MidiResult PlaybackEngine::queueNextWindow(Song* song) {
    // Never reads a Song that is not attached.
    if (!song || song != playingSong_.load()) return MidiResult::NoSong;
    MidiResult result = queueEventBuffer(*song);
    if (result == MidiResult::NoEventsInWindow) result = queueFillerBuffer(*song);
    return result;
}

MidiResult PlaybackEngine::submit(Slot& slot, std::uint32_t records, bool last) {
    slot.header.records = slot.block.get();
    slot.header.bufferLength = kRecordBytes * records;
    slot.header.bytesRecorded = kRecordBytes * records;
    slot.header.user = static_cast<std::uint32_t>(nextSlot_) | (last ? kLastBufferMark : 0);
    slot.header.flags = 0;
    const std::shared_ptr<MidiStream> stream = currentStream();
    if (!stream || stream->prepare(slot.header) != StreamResult::Ok ||
        stream->queue(slot.header) != StreamResult::Ok) {
        if (stream) stream->unprepare(slot.header);
        slot.block.reset();
        return MidiResult::DeviceError;
    }
    nextSlot_ = (nextSlot_ + 1) % kSlotCount;
    return last ? MidiResult::LastBufferQueued : MidiResult::Success;
}

MidiResult PlaybackEngine::queueEventBuffer(Song& song) {
    Slot& slot = slots_[static_cast<std::size_t>(nextSlot_)];
    if (slot.header.flags.load() & StreamBuffer::kInQueue) return MidiResult::DeviceError;
    const MidiResult gathered = gatherWindow(song, windowEnd_);
    if (gathered == MidiResult::OutOfMemory) return MidiResult::OutOfMemory;
    if (gathered == MidiResult::MergeBufferFull) {
        // A full merge buffer holds the tracks' events unsorted; sorted here,
        // so that no delta runs backwards.
        if (!sortEvents(mergeBuffer_.get(), mergeCount_)) return MidiResult::OutOfMemory;
    }
    // The tempo changes of the window; with a full merge buffer only those
    // up to its last event, the others come with the events after them.
    const std::uint32_t tempoLimit = gathered == MidiResult::MergeBufferFull && mergeCount_ > 0
                                         ? mergeBuffer_[mergeCount_ - 1].time + 1
                                         : windowEnd_;
    std::size_t tempoEnd = tempoCursor_;
    while (tempoEnd < song.tempoChanges.size() && song.tempoChanges[tempoEnd].tick < tempoLimit) ++tempoEnd;
    const auto tempoCount = static_cast<std::uint32_t>(tempoEnd - tempoCursor_);
    if (gathered == MidiResult::NoEventsInWindow && tempoCount == 0) {
        windowEnd_ += windowLength(song);
        return MidiResult::NoEventsInWindow;
    }

    const std::uint32_t records = mergeCount_ + tempoCount;
    slot.block.reset(new (std::nothrow) StreamRecord[records]);
    if (!slot.block) return MidiResult::OutOfMemory;
    const std::uint32_t lastBefore = lastEventTime_;
    std::uint32_t event = 0;
    std::size_t change = tempoCursor_;
    for (std::uint32_t i = 0; i < records; ++i) {
        // A tempo change goes before the events of its tick.
        const bool tempo = change < tempoEnd &&
                           (event == mergeCount_ || song.tempoChanges[change].tick <= mergeBuffer_[event].time);
        const std::uint32_t at = tempo ? song.tempoChanges[change].tick : mergeBuffer_[event].time;
        // Events left over from a full window may lie before events already
        // streamed; they play at once instead of wrapping the delta around.
        const std::uint32_t time = std::max(at, lastEventTime_);
        const std::uint32_t packed = tempo ? (kRecordTempo << 24) | tempoProperty(song.tempoChanges[change++].tempo)
                                           : packEvent(mergeBuffer_[event++]);
        slot.block[i] = StreamRecord{time - lastEventTime_, 0, packed};
        lastEventTime_ = time;
    }
    // The window reaching past the song's end is the last. Its end must lie
    // beyond endTime, so that the final note endings, at endTime, still play;
    // and a window cut short by a full merge buffer is never the last.
    const bool last = windowEnd_ > song.endTime && gathered != MidiResult::MergeBufferFull &&
                      tempoEnd == song.tempoChanges.size();
    const MidiResult result = submit(slot, records, last);
    if (result == MidiResult::DeviceError) {
        lastEventTime_ = lastBefore;
        return result;
    }
    tempoCursor_ = tempoEnd;
    windowEnd_ += windowLength(song);
    return result;
}

MidiResult PlaybackEngine::queueFillerBuffer(Song& song) {
    Slot& slot = slots_[static_cast<std::size_t>(nextSlot_)];
    if (slot.header.flags.load() & StreamBuffer::kInQueue) return MidiResult::DeviceError;
    slot.block.reset(new (std::nothrow) StreamRecord[1]);
    if (!slot.block) return MidiResult::OutOfMemory;
    // The filler sits at the end of the empty window: every event still to
    // come lies at or after it, so the deltas keep each event at its time.
    const std::uint32_t emptyWindowEnd = windowEnd_ - windowLength(song);
    const std::uint32_t lastBefore = lastEventTime_;
    const std::uint32_t at = std::max(emptyWindowEnd, lastEventTime_);
    slot.block[0] = StreamRecord{at - lastEventTime_, 0, kFillerEvent};
    lastEventTime_ = at;
    // windowEnd_ has already moved past the empty window; only that window's
    // own end tells whether the song is over, or the next window's events
    // would never be gathered.
    const bool last = emptyWindowEnd > song.endTime;
    const MidiResult result = submit(slot, 1, last);
    if (result == MidiResult::DeviceError) {
        lastEventTime_ = lastBefore;
        return result;
    }
    windowEnd_ += windowLength(song);
    return result;
}

void PlaybackEngine::onBufferDone(MidiStream& stream, StreamBuffer& buffer) {
    const std::uint32_t user = buffer.user;
    stream.unprepare(buffer);
    const std::uint32_t slot = user & 0x7FFF;
    if (slot < static_cast<std::uint32_t>(kSlotCount)) slots_[slot].block.reset();
    if (user & kLastBufferMark) {
        // Two buffers may carry the mark (the one queued after the last
        // window); the end is reported once, and never for a stopped playback.
        if (!stopping_.load() && !endDelivered_.exchange(true) && endCallback_) {
            endCallback_(windowEnd_, playbackNumber_.load());
        }
        return;
    }
    if (stopping_.load()) return;
    if (Song* song = playingSong_.load()) queueNextWindow(song);
}

}  // namespace selvik
