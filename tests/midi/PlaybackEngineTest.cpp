// The playback engine on a recording device and a clock the test advances,
// finishing its buffers one by one.

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "PlaybackTestSupport.h"
#include "core/MessageService.h"
#include "midi/PlaybackEngine.h"

namespace selvik {
namespace {

using testing_support::fillSong;
using testing_support::ManualStreamClock;
using testing_support::Note;
using testing_support::noteOn;
using testing_support::RecordingDevices;
using testing_support::setTrack;
using testing_support::tickTime;

struct EndRecord {
    std::uint32_t tick;
    std::uint64_t playback;
    std::thread::id thread;
};

class PlaybackEngineTest : public testing::Test {
protected:
    PlaybackEngine::EndCallback recordEnds() {
        return [this](std::uint32_t tick, std::uint64_t playback) {
            std::lock_guard guard(endsLock_);
            ends_.push_back({tick, playback, std::this_thread::get_id()});
        };
    }
    std::vector<EndRecord> ends() {
        std::lock_guard guard(endsLock_);
        return ends_;
    }
    std::vector<ShortMessage> sent() const {
        std::vector<ShortMessage> messages;
        for (const auto& m : devices_.messages()) messages.push_back(m.message);
        return messages;
    }
    // Plays the song to its end by advancing the clock window by window from now.
    void playThrough(const Song& song, std::uint32_t beyond = 8) {
        const auto start = clock_.now();
        for (std::uint32_t w = 1; w <= song.endTime / 384 + beyond; ++w) {
            ASSERT_TRUE(clock_.advanceTo(start + tickTime(w * 384)));
        }
    }

    ManualStreamClock clock_;
    RecordingDevices devices_{clock_};
    std::vector<std::string> messages_;
    ScopedMessageHandler handler_{[this](std::string_view text) { messages_.emplace_back(text); }};
    PlaybackEngine engine_{clock_};
    std::mutex endsLock_;
    std::vector<EndRecord> ends_;
};

TEST_F(PlaybackEngineTest, EmptySongQueuesOneFillerMarkedLastAndEndsAt1152) {
    Song song;
    fillSong(song, {});
    ASSERT_EQ(song.endTime, 0u);
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    EXPECT_EQ(engine_.windowEnd(), 384u);
    EXPECT_EQ(engine_.queueNextWindow(&song), MidiResult::LastBufferQueued);
    EXPECT_EQ(engine_.windowEnd(), 1152u);
    const StreamBuffer& filler = engine_.slotHeader(0);
    EXPECT_TRUE(filler.flags.load() & StreamBuffer::kInQueue);
    EXPECT_EQ(filler.bytesRecorded, 12u);
    EXPECT_EQ(filler.user, 0x8000u);
    EXPECT_EQ(filler.records[0].event, 0x02000000u);
    EXPECT_EQ(filler.records[0].streamId, 0u);
    EXPECT_EQ(engine_.nextSlot(), 1);
    // beginPlayback's own queueing is what the test just did by hand; restart.
    engine_.stopPlayback();
    engine_.closeStream();

    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    // Only the filler is in flight: the second call was skipped.
    EXPECT_FALSE(engine_.slotHeader(2).flags.load() & StreamBuffer::kInQueue);
    EXPECT_EQ(engine_.nextSlot(), 2) << "the ring continues across playbacks";
    playThrough(song);
    ASSERT_EQ(ends().size(), 1u);
    EXPECT_EQ(ends()[0].tick, 1152u);
    EXPECT_TRUE(sent().empty());
}

TEST_F(PlaybackEngineTest, SongInsideTheFirstWindowPlaysFromOneBufferMarkedLast) {
    Song song;
    fillSong(song, {{0, 100, 60}, {100, 300, 62}});
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    const StreamBuffer& first = engine_.slotHeader(0);
    EXPECT_EQ(first.user, 0x8000u);
    EXPECT_EQ(first.bytesRecorded, 4u * 12u);
    EXPECT_FALSE(engine_.slotHeader(1).flags.load() & StreamBuffer::kInQueue);
    playThrough(song);
    EXPECT_EQ(sent(), (std::vector<ShortMessage>{noteOn(60, 100), noteOn(60, 0), noteOn(62, 100),
                                                 noteOn(62, 0)}));
    ASSERT_EQ(ends().size(), 1u);
    EXPECT_EQ(ends()[0].tick, 768u);
    EXPECT_NE(ends()[0].thread, std::this_thread::get_id());
}

TEST_F(PlaybackEngineTest, RecordsPackEventsAndCountDeltasFromTheLastEvent) {
    Song song;
    reset(&song);
    song.division = 384;
    song.tempo = 120.0;
    setTrack(song, 0, {{0, 0x90, 60, 100}, {36, 0x90, 60, 100}, {40, 0x90, 60, 0}});
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    const StreamRecord* records = engine_.slotHeader(0).records;
    EXPECT_EQ(records[1].delta, 36u);
    EXPECT_EQ(records[1].streamId, 0u);
    EXPECT_EQ(records[1].event, 0x00643C90u);
    EXPECT_EQ(records[2].delta, 4u);
    EXPECT_EQ(records[2].event, 0x00003C90u);
}

TEST_F(PlaybackEngineTest, TempoPropertyIsMicrosecondsPerQuarterTruncated) {
    EXPECT_EQ(tempoProperty(120.0), 500000u);
    EXPECT_EQ(tempoProperty(100.0), 600000u);
    EXPECT_EQ(tempoProperty(7.0), 8571428u);
    // Tempos no stream can take are kept in range instead of dividing by zero.
    EXPECT_EQ(tempoProperty(0.0), 500000u);
    EXPECT_EQ(tempoProperty(-5.0), 500000u);
    EXPECT_EQ(tempoProperty(1.0), 16777215u);
}

TEST_F(PlaybackEngineTest, EveryEventSoundsAtItsSongTimeAcrossFillersAndSilence) {
    Song song;
    // Silent stretches of several windows between the notes.
    fillSong(song, {{10, 200, 60}, {2000, 2100, 62}, {2100, 4000, 64}, {9000, 9001, 65}});
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    std::vector<std::uint32_t> times;
    for (std::uint32_t i = 0; i < song.tracks[0].eventCount; ++i) times.push_back(song.tracks[0].events[i].time);
    for (std::uint32_t t : times) ASSERT_TRUE(clock_.advanceTo(tickTime(t)));
    playThrough(song);
    const auto messages = devices_.messages();
    ASSERT_EQ(messages.size(), times.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].time, tickTime(times[i])) << "event " << i << " at tick " << times[i];
    }
    ASSERT_EQ(ends().size(), 1u);
}

