// The "Method:" list: the spectral method stays the start choice and behaves
// as before; our methods take the threshold slider for their own settings.

#include <QDir>
#include <QFileDialog>
#include <QTest>

#include <cstdlib>

#include "MainDialogFixture.h"
#include "app/FileDialogs.h"
#include "cli/Conversion.h"
#include "recognition/melody/MelodyTracker.h"
#include "support/ClassicSong.h"

namespace selvik::testing_support {
namespace {

using Method = MainDialogTest;

TEST_F(Method, StartsOnTheSpectralMethod) {
    QComboBox* methods = list("1022");
    ASSERT_NE(methods, nullptr);
    ASSERT_EQ(methods->count(), 3);
    EXPECT_EQ(methods->itemText(0), "Spectral (classic)");
    EXPECT_EQ(methods->itemText(1), "Melody tracker");
    EXPECT_EQ(methods->itemText(2), "Polyphonic (learned)");
    EXPECT_EQ(methods->currentIndex(), 0);
    EXPECT_TRUE(methods->isEnabled());
    for (const char* id : {"1005", "1009", "1012", "1013"}) EXPECT_TRUE(list(id)->isEnabled()) << id;
}

TEST_F(Method, OurMethodsShowTheirOwnRangesAndSetTheSpectralSettingsAside) {
    QTest::keyClick(list("1022"), Qt::Key_Down);
    ASSERT_EQ(list("1022")->currentIndex(), 1);
    EXPECT_EQ(labelText("1014"), QString::fromStdString(melodyTrackerRange()));
    for (const char* id : {"1005", "1009", "1012", "1013"}) EXPECT_FALSE(list(id)->isEnabled()) << id;
    EXPECT_FALSE(control<QLineEdit>("1004")->isEnabled());
    EXPECT_TRUE(control<QSlider>("1008")->isEnabled()) << "the slider sets the sensitivity";

    QTest::keyClick(list("1022"), Qt::Key_Down);
    ASSERT_EQ(list("1022")->currentIndex(), 2);
    EXPECT_EQ(labelText("1014"), "A0 to C8") << "the learned recognizer covers the piano's keys";
    for (const char* id : {"1005", "1009", "1012", "1013"}) EXPECT_FALSE(list(id)->isEnabled()) << id;
    EXPECT_TRUE(control<QSlider>("1008")->isEnabled());

    QTest::keyClick(list("1022"), Qt::Key_Up);
    QTest::keyClick(list("1022"), Qt::Key_Up);
    EXPECT_EQ(labelText("1014"), "F#3 to G9");
    for (const char* id : {"1005", "1009", "1012", "1013"}) EXPECT_TRUE(list(id)->isEnabled()) << id;
    EXPECT_TRUE(control<QLineEdit>("1004")->isEnabled());
}

TEST_F(Method, AnalyzeWithTheTrackerGivesTheMelodysNotes) {
    dialog().loadWavFile(writeMelody("melody.wav"));
    QTest::keyClick(list("1022"), Qt::Key_Down);
    button("1010")->click();
    ASSERT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
    EXPECT_EQ(buttonStates(), "111111 Play MIDI");
    const std::vector<cli::PrintedNote> notes = cli::notesOfSong(dialog().song());
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].number, 69);
    EXPECT_EQ(notes[1].number, 76);

    // The same recording through the spectral method, as before.
    QTest::keyClick(list("1022"), Qt::Key_Up);
    button("1010")->click();
    ASSERT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
    Song classic;
    ASSERT_EQ(classicSong(folder.file("melody.wav").toStdString(), classic), AnalysisOutcome::Completed);
    EXPECT_EQ(cli::formatNotes(dialog().song()), cli::formatNotes(classic));
}

// A FLAC only the other methods read: loaded in the tracker's mode, it is
// analysed there; the spectral method then cannot analyse it, and says why.
TEST_F(Method, AFileOnlyTheOtherMethodsReadLeavesTheSpectralMethodWithoutAnalyze) {
    const QString wav = writeMelody("melody.wav");
    const std::string flac = folder.file("melody.flac").toStdString();
    ASSERT_EQ(std::system(("sox -D '" + wav.toStdString() + "' '" + flac + "' 2>/dev/null").c_str()), 0);

    // The spectral method's reader refuses it, as it always has.
    dialog().loadWavFile(QString::fromStdString(flac));
    ASSERT_GE(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Bad file format");
    EXPECT_TRUE(dialog().wavePath().isEmpty());
    messages.clear();

    QTest::keyClick(list("1022"), Qt::Key_Down);
    dialog().loadWavFile(QString::fromStdString(flac));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(labelText("1002"), "Selected file: melody.flac");
    EXPECT_TRUE(button("1010")->isEnabled());
    button("1010")->click();
    ASSERT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
    EXPECT_EQ(cli::notesOfSong(dialog().song()).size(), 2u);

    QTest::keyClick(list("1022"), Qt::Key_Up);
    EXPECT_FALSE(button("1010")->isEnabled());
    EXPECT_EQ(labelText("1014"), "44.1 kHz WAV only");
    EXPECT_FALSE(control<QLabel>("1014")->toolTip().isEmpty());

    QTest::keyClick(list("1022"), Qt::Key_Down);
    EXPECT_TRUE(button("1010")->isEnabled());
    EXPECT_EQ(labelText("1014"), QString::fromStdString(melodyTrackerRange()));
}

TEST_F(Method, TheOpenDialogOffersAudioFilesOnlyOutsideTheSpectralMethod) {
    QFileDialog classic;
    app::configureWavOpenDialog(classic, false);
    EXPECT_EQ(classic.nameFilters(), QStringList({app::kWavFilterLabel}));
    QFileDialog any;
    app::configureWavOpenDialog(any, true);
    ASSERT_EQ(any.nameFilters().size(), 2);
    EXPECT_TRUE(any.nameFilters()[0].startsWith("Audio files (")) << any.nameFilters()[0].toStdString();
    EXPECT_EQ(any.nameFilters()[1], app::kWavFilterLabel);
    EXPECT_FALSE(any.filter() & QDir::CaseSensitive) << "RECORDING.FLAC is listed too";
}

}  // namespace
}  // namespace selvik::testing_support
