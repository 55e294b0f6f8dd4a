#include <QTest>

#include "MainDialogFixture.h"
#include "ModalAnswer.h"

namespace selvik::testing_support {
namespace {

using Playback = MainDialogTest;

TEST_F(Playback, PlayDisablesLoadAnalyzeAndSetupAndStopEnablesThem) {
    loadAndAnalyse();
    button("1017")->click();
    EXPECT_TRUE(dialog().midiPlaying());
    EXPECT_EQ(buttonStates(), "101100 Stop MIDI");
    EXPECT_TRUE(engine_.isPlaying());
    ASSERT_TRUE(clock_.advance(std::chrono::milliseconds(600)));
    EXPECT_GT(backend_->record()->size(), 0u) << "the song reaches the recording port";

    button("1017")->click();
    EXPECT_FALSE(dialog().midiPlaying());
    EXPECT_EQ(buttonStates(), "111111 Play MIDI");
    EXPECT_FALSE(engine_.streamOpen());
}

TEST_F(Playback, TheSongsEndLeavesTheWindowAsStopDoes) {
    loadAndAnalyse();
    button("1017")->click();
    ASSERT_TRUE(playToTheEnd());
    EXPECT_EQ(buttonStates(), "111111 Play MIDI");
    EXPECT_FALSE(engine_.streamOpen());
    EXPECT_GT(backend_->record()->size(), 0u);
}

TEST_F(Playback, ALateEndOfAnEarlierPlaybackDoesNotStopTheNextOne) {
    loadAndAnalyse();
    button("1017")->click();
    // The whole song plays; its end is now waiting in the window's queue.
    ASSERT_TRUE(clock_.advance(std::chrono::seconds(600)));
    button("1017")->click();  // Stop
    button("1017")->click();  // Play again at once
    ASSERT_TRUE(dialog().midiPlaying());
    QApplication::processEvents();
    EXPECT_TRUE(dialog().midiPlaying()) << "the first playback's end stopped the second";
    EXPECT_EQ(buttonStates(), "101100 Stop MIDI");
    EXPECT_TRUE(engine_.isPlaying());
    ASSERT_TRUE(playToTheEnd()) << "the second playback's own end still stops it";
    EXPECT_EQ(buttonStates(), "111111 Play MIDI");
}

TEST_F(Playback, AnEndAfterStopIsIgnored) {
    loadAndAnalyse();
    button("1017")->click();
    ASSERT_TRUE(clock_.advance(std::chrono::seconds(600)));
    button("1017")->click();  // Stop, with the end still queued
    QApplication::processEvents();
    EXPECT_FALSE(dialog().midiPlaying());
    EXPECT_EQ(buttonStates(), "111111 Play MIDI");
}

TEST_F(Playback, ADeviceThatCannotBeOpenedLeavesTheWindowStopped) {
    loadAndAnalyse();
    backend_->setRefuseOpen(true);
    button("1017")->click();
    EXPECT_THAT(messages, ::testing::ElementsAre("Can't open MIDI output device!"));
    EXPECT_FALSE(dialog().midiPlaying());
    EXPECT_EQ(buttonStates(), "111111 Play MIDI");
    EXPECT_FALSE(engine_.streamOpen());
}

TEST_F(Playback, WithNoDeviceChosenPlayReportsItAndStaysStopped) {
    loadAndAnalyse();
    setSelectedMidiDevice(-1);
    button("1017")->click();
    EXPECT_THAT(messages, ::testing::ElementsAre("Can't open MIDI output device!"));
    EXPECT_EQ(buttonStates(), "111111 Play MIDI");
}

TEST_F(Playback, PlayWavSaveAboutAndExitStayUsableDuringPlayback) {
    loadAndAnalyse();
    button("1017")->click();
    EXPECT_TRUE(button("1000")->isEnabled());
    EXPECT_TRUE(button("1019")->isEnabled());
    EXPECT_TRUE(button("1020")->isEnabled());
    EXPECT_TRUE(button("1")->isEnabled());
    EXPECT_TRUE(dialog().findChild<QComboBox*>(QStringLiteral("1005"))->isEnabled());
}

// Notes what the engine was doing when the window emptied its song.
class ObservedDialog final : public app::MainDialog {
public:
    using MainDialog::MainDialog;
    PlaybackEngine* engine = nullptr;
    std::vector<bool> streamOpenAtClear;

protected:
    void clearSong() override {
        streamOpenAtClear.push_back(engine->streamOpen() || engine->isPlaying());
        MainDialog::clearSong();
    }
};

class ClosingDuringPlayback : public MainDialogTest {
protected:
    std::unique_ptr<app::MainDialog> makeDialog() override {
        auto dialog = std::make_unique<ObservedDialog>(engine_, [] { return std::make_unique<SdlSoundOutput>(); });
        dialog->engine = &engine_;
        observed = dialog.get();
        return dialog;
    }
    ObservedDialog* observed = nullptr;
};

TEST_F(ClosingDuringPlayback, StopsTheStreamBeforeTheSongIsCleared) {
    loadAndAnalyse();
    button("1017")->click();
    ASSERT_TRUE(clock_.advance(std::chrono::milliseconds(500)));
    observed->streamOpenAtClear.clear();
    QTest::keyClick(&dialog(), Qt::Key_Escape);
    EXPECT_FALSE(dialog().isVisible());
    ASSERT_EQ(observed->streamOpenAtClear.size(), 1u);
    EXPECT_FALSE(observed->streamOpenAtClear[0]) << "the song was cleared while it was streamed";
    EXPECT_EQ(dialog().song().tracks[0].eventCount, 0u);
    EXPECT_FALSE(engine_.streamOpen());
    EXPECT_EQ(midiDeviceCount(), 0) << "the device list is freed";
    const std::size_t heard = backend_->record()->size();
    ASSERT_TRUE(clock_.advance(std::chrono::seconds(60)));
    EXPECT_EQ(backend_->record()->size(), heard) << "nothing plays after the window closed";
}

TEST_F(ClosingDuringPlayback, TheCloseBoxDoesTheSame) {
    loadAndAnalyse();
    button("1017")->click();
    observed->streamOpenAtClear.clear();
    dialog().close();
    EXPECT_FALSE(dialog().isVisible());
    ASSERT_EQ(observed->streamOpenAtClear.size(), 1u);
    EXPECT_FALSE(observed->streamOpenAtClear[0]);
    EXPECT_FALSE(engine_.streamOpen());
}

}  // namespace
}  // namespace selvik::testing_support