TEST_F(PlaybackEngineTest, EventsAfterTempoChangesSoundAtTheirTimeThroughTheMap) {
    Song song;
    // 120 BPM to tick 1000, then 60 BPM (twice as long a tick), then 240 BPM
    // from tick 3000, which falls in a window without events.
    fillSong(song, {{10, 900, 60}, {1000, 1500, 62}, {2000, 2100, 64}, {5000, 5200, 65}});
    song.tempoChanges = {{1000, 60.0}, {3000, 240.0}};
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    auto at = [](std::uint32_t tick) {
        if (tick <= 1000) return tickTime(tick);
        if (tick <= 3000) return tickTime(1000) + tickTime(tick - 1000, 1000000);
        return tickTime(1000) + tickTime(2000, 1000000) + tickTime(tick - 3000, 250000);
    };
    std::vector<std::uint32_t> times;
    for (std::uint32_t i = 0; i < song.tracks[0].eventCount; ++i) times.push_back(song.tracks[0].events[i].time);
    for (std::uint32_t t : times) ASSERT_TRUE(clock_.advanceTo(at(t)));
    ASSERT_TRUE(clock_.advanceTo(at(song.endTime) + std::chrono::seconds(10)));
    const auto messages = devices_.messages();
    ASSERT_EQ(messages.size(), times.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        // The stream truncates each deadline to whole nanoseconds.
        EXPECT_LE(std::abs((messages[i].time - at(times[i])).count()), 2) << "event " << i << " at tick " << times[i];
    }
}

TEST_F(PlaybackEngineTest, FinalNoteEndingsOnAWindowEndStillPlay) {
    Song song;
    fillSong(song, {{0, 300, 60}, {600, 768, 62}});
    ASSERT_EQ(song.endTime, 768u);
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    ASSERT_TRUE(clock_.advanceTo(tickTime(767)));
    EXPECT_TRUE(ends().empty()) << "the end came before the final note ending";
    ASSERT_TRUE(clock_.advanceTo(tickTime(768)));
    ASSERT_EQ(ends().size(), 1u);
    const auto messages = devices_.messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[3].message, noteOn(62, 0));
    EXPECT_EQ(messages[3].time, tickTime(768));
}

