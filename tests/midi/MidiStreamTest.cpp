// The timed MIDI stream on a recording port and a clock the test advances.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "PlaybackTestSupport.h"
#include "midi/stream/MidiStream.h"

namespace selvik {
namespace {

using testing_support::ManualStreamClock;
using testing_support::noteOn;
using testing_support::tickTime;

class MidiStreamTest : public testing::Test {
protected:
    MidiStreamTest() {
        stream_ = std::make_unique<MidiStream>(
            std::make_unique<RecordingPort>(record_, clock_),
            [this](MidiStream&, StreamBuffer& buffer) {
                completionThreads_.push_back(std::this_thread::get_id());
                completed_.push_back(&buffer);
                flagsAtCompletion_.push_back(buffer.flags.load());
            },
            clock_);
        stream_->setTimeDivision(384);
        stream_->setTempo(500000);
    }
    ~MidiStreamTest() override { stream_.reset(); }

    // A prepared buffer over `records`.
    StreamBuffer& buffer(std::vector<StreamRecord> records) {
        blocks_.push_back(std::make_unique<std::vector<StreamRecord>>(std::move(records)));
        buffers_.push_back(std::make_unique<StreamBuffer>());
        StreamBuffer& b = *buffers_.back();
        b.records = blocks_.back()->data();
        b.bufferLength = b.bytesRecorded =
            static_cast<std::uint32_t>(blocks_.back()->size() * sizeof(StreamRecord));
        EXPECT_EQ(stream_->prepare(b), StreamResult::Ok);
        return b;
    }

    std::vector<ShortMessage> sent() const {
        std::vector<ShortMessage> messages;
        for (const auto& m : record_->messages()) messages.push_back(m.message);
        return messages;
    }

    ManualStreamClock clock_;
    std::shared_ptr<MessageRecord> record_ = std::make_shared<MessageRecord>();
    std::unique_ptr<MidiStream> stream_;
    std::vector<std::unique_ptr<std::vector<StreamRecord>>> blocks_;
    std::vector<std::unique_ptr<StreamBuffer>> buffers_;
    // Written on the stream's thread; read after the clock has settled.
    std::vector<std::thread::id> completionThreads_;
    std::vector<StreamBuffer*> completed_;
    std::vector<std::uint32_t> flagsAtCompletion_;
};

TEST_F(MidiStreamTest, StartsPausedAndPlaysOnlyAfterRestart) {
    StreamBuffer& b = buffer({{0, 0, noteOn(60, 100)}});
    ASSERT_EQ(stream_->queue(b), StreamResult::Ok);
    EXPECT_TRUE(b.flags.load() & StreamBuffer::kInQueue);
    ASSERT_TRUE(clock_.advance(std::chrono::seconds(5)));
    EXPECT_TRUE(sent().empty());
    ASSERT_EQ(stream_->restart(), StreamResult::Ok);
    ASSERT_TRUE(clock_.settle());
    EXPECT_EQ(sent(), std::vector<ShortMessage>{noteOn(60, 100)});
}

TEST_F(MidiStreamTest, DeltasCountFromThePreviousRecordAcrossBuffers) {
    StreamBuffer& first = buffer({{0, 0, noteOn(60, 100)}, {384, 0, noteOn(60, 0)}});
    // The second buffer's first delta counts from tick 384, the end of the first.
    StreamBuffer& second = buffer({{192, 0, noteOn(62, 100)}, {0, 0, noteOn(64, 100)}});
    ASSERT_EQ(stream_->queue(first), StreamResult::Ok);
    ASSERT_EQ(stream_->queue(second), StreamResult::Ok);
    ASSERT_EQ(stream_->restart(), StreamResult::Ok);

    ASSERT_TRUE(clock_.advanceTo(tickTime(384) - std::chrono::nanoseconds(1)));
    EXPECT_EQ(sent().size(), 1u);
    ASSERT_TRUE(clock_.advanceTo(tickTime(384)));
    EXPECT_EQ(sent().size(), 2u);
    ASSERT_EQ(completed_.size(), 1u);
    EXPECT_EQ(completed_[0], &first);
    ASSERT_TRUE(clock_.advanceTo(tickTime(576)));

    const auto messages = record_->messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].time, tickTime(0));
    EXPECT_EQ(messages[1].time, tickTime(384));
    EXPECT_EQ(messages[2].time, tickTime(576));
    EXPECT_EQ(messages[3].time, tickTime(576));
    EXPECT_EQ(messages[3].message, noteOn(64, 100));
    ASSERT_EQ(completed_.size(), 2u);
    EXPECT_EQ(completed_[1], &second);
}

