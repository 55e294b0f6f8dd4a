#include <QFileDialog>
#include <QFileSystemModel>
#include <QTest>
#include <fstream>

#include "app/FileDialogs.h"
#include "app/RangeLabel.h"
#include "app/MessageBoxService.h"
#include "app/UpDownControl.h"
#include "MainDialogFixture.h"
#include "ModalAnswer.h"

namespace selvik::testing_support {
namespace {

using Commands = MainDialogTest;
using ::testing::ElementsAre;

TEST_F(Commands, ASuccessfulLoadEnablesPlayWavAndAnalyzeAndNamesTheFile) {
    dialog().loadWavFile(writeMelody("tune.wav"));
    EXPECT_EQ(labelText("1002"), "Selected file: tune.wav");
    EXPECT_EQ(dialog().wavePath(), folder.file("tune.wav"));
    EXPECT_EQ(buttonStates(), "110011 Play MIDI");
    EXPECT_TRUE(messages.empty());
}

TEST_F(Commands, AFailedLoadKeepsTheLabelAndButtonsAndForgetsThePath) {
    loadAndAnalyse();
    const std::string before = buttonStates();
    dialog().loadWavFile(QStringLiteral(SELVIK_TEST_DATA_DIR "/wav/gen_pcm16_48000.wav"));
    EXPECT_EQ(labelText("1002"), "Selected file: melody.wav");
    EXPECT_TRUE(dialog().wavePath().isEmpty());
    EXPECT_EQ(buttonStates(), before);
    EXPECT_GT(dialog().song().tracks[0].eventCount, 0u) << "the song is kept";
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "For better results use signals with more than 4096 samples.");
    // With no recording, Analyze does nothing and says nothing.
    messages.clear();
    button("1010")->click();
    EXPECT_EQ(dialog().lastAnalysis(), AnalysisOutcome::NotRun);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Commands, ACancelledOpenDialogChangesNothing) {
    dialog().loadWavFile(writeMelody("first.wav"));
    const std::string before = buttonStates();
    ModalAnswer answer({inspectThenReject()});
    button("1001")->click();
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_EQ(labelText("1002"), "Selected file: first.wav");
    EXPECT_EQ(dialog().wavePath(), folder.file("first.wav"));
    EXPECT_EQ(buttonStates(), before);
    EXPECT_GT(dialog().recording().signal.count(), 0);
}

TEST_F(Commands, TheOpenDialogListsUpperCaseWavFilesAndLoadsThem) {
    writeMelody("LOUD.WAV");
    writeMelody("quiet.wav");
    std::ofstream(folder.path() / "notes.txt") << "not a recording";
    QStringList listed;
    QString filter;
    ModalAnswer answer({
        [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            filter = dialog->selectedNameFilter();
            dialog->setDirectory(folder.qpath());
            auto* model = dialog->findChild<QFileSystemModel*>();
            ASSERT_NE(model, nullptr);
            const QModelIndex root = model->index(folder.qpath());
            for (int i = 0; i < 200 && model->rowCount(root) < 2; ++i) QTest::qWait(10);
            for (int row = 0; row < model->rowCount(root); ++row) {
                const QModelIndex item = model->index(row, 0, root);
                if (model->flags(item) & Qt::ItemIsEnabled) listed << model->fileName(item);
            }
            chooseFile(folder.qpath(), QStringLiteral("LOUD.WAV"))(modal);
        },
    });
    button("1001")->click();
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_EQ(filter, "WAV files (*.wav)");
    listed.sort();
    EXPECT_EQ(listed, QStringList({"LOUD.WAV", "quiet.wav"}));
    EXPECT_EQ(labelText("1002"), "Selected file: LOUD.WAV");
}

TEST_F(Commands, AnalyzeEnablesPlayMidiAndSaveMidi) {
    loadAndAnalyse();
    EXPECT_EQ(buttonStates(), "111111 Play MIDI");
    EXPECT_EQ(dialog().lastSettings().blockSize, 2048);
    EXPECT_EQ(dialog().lastSettings().subsampling, 4);
    EXPECT_FLOAT_EQ(dialog().lastSettings().threshold, 0.8f);
    // The last pass moved the bar across its blocks and back to the start.
    EXPECT_GT(control<QProgressBar>("1011")->maximum(), 0);
    EXPECT_EQ(control<QProgressBar>("1011")->value(), 0);
}

TEST_F(Commands, AnEmptiedPolyphonyFieldIsReportedAndTheAnalysisUsesTheEarlierValues) {
    dialog().loadWavFile(writeMelody("tune.wav"));
    control<QLineEdit>("1004")->clear();
    // Changed without a command: read only when the controls are read.
    list("1005")->setCurrentIndex(2);  // 4096
    list("1009")->setCurrentIndex(0);  // Gaussian
    button("1010")->click();
    EXPECT_THAT(messages, ElementsAre("Please enter an integer."));
    EXPECT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
    EXPECT_EQ(dialog().lastSettings().blockSize, 4096) << "the block size is read before the field";
    EXPECT_EQ(dialog().lastSettings().windowType, 2) << "the window type is not read after it";
    EXPECT_EQ(dialog().lastSettings().polyphony, 1);
    EXPECT_EQ(dialog().focusWidget(), control<QLineEdit>("1004"));

    messages.clear();
    button("1")->click();
    EXPECT_THAT(messages, ElementsAre("Please enter an integer."));
    EXPECT_TRUE(dialog().isVisible()) << "Exit must not close with an unreadable field";
    EXPECT_EQ(dialog().result(), QDialog::Rejected);

    QTest::keyClick(&dialog(), Qt::Key_Escape);
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_EQ(dialog().result(), QDialog::Rejected);
}

TEST_F(Commands, APolyphonyTypedOutsideTheRangeIsCorrectedWhenAnalyzing) {
    dialog().loadWavFile(writeMelody("tune.wav"));
    control<QLineEdit>("1004")->setText(QStringLiteral("20"));
    button("1010")->click();
    EXPECT_THAT(messages, ElementsAre("Bad polyphony value. Defaults to 1"));
    EXPECT_EQ(dialog().lastSettings().polyphony, 1);
}

TEST_F(Commands, ThePolyphonyFieldTakesDigitsOnly) {
    auto* field = control<QLineEdit>("1004");
    field->clear();
    QTest::keyClicks(field, QStringLiteral("-1a2 "));
    EXPECT_EQ(field->text(), "12");
}

TEST_F(Commands, EscapeClosesAtOnceWithoutReadingTheControls) {
    control<QLineEdit>("1004")->clear();
    QTest::keyClick(&dialog(), Qt::Key_Escape);
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_TRUE(messages.empty());
}

TEST_F(Commands, EnterInTheFieldTriggersExit) {
    auto* field = control<QLineEdit>("1004");
    field->setFocus();
    field->setText(QStringLiteral("3"));
    QTest::keyClick(field, Qt::Key_Return);
    for (int i = 0; i < 300 && dialog().isVisible(); ++i) QTest::qWait(10);
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_EQ(dialog().result(), QDialog::Accepted);
    EXPECT_EQ(dialog().polyphonyField(), 3);
}

TEST_F(Commands, TheRangeLabelFollowsBlockSizeAndPassesOnly) {
    // The block size is changed without a command first, so a label that
    // another list refreshed would show 8192's range.
    list("1005")->setCurrentIndex(3);
    QTest::keyClick(list("1009"), Qt::Key_Up);
    QTest::keyClick(list("1012"), Qt::Key_Down);
    EXPECT_EQ(list("1009")->currentIndex(), 1);
    EXPECT_EQ(list("1012")->currentIndex(), 3);
    EXPECT_EQ(labelText("1014"), "F#3 to G9");

    list("1005")->setCurrentIndex(1);
    QTest::keyClick(list("1005"), Qt::Key_Down);  // 4096
    EXPECT_EQ(labelText("1014"), QString::fromStdString(app::refreshRangeLabel(2, 1)));
    QTest::keyClick(list("1013"), Qt::Key_Down);  // 3 passes
    EXPECT_EQ(labelText("1014"), QString::fromStdString(app::refreshRangeLabel(2, 2)));
    EXPECT_NE(app::refreshRangeLabel(2, 2), app::refreshRangeLabel(2, 1));
    EXPECT_NE(app::refreshRangeLabel(2, 1), app::refreshRangeLabel(1, 1));
}

TEST_F(Commands, SavingAfterASecondLoadReportsThatTheSongCannotBeSaved) {
    loadAndAnalyse();
    dialog().loadWavFile(writeMelody("second.wav"));
    EXPECT_EQ(buttonStates(), "110111 Play MIDI") << "Play MIDI off, Save MIDI kept";
    useRealMessageBoxes();
    SeenMessageBox box;
    ModalAnswer answer({chooseFile(folder.qpath(), QStringLiteral("after-second-load")), pressOk(box)});
    button("1019")->click();
    EXPECT_EQ(answer.answered(), 2);
    EXPECT_EQ(box.text, "Unable to save MIDI file.");
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
    EXPECT_EQ(box.title, app::applicationTitle());
    EXPECT_EQ(box.owner, &dialog());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "after-second-load.mid"));
}