TEST_F(PlaybackEngineTest, TheWindowAfterASilentOneStillPlaysAtTheEnd) {
    Song song;
    // Nothing in [384, 768); the last note lies in the window after it.
    fillSong(song, {{0, 300, 60}, {800, 1100, 62}});
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    for (std::uint32_t t : {0u, 300u, 800u}) ASSERT_TRUE(clock_.advanceTo(tickTime(t)));
    // The program stops at the end it is told of: it must not come before the last note.
    EXPECT_TRUE(ends().empty()) << "the song ended in the silent window, before its last note";
    ASSERT_TRUE(clock_.advanceTo(tickTime(1100)));
    playThrough(song);
    const auto messages = devices_.messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[3].message, noteOn(62, 0));
    EXPECT_EQ(messages[3].time, tickTime(1100));
    ASSERT_EQ(ends().size(), 1u);
    EXPECT_GT(ends()[0].tick, 1100u);
}

TEST_F(PlaybackEngineTest, PlayingTwiceStartsAgainFromTickZeroWithTheNextSlots) {
    Song song;
    // The first window holds a second event (the ending at 200), so its
    // buffer stays queued, and its records readable, until the clock moves.
    fillSong(song, {{0, 200, 60}, {500, 1000, 62}});
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    playThrough(song);
    ASSERT_EQ(ends().size(), 1u);
    const int slotAfterFirst = engine_.nextSlot();
    EXPECT_GT(slotAfterFirst, 0);
    engine_.stopPlayback();
    engine_.closeStream();
    devices_.backend().record()->clear();

    const auto secondStart = clock_.now();
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    for (const SongTrack& track : song.tracks) EXPECT_EQ(track.readCursor, 0u);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    EXPECT_EQ(engine_.slotHeader(slotAfterFirst).user & 0x7FFF,
              static_cast<std::uint32_t>(slotAfterFirst));
    EXPECT_EQ(engine_.slotHeader(slotAfterFirst).records[0].delta, 0u);
    ASSERT_TRUE(clock_.advanceTo(secondStart + tickTime(500)));
    const auto messages = devices_.messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[0].time, secondStart);
    EXPECT_EQ(messages[2].time, secondStart + tickTime(500));
    ASSERT_TRUE(clock_.advance(std::chrono::seconds(5)));
    ASSERT_EQ(ends().size(), 2u);
    EXPECT_EQ(ends()[1].playback, ends()[0].playback + 1);
}

TEST_F(PlaybackEngineTest, MoreThanAThousandEventsInAWindowFollowInTheNextBuffer) {
    Song song;
    reset(&song);
    song.division = 384;
    song.tempo = 120.0;
    std::vector<MidiEvent> events;
    for (std::uint32_t i = 0; i < 1200; ++i) events.push_back({i / 4, 0x90, static_cast<std::uint8_t>(i % 128), 1});
    setTrack(song, 0, events);
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    EXPECT_EQ(engine_.gatherWindow(song, 384), MidiResult::MergeBufferFull);
    EXPECT_EQ(engine_.mergeCount(), 1000u);
    EXPECT_EQ(song.tracks[0].readCursor, 1000u);
    for (SongTrack& track : song.tracks) track.readCursor = 0;

    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    EXPECT_EQ(engine_.slotHeader(0).bytesRecorded, 1000u * 12u);
    EXPECT_EQ(engine_.slotHeader(1).bytesRecorded, 200u * 12u);
    for (std::uint32_t tick = 0; tick < 300; ++tick) ASSERT_TRUE(clock_.advanceTo(tickTime(tick)));
    playThrough(song);
    const auto messages = devices_.messages();
    ASSERT_EQ(messages.size(), 1200u);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        ASSERT_EQ(data1Of(messages[i].message), i % 128) << "message " << i;
        ASSERT_EQ(messages[i].time, tickTime(i / 4)) << "message " << i;
    }
}

