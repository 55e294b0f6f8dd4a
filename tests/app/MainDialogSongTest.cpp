// The song's rows of the main window: tempo, grid, pitch bends and the tempo
// found, for the methods that follow the recording's tempo.

#include <QCheckBox>
#include <QTest>

#include "MainDialogFixture.h"
#include "app/DialogUnits.h"
#include "midi/TempoMap.h"

namespace selvik::testing_support {
namespace {

using SongRows = MainDialogTest;

constexpr const char* kSongControls[] = {"1023", "1024", "1025", "1026", "1027"};

// Tones on every beat at 100 BPM, two pitches in turn, 12 s.
QString writeBeats(const TestFolder& folder) {
    std::vector<std::int16_t> samples;
    for (int beat = 0; beat < 20; ++beat) {
        const std::vector<std::int16_t> tone = sine(beat % 2 ? 523.25 : 440.0, 19845, 12000.0);
        samples.insert(samples.end(), tone.begin(), tone.end());
        samples.insert(samples.end(), 26460 - tone.size(), 0);
    }
    writeWav16(folder.path() / "beats.wav", samples);
    return folder.file("beats.wav");
}

void chooseTracker(QComboBox* methods) {
    QTest::keyClick(methods, Qt::Key_Down);
    ASSERT_EQ(methods->currentIndex(), 1);
}

TEST_F(SongRows, AreHiddenForTheSpectralMethodAndShownForTheTracker) {
    const app::DialogUnits du(dialog().font());
    for (const char* id : kSongControls) EXPECT_FALSE(control(id)->isVisible()) << id;
    EXPECT_EQ(dialog().size(), du.size(229, app::MainDialog::kWindowHeight));

    chooseTracker(list("1022"));
    for (const char* id : kSongControls) EXPECT_TRUE(control(id)->isVisible()) << id;
    EXPECT_EQ(dialog().size(), du.size(229, app::MainDialog::kWindowHeightWithSong));
    EXPECT_EQ(list("1023")->currentText(), "Automatic");
    EXPECT_FALSE(control<QLineEdit>("1024")->isEnabled()) << "the BPM field is for a fixed tempo";
    EXPECT_EQ(list("1025")->currentText(), "Off");
    EXPECT_EQ(list("1025")->count(), 7);
    EXPECT_FALSE(control<QCheckBox>("1026")->isChecked());

    QTest::keyClick(list("1022"), Qt::Key_Up);
    for (const char* id : kSongControls) EXPECT_FALSE(control(id)->isVisible()) << id;
    EXPECT_EQ(dialog().size(), du.size(229, app::MainDialog::kWindowHeight));
}

TEST_F(SongRows, AnAnalysisShowsTheTempoAndMeterFoundAndLaysTheSongOnThem) {
    dialog().loadWavFile(writeBeats(folder));
    chooseTracker(list("1022"));
    button("1010")->click();
    ASSERT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
    const QString found = dialog().tempoFoundText();
    EXPECT_TRUE(found.startsWith("100.") || found.startsWith("99.")) << found.toStdString();
    EXPECT_TRUE(found.endsWith("/4")) << found.toStdString();
    EXPECT_EQ(labelText("1027"), found);
    ASSERT_TRUE(dialog().song().timeSignature);

    // The same recording through the spectral method keeps the fixed grid.
    QTest::keyClick(list("1022"), Qt::Key_Up);
    button("1010")->click();
    EXPECT_FALSE(dialog().song().timeSignature);
    EXPECT_EQ(dialog().song().tempo, 120.0);
    EXPECT_TRUE(dialog().song().tempoChanges.empty());
}

TEST_F(SongRows, TwoNotesAreNoSteadyBeat) {
    dialog().loadWavFile(writeMelody("melody.wav"));
    chooseTracker(list("1022"));
    button("1010")->click();
    ASSERT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
    EXPECT_EQ(dialog().tempoFoundText(), "no steady beat (120 BPM, 4/4)");
    EXPECT_EQ(dialog().song().tempo, 120.0);
    EXPECT_EQ(dialog().song().timeSignature, (TimeSignature{4, 4}));
}

TEST_F(SongRows, AFixedTempoGridAndBendsMakeTheSongTheyName) {
    dialog().loadWavFile(writeBeats(folder));
    chooseTracker(list("1022"));
    list("1023")->setCurrentIndex(1);
    ASSERT_TRUE(control<QLineEdit>("1024")->isEnabled());
    control<QLineEdit>("1024")->setText("90");
    list("1025")->setCurrentIndex(3);  // 1/16
    control<QCheckBox>("1026")->setChecked(true);
    button("1010")->click();
    ASSERT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
    EXPECT_EQ(dialog().tempoFoundText(), "fixed at 90.0 BPM, 4/4");
    const Song& song = dialog().song();
    EXPECT_EQ(song.tempo, 90.0);
    EXPECT_TRUE(song.tempoChanges.empty());
    bool bends = false;
    for (std::uint32_t i = 0; i < song.tracks[0].eventCount; ++i) {
        const MidiEvent& e = song.tracks[0].events[i];
        bends = bends || (e.status & 0xF0) == 0xE0;
        if ((e.status & 0xF0) == 0x90) {
            EXPECT_EQ(e.time % 96, 0u) << "on the 1/16 grid";
        }
    }
    EXPECT_TRUE(bends);
}

TEST_F(SongRows, ATempoOutsideTheRangeIsRefusedBeforeAnyAnalysis) {
    dialog().loadWavFile(writeBeats(folder));
    chooseTracker(list("1022"));
    list("1023")->setCurrentIndex(1);
    for (const char* text : {"19", "301", ""}) {
        messages.clear();
        control<QLineEdit>("1024")->setText(text);
        button("1010")->click();
        EXPECT_EQ(dialog().lastAnalysis(), AnalysisOutcome::NotRun) << text;
        EXPECT_EQ(dialog().song().totalEvents, 0u) << text;
        ASSERT_EQ(messages.size(), 1u) << text;
        EXPECT_EQ(messages[0], "Please enter a tempo from 20 to 300 BPM.");
    }
}

}  // namespace
}  // namespace selvik::testing_support
