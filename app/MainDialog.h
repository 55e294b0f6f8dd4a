#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/AnalysisSettings.h"
#include "app/MessageBoxService.h"
#include "midi/Song.h"
#include "pipeline/Analysis.h"
#include "pipeline/Recording.h"
#include "pipeline/SongOptions.h"
#include "preview/PreviewPlayer.h"
#include "recognition/RecognitionMethod.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;

namespace selvik {
class PlaybackEngine;
class SoundOutput;
}  // namespace selvik

namespace selvik::app {

class PianoRollWindow;
class UpDownControl;

// The program's only working window: load a recording, listen to it, set the
// recognition parameters, analyze, play the song on the chosen MIDI device
// and save it. Each control's object name is its identifier ("1001"), so
// tests and accessibility tools find it.
//
// The window computes nothing itself: a command reads the controls into the
// fields (readControls), calls the code that does the work, then switches
// buttons and updates the two labels. Everything runs on the user-interface
// thread; the end of a played song comes in from the stream's thread as a
// queued call.
//
// Life: the constructor runs the window start (initDialog); the end of the
// modal run, or the destruction if it never ran, releases what the window
// holds (onDestroy), once.
class MainDialog : public QDialog {
    Q_OBJECT

public:
    using SoundOutputFactory = std::function<std::unique_ptr<SoundOutput>()>;

    // `engine` plays the songs and must outlive the window; the preview
    // plays on the output `makeSoundOutput` gives.
    MainDialog(PlaybackEngine& engine, SoundOutputFactory makeSoundOutput, QWidget* parent = nullptr);
    ~MainDialog() override;

    // The commands, as the controls run them.
    void onLoadWav();
    void onPlayWav();
    void onAnalyze();
    void onRangeInputChanged();
    // The "Method:" list: only the controls the chosen method reads are
    // enabled, the range label shows what it covers, and Analyze is enabled
    // only when it can read the loaded recording. The song's controls (tempo,
    // grid, pitch bends and the tempo found) are shown, in rows below, only
    // for a method that follows the recording's tempo.
    void onMethodChanged();
    void toggleMidiPlayback();
    void onSaveMidi();
    void onMidiSetup();
    void onAbout();
    // Opens the piano-roll window (made on first use) or brings it to the front.
    void onPianoRoll();
    void onExit();
    // The end of a played song, on this window's thread. An end that belongs
    // to an earlier playback, or comes after a Stop, is ignored.
    void onSongEnd(std::uint32_t endTick, std::uint64_t playback);
    // A window-menu command; (id & 0xFFF0) == kAboutCommand opens the About box.
    void onSysCommand(std::uint32_t id, std::intptr_t parameter);

    // Steps 4 onwards of Load WAV, for a path already chosen.
    void loadWavFile(const QString& path);
    // Ends the modal run and releases what the window holds; refused while
    // an analysis runs.
    void done(int result) override;

    // Writes the song to `path`; "Unable to save MIDI file." on failure.
    void saveMidiFile(const QString& path);

    // The exchange between controls and fields. readControls is false when
    // the polyphony field holds no integer (it has then said so).
    bool readControls();
    void writeControls();

    static constexpr std::uint32_t kAboutCommand = 16;
    // The original 170 dialog units, and a row for the method list.
    static constexpr int kWindowHeight = 189;
    // With the song's controls shown: three rows more.
    static constexpr int kWindowHeightWithSong = 239;
    static inline const QString kAboutEntryText = QStringLiteral("&About Korvane...");

    // State, for the tests and the screenshots.
    bool midiPlaying() const { return midiPlaying_; }
    bool analyzing() const { return analyzing_; }
    const Song& song() const { return song_; }
    const Recording& recording() const { return recording_; }
    // The settings the last analysis ran with, after its method's own checks.
    const MethodSettings& lastSettings() const { return lastSettings_; }
    // The method chosen in the Method list.
    const MethodDescriptor& method() const;
    // The song's options as the controls give them: the method's defaults
    // for a method without those controls; empty (after saying why) when the
    // tempo field holds no tempo from 20 to 300.
    std::optional<SongOptions> songOptions();
    // The text after "Tempo found:", for the tests.
    QString tempoFoundText() const;
    const QString& wavePath() const { return wavePath_; }
    PreviewPlayer* previewPlayer() const { return previewPlayer_.get(); }
    AnalysisOutcome lastAnalysis() const { return lastAnalysis_; }
    QMenu* windowMenu() const { return windowMenu_; }
    // Null until Piano roll... is first pressed.
    PianoRollWindow* pianoRoll() const { return pianoRoll_; }
    std::int32_t polyphonyField() const { return polyphony_; }
    std::int32_t windowTypeField() const { return windowTypeIndex_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Empties the song; the last step before the device list is freed when
    // the window goes. A seam for tests that check what runs before it.
    virtual void clearSong();

private:
    void createControls();
    void initDialog();
    void onDestroy();
    void setStoppedButtons(bool stopped);
    // Load WAV for a path, through the reader of the chosen method.
    bool loadRecordingFile(const QString& path);
    void updateAnalyzeButton();
    void showSongControls(bool shown);
    void showTempoFound(const Analysis& analysis, const SongOptions& options);

    PlaybackEngine& engine_;
    SoundOutputFactory makeSoundOutput_;
    MessageBoxService messages_;

    bool midiPlaying_ = false;
    Song song_;
    Recording recording_;
    std::unique_ptr<PreviewPlayer> previewPlayer_;
    QString wavePath_;

    QPushButton* saveMidiButton_ = nullptr;
    QPushButton* midiSetupButton_ = nullptr;
    QPushButton* loadWavButton_ = nullptr;
    QPushButton* playMidiButton_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QSlider* thresholdSlider_ = nullptr;
    UpDownControl* polyphonySpin_ = nullptr;
    QPushButton* analyzeButton_ = nullptr;
    QPushButton* playWavButton_ = nullptr;
    QLabel* fileLabelControl_ = nullptr;
    QComboBox* blockSizeList_ = nullptr;
    QLineEdit* polyphonyEdit_ = nullptr;
    QComboBox* windowTypeList_ = nullptr;
    QComboBox* subsamplingList_ = nullptr;
    QComboBox* passesList_ = nullptr;
    QComboBox* methodList_ = nullptr;
    QLabel* rangeLabelControl_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    PianoRollWindow* pianoRoll_ = nullptr;
    QComboBox* tempoList_ = nullptr;
    QLineEdit* tempoEdit_ = nullptr;
    QComboBox* gridList_ = nullptr;
    QCheckBox* bendsBox_ = nullptr;
    QLabel* tempoFoundLabel_ = nullptr;
    std::vector<QWidget*> songControls_;  // shown only for methods that follow the tempo

    QString fileLabel_;
    std::int32_t blockSizeIndex_ = -1;
    std::int32_t polyphony_ = 0;
    std::int32_t windowTypeIndex_ = -1;
    std::int32_t subsamplingIndex_ = -1;
    std::int32_t passesIndex_ = -1;
    QString rangeLabel_;

    bool analyzing_ = false;
    bool destroyed_ = false;
    AnalysisOutcome lastAnalysis_ = AnalysisOutcome::NotRun;
    MethodSettings lastSettings_;
};

}  // namespace selvik::app