TEST_F(PlaybackEngineTest, AFullWindowAcrossTracksNeverRunsADeltaBackwards) {
    Song song;
    reset(&song);
    song.division = 384;
    song.tempo = 120.0;
    std::vector<MidiEvent> late;
    for (std::uint32_t i = 0; i < 999; ++i) late.push_back({300, 0x90, 61, 1});
    setTrack(song, 0, late);
    setTrack(song, 1, {{5, 0x91, 70, 1}, {6, 0x91, 71, 1}, {1000, 0x91, 72, 1}});
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    ASSERT_TRUE(clock_.advanceTo(tickTime(300)));
    ASSERT_TRUE(clock_.advanceTo(tickTime(1000)));
    playThrough(song);
    // Tick 6 comes after the full first buffer (which ends at 300): it plays
    // at once instead of waiting for a delta that wrapped around.
    const auto messages = devices_.messages();
    ASSERT_EQ(messages.size(), 1002u);
    EXPECT_EQ(messages[1000].message, 0x91u | (71u << 8) | (1u << 16));
    EXPECT_EQ(messages[1000].time, tickTime(300));
    EXPECT_EQ(messages[1001].time, tickTime(1000));
    EXPECT_EQ(ends().size(), 1u);
}

TEST_F(PlaybackEngineTest, StopInTheMiddleSilencesReturnsTheBuffersAndReportsNoEnd) {
    Song song;
    fillSong(song, {{0, 3000, 60}, {3000, 6000, 62}});
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    const std::uint64_t playback = engine_.playbackNumber();
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    ASSERT_TRUE(clock_.advanceTo(tickTime(1000)));
    EXPECT_TRUE(engine_.isCurrentPlayback(playback));
    EXPECT_EQ(engine_.songPosition(), 1000u);

    ASSERT_EQ(engine_.stopPlayback(), MidiResult::Success);
    EXPECT_EQ(engine_.closeStream(), MidiResult::Success);
    EXPECT_FALSE(engine_.streamOpen());
    EXPECT_FALSE(engine_.isCurrentPlayback(playback));
    EXPECT_EQ(engine_.songPosition(), 0u);
    for (int slot = 0; slot < PlaybackEngine::kSlotCount; ++slot) {
        EXPECT_FALSE(engine_.slotHeader(slot).flags.load() & StreamBuffer::kInQueue) << slot;
    }
    EXPECT_EQ(sent(), (std::vector<ShortMessage>{noteOn(60, 100), 0x80 | (60 << 8), 0xB0 | (123 << 8)}));
    ASSERT_TRUE(clock_.advance(std::chrono::seconds(10)));
    EXPECT_EQ(sent().size(), 3u);
    EXPECT_TRUE(ends().empty());
    // A stopped engine has nothing to begin.
    EXPECT_EQ(engine_.beginPlayback(), MidiResult::DeviceError);
    EXPECT_EQ(engine_.stopPlayback(), MidiResult::DeviceError);
}

TEST_F(PlaybackEngineTest, StoppingFromTheEndCallbackNeitherHangsNorEndsTwice) {
    Song song;
    fillSong(song, {{0, 400, 60}, {400, 900, 62}});
    int stopsInCallback = 0;
    auto stopHere = [&](std::uint32_t, std::uint64_t) {
        ++stopsInCallback;
        engine_.stopPlayback();
        engine_.closeStream();
    };
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(engine_.startPlayback(&song, stopHere), MidiResult::Success) << round;
        ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
        playThrough(song);
        EXPECT_EQ(stopsInCallback, round + 1);
        EXPECT_FALSE(engine_.streamOpen());
        EXPECT_FALSE(engine_.isPlaying());
    }
}

