#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "MainDialogFixture.h"
#include "app/DialogUnits.h"
#include "app/PianoRollView.h"
#include "app/PianoRollWindow.h"
#include "plot/RollNotes.h"

namespace selvik::testing_support {
namespace {

class PianoRoll : public MainDialogTest {
protected:
    app::PianoRollWindow& openRoll() {
        button("1021")->click();
        app::PianoRollWindow* roll = dialog().pianoRoll();
        EXPECT_NE(roll, nullptr);
        return *roll;
    }
    // Handles events until the spectrogram has arrived; false after a
    // generous hang guard.
    static bool waitForLevelGrid(app::PianoRollWindow& roll) {
        QElapsedTimer timer;
        timer.start();
        while (roll.computing() || !roll.view().painter().spectrogram()) {
            if (timer.elapsed() > 60000) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    static void wheel(app::PianoRollView& view, QPoint at, int notches, Qt::KeyboardModifiers modifiers = {}) {
        QWidget* area = view.viewport();
        QWheelEvent event(QPointF(at), QPointF(area->mapToGlobal(at)), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(area, &event);
    }
    std::vector<RollNote> songNotes() { return rollNotes(dialog().song()); }
    static bool sameNotes(const std::vector<RollNote>& a, const std::vector<RollNote>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const RollNote& x, const RollNote& y) {
            return x.number == y.number && x.startSeconds == y.startSeconds && x.endSeconds == y.endSeconds;
        });
    }
};

TEST_F(PianoRoll, TheButtonSitsBesideTheMethodListAndOpensASeparateResizableWindow) {
    QPushButton* open = button("1021");
    EXPECT_EQ(open->text(), "Piano roll...");
    EXPECT_TRUE(open->isEnabled());
    EXPECT_EQ(open->geometry(), app::DialogUnits(dialog().font()).rect(175, 170, 50, 14));
    EXPECT_EQ(dialog().pianoRoll(), nullptr) << "made only when asked for";

    app::PianoRollWindow& roll = openRoll();
    EXPECT_TRUE(roll.isVisible());
    EXPECT_TRUE(roll.isWindow());
    EXPECT_FALSE(roll.isModal());
    EXPECT_NE(roll.minimumSize(), roll.maximumSize());
    button("1021")->click();
    EXPECT_EQ(dialog().pianoRoll(), &roll) << "a second press shows the same window";
}

TEST_F(PianoRoll, AnalyzeShowsTheSongsNotes) {
    app::PianoRollWindow& roll = openRoll();
    EXPECT_TRUE(roll.view().painter().notes().empty());
    loadAndAnalyse();
    const std::vector<RollNote> expected = songNotes();
    const std::vector<RollNote>& shown = roll.view().painter().notes();
    ASSERT_EQ(shown.size(), expected.size());
    ASSERT_FALSE(shown.empty());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].number, expected[i].number);
        EXPECT_DOUBLE_EQ(shown[i].startSeconds, expected[i].startSeconds);
        EXPECT_DOUBLE_EQ(shown[i].endSeconds, expected[i].endSeconds);
    }
    // The melody is A4 then E5; both rows are in view.
    EXPECT_EQ(shown.front().number, 69);
    EXPECT_EQ(shown.back().number, 76);
    EXPECT_LT(roll.view().shownRange().lowPitch, 69.0);
    EXPECT_GT(roll.view().shownRange().highPitch, 76.0);
}

TEST_F(PianoRoll, EveryAnalyzeReplacesTheNotes) {
    app::PianoRollWindow& roll = openRoll();
    loadAndAnalyse();
    const std::vector<RollNote> first = roll.view().painter().notes();
    ASSERT_FALSE(first.empty());
    // A smaller block places the notes' edges on a finer grid.
    list("1005")->setCurrentIndex(0);
    button("1010")->click();
    ASSERT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
    const std::vector<RollNote> expected = songNotes();
    ASSERT_FALSE(sameNotes(expected, first)) << "the second analysis must find other edges";
    EXPECT_TRUE(sameNotes(roll.view().painter().notes(), expected));
}

TEST_F(PianoRoll, OpenedAfterAnAnalysisItShowsThatAnalysis) {
    loadAndAnalyse();
    app::PianoRollWindow& roll = openRoll();
    EXPECT_EQ(roll.view().painter().notes().size(), songNotes().size());
    ASSERT_TRUE(waitForLevelGrid(roll));
    EXPECT_NEAR(roll.view().painter().spectrogram()->durationSeconds(), 3.0, 0.05);
}

TEST_F(PianoRoll, TheLevelGridIsComputedAwayFromTheWindowsThreadAndArrivesLater) {
    app::PianoRollWindow& roll = openRoll();
    dialog().loadWavFile(writeMelody("melody.wav"));
    // Straight after the load nothing has been handed over yet: the work
    // runs on its own thread and is delivered through the event queue.
    EXPECT_TRUE(roll.computing());
    EXPECT_EQ(roll.view().painter().spectrogram(), nullptr);
    ASSERT_TRUE(waitForLevelGrid(roll));
    EXPECT_FALSE(roll.computing());
    EXPECT_NEAR(roll.view().shownRange().endSeconds, 3.0, 0.05) << "the whole recording is in view";
}