TEST_F(Commands, SaveWritesTheSongAddingTheMidSuffix) {
    loadAndAnalyse();
    ModalAnswer answer({chooseFile(folder.qpath(), QStringLiteral("song"))});
    button("1019")->click();
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_TRUE(messages.empty());
    const std::string written = readFile(folder.path() / "song.mid");
    EXPECT_EQ(written.substr(0, 4), "MThd");
}

TEST_F(Commands, SaveAsksBeforeReplacingAFile) {
    loadAndAnalyse();
    std::ofstream(folder.path() / "old.mid") << "keep me";
    QString question;
    ModalAnswer answer({chooseFile(folder.qpath(), QStringLiteral("old.mid")),
                        [&](QWidget* modal) {
                            auto* box = qobject_cast<QMessageBox*>(modal);
                            ASSERT_NE(box, nullptr);
                            question = box->text();
                            box->button(QMessageBox::No)->click();
                        },
                        inspectThenReject()});
    button("1019")->click();
    EXPECT_EQ(answer.answered(), 3);
    EXPECT_TRUE(question.contains(QStringLiteral("old.mid"))) << question.toStdString();
    EXPECT_EQ(readFile(folder.path() / "old.mid"), "keep me");
}

TEST(SaveDialog, ShowsTheMidiLabelAndListsEveryFile) {
    TestFolder folder;
    std::ofstream(folder.path() / "tune.mid") << "x";
    std::ofstream(folder.path() / "notes.txt") << "x";
    QFileDialog dialog;
    app::configureMidiSaveDialog(dialog);
    dialog.setDirectory(folder.qpath());
    dialog.show();
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(types->count(), 1);
    EXPECT_EQ(types->currentText(), "Archivos MIDI (*.mid)");
    EXPECT_EQ(dialog.defaultSuffix(), "mid");
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QModelIndex root = model->index(folder.qpath());
    for (int i = 0; i < 200 && model->rowCount(root) < 2; ++i) QTest::qWait(10);
    QStringList listed;
    for (int row = 0; row < model->rowCount(root); ++row) {
        const QModelIndex item = model->index(row, 0, root);
        if (model->flags(item) & Qt::ItemIsEnabled) listed << model->fileName(item);
    }
    listed.sort();
    EXPECT_EQ(listed, QStringList({"notes.txt", "tune.mid"}));
}

TEST_F(Commands, PlayWavPlaysTheLoadedRecording) {
    ASSERT_NE(dialog().previewPlayer(), nullptr);
    ASSERT_TRUE(dialog().previewPlayer()->soundReady()) << "SDL's dummy driver is expected";
    button("1000")->setEnabled(true);
    button("1000")->click();
    EXPECT_FALSE(dialog().previewPlayer()->hasSample()) << "nothing is loaded yet";
    dialog().loadWavFile(writeMelody("tune.wav"));
    button("1000")->click();
    EXPECT_TRUE(dialog().previewPlayer()->hasSample());
}

TEST_F(Commands, ACloseRequestDuringTheAnalysisIsRefused) {
    dialog().loadWavFile(writeMelody("tune.wav"));
    // Handled by the analysis itself, which lets Qt handle waiting events.
    QMetaObject::invokeMethod(&dialog(), "close", Qt::QueuedConnection);
    button("1010")->click();
    EXPECT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_GT(dialog().song().tracks[0].eventCount, 0u);
    dialog().close();
    EXPECT_FALSE(dialog().isVisible()) << "closes once the analysis is over";
}

}  // namespace
}  // namespace selvik::testing_support