TEST_F(MidiStreamTest, CompletionsRunOnTheStreamsThreadAfterTheInQueueFlagIsCleared) {
    StreamBuffer& b = buffer({{10, 0, noteOn(60, 100)}});
    ASSERT_EQ(stream_->queue(b), StreamResult::Ok);
    EXPECT_EQ(stream_->queue(b), StreamResult::InvalidBuffer) << "already queued";
    ASSERT_EQ(stream_->restart(), StreamResult::Ok);
    ASSERT_TRUE(clock_.advanceTo(tickTime(10)));
    ASSERT_EQ(completed_.size(), 1u);
    EXPECT_NE(completionThreads_[0], std::this_thread::get_id());
    EXPECT_FALSE(flagsAtCompletion_[0] & StreamBuffer::kInQueue);
    EXPECT_TRUE(flagsAtCompletion_[0] & StreamBuffer::kDone);
}

TEST_F(MidiStreamTest, RefusesBuffersThatAreUnpreparedOrEmpty) {
    StreamBuffer unprepared;
    StreamRecord record{0, 0, noteOn(60, 1)};
    unprepared.records = &record;
    unprepared.bufferLength = unprepared.bytesRecorded = sizeof record;
    EXPECT_EQ(stream_->queue(unprepared), StreamResult::InvalidBuffer);
    StreamBuffer empty;
    StreamRecord none{};
    empty.records = &none;
    empty.bufferLength = sizeof none;
    empty.bytesRecorded = 0;
    ASSERT_EQ(stream_->prepare(empty), StreamResult::Ok);
    EXPECT_EQ(stream_->queue(empty), StreamResult::InvalidBuffer);
}

TEST_F(MidiStreamTest, TempoAndDivisionTurnTicksIntoTime) {
    stream_->setTimeDivision(96);
    stream_->setTempo(600000);  // 100 quarter notes per minute
    StreamBuffer& b = buffer({{96, 0, noteOn(60, 100)}, {48, 0, noteOn(60, 0)}});
    ASSERT_EQ(stream_->queue(b), StreamResult::Ok);
    ASSERT_EQ(stream_->restart(), StreamResult::Ok);
    ASSERT_TRUE(clock_.advanceTo(std::chrono::milliseconds(600)));
    ASSERT_TRUE(clock_.advanceTo(std::chrono::milliseconds(900)));
    const auto messages = record_->messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].time, std::chrono::milliseconds(600));
    EXPECT_EQ(messages[1].time, std::chrono::milliseconds(900));
}

TEST_F(MidiStreamTest, ATempoRecordChangesTheTempoFromItsOwnTickOn) {
    // 384 ticks at 120 BPM (0.5 s), then 1000000 us a quarter: 192 more ticks take 0.5 s.
    StreamBuffer& b = buffer({{384, 0, (kRecordTempo << 24) | 1000000u},
                              {0, 0, noteOn(60, 100)},
                              {192, 0, noteOn(60, 0)}});
    ASSERT_EQ(stream_->queue(b), StreamResult::Ok);
    ASSERT_EQ(stream_->restart(), StreamResult::Ok);
    ASSERT_TRUE(clock_.advanceTo(std::chrono::milliseconds(500)));
    ASSERT_TRUE(clock_.advanceTo(std::chrono::milliseconds(1000)));
    const auto messages = record_->messages();
    ASSERT_EQ(messages.size(), 2u) << "the tempo record sends nothing";
    EXPECT_EQ(messages[0].time, std::chrono::milliseconds(500));
    EXPECT_EQ(messages[1].time, std::chrono::milliseconds(1000));
    EXPECT_EQ(stream_->tempo(), 1000000u);
}

TEST_F(MidiStreamTest, StopReturnsEveryQueuedBufferAndSilencesWhatSounds) {
    StreamBuffer& a = buffer({{0, 0, noteOn(60, 100)}, {0, 0, noteOn(64, 100) | 0x01},
                              {0, 0, noteOn(67, 100)}, {0, 0, noteOn(67, 0)},
                              {1000, 0, noteOn(60, 0)}});
    StreamBuffer& b = buffer({{10, 0, noteOn(72, 100)}});
    ASSERT_EQ(stream_->queue(a), StreamResult::Ok);
    ASSERT_EQ(stream_->queue(b), StreamResult::Ok);
    ASSERT_EQ(stream_->restart(), StreamResult::Ok);
    ASSERT_TRUE(clock_.advanceTo(tickTime(500)));
    ASSERT_EQ(sent().size(), 4u);

    ASSERT_EQ(stream_->stop(), StreamResult::Ok);
    // Both buffers came back before stop returned.
    ASSERT_EQ(completed_.size(), 2u);
    EXPECT_EQ(completed_[0], &a);
    EXPECT_EQ(completed_[1], &b);
    EXPECT_FALSE(a.flags.load() & StreamBuffer::kInQueue);
    EXPECT_FALSE(b.flags.load() & StreamBuffer::kInQueue);

    // Note-off for each note still on (60 on the first channel, 64 on the second),
    // then All Notes Off on each channel used.
    const std::vector<ShortMessage> all = sent();
    const std::vector<ShortMessage> silence(all.begin() + 4, all.end());
    EXPECT_EQ(silence, (std::vector<ShortMessage>{0x80 | (60 << 8), 0x81 | (64 << 8),
                                                  0xB0 | (123 << 8), 0xB1 | (123 << 8)}));
    ASSERT_TRUE(clock_.advance(std::chrono::seconds(10)));
    EXPECT_EQ(sent().size(), 8u) << "nothing plays after a stop";
}