TEST_F(PianoRoll, LoadWavClearsTheNotesAndTheLevelGrid) {
    app::PianoRollWindow& roll = openRoll();
    loadAndAnalyse();
    ASSERT_TRUE(waitForLevelGrid(roll));
    ASSERT_FALSE(roll.view().painter().notes().empty());

    writeWav16(folder.path() / "short.wav", sine(880.0, 44100));
    dialog().loadWavFile(folder.file("short.wav"));
    EXPECT_TRUE(roll.view().painter().notes().empty());
    EXPECT_EQ(roll.view().painter().spectrogram(), nullptr);
    ASSERT_TRUE(waitForLevelGrid(roll));
    EXPECT_NEAR(roll.view().painter().spectrogram()->durationSeconds(), 1.0, 0.05) << "the new recording's";

    // A load that fails leaves no recording, and nothing to show.
    dialog().loadWavFile(folder.file("missing.wav"));
    EXPECT_EQ(roll.view().painter().spectrogram(), nullptr);
    EXPECT_FALSE(roll.computing());
}

TEST_F(PianoRoll, ThePlayheadFollowsTheSongPositionAndGoesOnStop) {
    app::PianoRollWindow& roll = openRoll();
    loadAndAnalyse();
    EXPECT_FALSE(roll.view().playhead());
    button("1017")->click();
    ASSERT_TRUE(dialog().midiPlaying());
    EXPECT_TRUE(roll.following());
    const double ticksPerSecond = dialog().song().division * dialog().song().tempo / 60.0;

    ASSERT_TRUE(clock_.advance(std::chrono::milliseconds(1200)));
    roll.pollPlayhead();
    ASSERT_TRUE(roll.view().playhead());
    const double first = *roll.view().playhead();
    EXPECT_DOUBLE_EQ(first, engine_.songPosition() / ticksPerSecond);
    EXPECT_GT(first, 0.5);

    ASSERT_TRUE(clock_.advance(std::chrono::milliseconds(1000)));
    roll.pollPlayhead();
    ASSERT_TRUE(roll.view().playhead());
    EXPECT_GT(*roll.view().playhead(), first) << "the playhead moves on with the song";

    button("1017")->click();
    EXPECT_FALSE(roll.following());
    EXPECT_FALSE(roll.view().playhead());
}

TEST_F(PianoRoll, ThePollTimerMovesThePlayheadOnItsOwn) {
    app::PianoRollWindow& roll = openRoll();
    loadAndAnalyse();
    button("1017")->click();
    ASSERT_TRUE(clock_.advance(std::chrono::milliseconds(1500)));
    // No direct poll: only the window's timer, on this thread, reads the position.
    QElapsedTimer timer;
    timer.start();
    while (roll.view().playhead().value_or(0.0) < 1.0 && timer.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_GE(roll.view().playhead().value_or(0.0), 1.0);
    ASSERT_TRUE(playToTheEnd());
    EXPECT_FALSE(roll.view().playhead()) << "the song's end stops the playhead as Stop does";
}

TEST_F(PianoRoll, HoveringANoteNamesItWithItsNumberStartAndEnd) {
    app::PianoRollWindow& roll = openRoll();
    loadAndAnalyse();
    QApplication::processEvents();
    const app::PianoRollView& view = roll.view();
    const RollNote& note = view.painter().notes().front();
    const PixelRect bar = view.mapping().barOf(note);
    const QPoint inside(static_cast<int>(bar.left + bar.width / 2), static_cast<int>(bar.top + bar.height / 2));
    const QString tip = view.toolTipAt(inside);
    EXPECT_TRUE(tip.startsWith("A4 (note 69)")) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("start %1 s").arg(note.startSeconds, 0, 'f', 3))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("end %1 s").arg(note.endSeconds, 0, 'f', 3))) << tip.toStdString();
    EXPECT_TRUE(view.toolTipAt(QPoint(inside.x(), static_cast<int>(bar.top) - 30)).isEmpty());
}

TEST_F(PianoRoll, TheWheelZoomsTimeAndCtrlWheelZoomsTheNotes) {
    app::PianoRollWindow& roll = openRoll();
    loadAndAnalyse();
    ASSERT_TRUE(waitForLevelGrid(roll));
    app::PianoRollView& view = roll.view();
    const RollViewport before = view.shownRange();
    const QPoint middle(view.viewport()->width() / 2, view.viewport()->height() / 2);
    const double secondsUnderPointer = view.mapping().secondsOfX(middle.x());

    wheel(view, middle, 2);
    const RollViewport zoomed = view.shownRange();
    EXPECT_LT(zoomed.seconds(), before.seconds() * 0.7);
    EXPECT_DOUBLE_EQ(zoomed.pitches(), before.pitches()) << "the note axis stays";
    EXPECT_NEAR(view.mapping().secondsOfX(middle.x()), secondsUnderPointer, 1e-6) << "zoomed around the pointer";

    wheel(view, middle, 1, Qt::ControlModifier);
    EXPECT_LT(view.shownRange().pitches(), zoomed.pitches());
    EXPECT_DOUBLE_EQ(view.shownRange().seconds(), zoomed.seconds()) << "the time axis stays";

    // Scrolling moves the view without zooming it, and the scroll bar with it.
    const RollViewport beforeScroll = view.shownRange();
    wheel(view, middle, -3, Qt::ShiftModifier);
    EXPECT_GT(view.shownRange().startSeconds, beforeScroll.startSeconds);
    EXPECT_NEAR(view.shownRange().seconds(), beforeScroll.seconds(), 1e-9);
    EXPECT_EQ(view.horizontalScrollBar()->value(), std::lround(view.shownRange().startSeconds * 1000));
    view.horizontalScrollBar()->setValue(0);
    EXPECT_NEAR(view.shownRange().startSeconds, 0.0, 1e-9);

    for (int i = 0; i < 40; ++i) wheel(view, middle, -1);
    EXPECT_NEAR(view.shownRange().seconds(), 3.0, 0.05) << "zooming out stops at the whole recording";
}

}  // namespace
}  // namespace selvik::testing_support