TEST_F(PlaybackEngineTest, AnEndFromAnEarlierPlaybackIsRecognisablyStale) {
    Song song;
    fillSong(song, {{0, 100, 60}});
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    playThrough(song);
    // The end is waiting in the caller's queue while the user presses Stop, then Play.
    ASSERT_EQ(ends().size(), 1u);
    const std::uint64_t pending = ends()[0].playback;
    engine_.stopPlayback();
    engine_.closeStream();
    Song longer;
    fillSong(longer, {{0, 10000, 64}});
    ASSERT_EQ(engine_.startPlayback(&longer, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    EXPECT_FALSE(engine_.isCurrentPlayback(pending));
    EXPECT_TRUE(engine_.isCurrentPlayback(engine_.playbackNumber()));
    // The songs go with this test; nothing may stream them after it.
    engine_.stopPlayback();
    engine_.closeStream();
}

TEST_F(PlaybackEngineTest, AFailedOpenShowsTheMessageAndAttachesNoSong) {
    Song song;
    fillSong(song, {{0, 100, 60}});
    devices_.backend().setRefuseOpen(true);
    EXPECT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::DeviceError);
    EXPECT_EQ(messages_, std::vector<std::string>{"Can't open MIDI output device!"});
    EXPECT_FALSE(engine_.streamOpen());
    EXPECT_EQ(engine_.beginPlayback(), MidiResult::DeviceError);
    EXPECT_EQ(engine_.queueNextWindow(&song), MidiResult::NoSong);
    EXPECT_EQ(song.tracks[0].readCursor, 0u) << "an unattached song was read";

    devices_.backend().setRefuseOpen(false);
    for (std::int32_t selected : {-1, 1, 7}) {
        messages_.clear();
        setSelectedMidiDevice(selected);
        EXPECT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::DeviceError) << selected;
        EXPECT_EQ(messages_, std::vector<std::string>{"Can't open MIDI output device!"});
    }
    setSelectedMidiDevice(0);
    // A port renamed since the list was built is not opened under the old name.
    messages_.clear();
    devices_.backend().setNames({"Something else"});
    EXPECT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::DeviceError);
    EXPECT_EQ(messages_.size(), 1u);
}

TEST_F(PlaybackEngineTest, AProgramChangeSentBeforeBeginComesFirst) {
    Song song;
    fillSong(song, {{0, 100, 60}});
    ASSERT_EQ(engine_.startPlayback(&song, recordEnds()), MidiResult::Success);
    ASSERT_EQ(engine_.sendNow(0xC0 | (19 << 8)), MidiResult::Success);
    ASSERT_EQ(engine_.beginPlayback(), MidiResult::Success);
    playThrough(song);
    ASSERT_EQ(sent().size(), 3u);
    EXPECT_EQ(sent()[0], 0xC0u | (19u << 8));
}

// Many playbacks started and stopped at varied moments on the real clock:
// no hang, and exactly one end for each playback that was left to finish.
TEST(PlaybackEngineStress, StartAndStopAtVariedMomentsEndsEachFinishedPlaybackOnce) {
    RecordingDevices devices(steadyStreamClock());
    PlaybackEngine engine;
    Song song;
    std::vector<Note> notes;
    for (std::uint32_t i = 0; i < 24; ++i) notes.push_back({i * 4, i * 4 + 3, static_cast<std::uint8_t>(50 + i)});
    fillSong(song, notes);  // about 0.13 s at 120 BPM

    std::mutex lock;
    std::condition_variable ended;
    std::vector<std::uint64_t> ends;
    auto onEnd = [&](std::uint32_t, std::uint64_t playback) {
        std::lock_guard guard(lock);
        ends.push_back(playback);
        ended.notify_all();
    };
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> pause(0, 3000);  // microseconds
    int finished = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int round = 0; round < 200 && std::chrono::steady_clock::now() < limit; ++round) {
        ASSERT_EQ(engine.startPlayback(&song, onEnd), MidiResult::Success);
        const std::uint64_t playback = engine.playbackNumber();
        ASSERT_EQ(engine.beginPlayback(), MidiResult::Success);
        if (round % 10 == 0) {
            std::unique_lock wait(lock);
            ASSERT_TRUE(ended.wait_for(wait, std::chrono::seconds(10), [&] {
                return std::count(ends.begin(), ends.end(), playback) > 0;
            })) << "round " << round;
            ++finished;
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        }
        ASSERT_EQ(engine.stopPlayback(), MidiResult::Success);
        engine.closeStream();
        std::lock_guard guard(lock);
        ASSERT_LE(std::count(ends.begin(), ends.end(), playback), 1) << "round " << round;
    }
    std::lock_guard guard(lock);
    std::set<std::uint64_t> distinct(ends.begin(), ends.end());
    EXPECT_EQ(distinct.size(), ends.size()) << "an end was reported twice";
    EXPECT_GE(static_cast<int>(ends.size()), finished);
}

}  // namespace
}  // namespace selvik