TEST_F(MidiStreamTest, QueueingAfterStopIsRefusedUntilRestart) {
    ASSERT_EQ(stream_->stop(), StreamResult::Ok);
    StreamBuffer& b = buffer({{0, 0, noteOn(60, 100)}});
    EXPECT_EQ(stream_->queue(b), StreamResult::Stopped);
    EXPECT_FALSE(b.flags.load() & StreamBuffer::kInQueue);
    ASSERT_EQ(stream_->restart(), StreamResult::Ok);
    EXPECT_EQ(stream_->queue(b), StreamResult::Ok);
}

TEST_F(MidiStreamTest, CloseReturnsQueuedBuffersAndAClosedStreamTakesNoMore) {
    StreamBuffer& b = buffer({{100000, 0, noteOn(60, 100)}});
    ASSERT_EQ(stream_->queue(b), StreamResult::Ok);
    ASSERT_EQ(stream_->close(), StreamResult::Ok);
    EXPECT_EQ(completed_.size(), 1u);
    StreamBuffer& c = buffer({{0, 0, noteOn(60, 100)}});
    EXPECT_EQ(stream_->queue(c), StreamResult::Closed);
    EXPECT_EQ(stream_->restart(), StreamResult::Closed);
    EXPECT_EQ(stream_->close(), StreamResult::Closed);
}

TEST_F(MidiStreamTest, PositionFollowsTheClockButNotPastWhatIsQueued) {
    StreamBuffer& b = buffer({{0, 0, noteOn(60, 100)}, {768, 0, noteOn(60, 0)}});
    ASSERT_EQ(stream_->queue(b), StreamResult::Ok);
    EXPECT_EQ(stream_->position(), 0u);
    ASSERT_EQ(stream_->restart(), StreamResult::Ok);
    ASSERT_TRUE(clock_.advanceTo(tickTime(300)));
    EXPECT_EQ(stream_->position(), 300u);
    ASSERT_TRUE(clock_.advanceTo(tickTime(5000)));
    EXPECT_EQ(stream_->position(), 768u);
}

TEST_F(MidiStreamTest, SendNowGoesOutAtOnceEvenWhilePaused) {
    ASSERT_EQ(stream_->sendNow(0xC0 | (73 << 8)), StreamResult::Ok);
    EXPECT_EQ(sent(), std::vector<ShortMessage>{0xC0 | (73 << 8)});
}

TEST(MidiStreamOnTheSteadyClock, PlaysInOrderAndNeverEarly) {
    auto record = std::make_shared<MessageRecord>();
    std::atomic<int> done{0};
    MidiStream stream(std::make_unique<RecordingPort>(record, steadyStreamClock()),
                      [&](MidiStream&, StreamBuffer&) { ++done; });
    stream.setTimeDivision(384);
    stream.setTempo(500000);
    std::vector<StreamRecord> records;
    for (std::uint32_t i = 0; i < 40; ++i) records.push_back({i % 3 == 0 ? 0u : 20u, 0, noteOn(static_cast<std::uint8_t>(40 + i), 1)});
    StreamBuffer buffer;
    buffer.records = records.data();
    buffer.bufferLength = buffer.bytesRecorded = static_cast<std::uint32_t>(records.size() * 12);
    ASSERT_EQ(stream.prepare(buffer), StreamResult::Ok);
    ASSERT_EQ(stream.queue(buffer), StreamResult::Ok);
    const auto start = steadyStreamClock().now();
    ASSERT_EQ(stream.restart(), StreamResult::Ok);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (done.load() == 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(done.load(), 1);
    const auto messages = record->messages();
    ASSERT_EQ(messages.size(), records.size());
    std::uint64_t tick = 0;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        tick += records[i].delta;
        EXPECT_EQ(messages[i].message, records[i].event) << "message " << i;
        EXPECT_GE(messages[i].time - start, tickTime(tick)) << "message " << i << " came early";
    }
}

}  // namespace
}  // namespace selvik
