#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace selvik::app {

inline const QString kWavFilterLabel = QStringLiteral("WAV files (*.wav)");
inline const QString kAudioFilterLabel = QStringLiteral(
    "Audio files (*.wav *.wave *.flac *.ogg *.oga *.opus *.mp3 *.aif *.aiff *.aifc)");
inline const QString kMidiFilterLabel = QStringLiteral("Archivos MIDI (*.mid)");

// Qt's own dialogs are used on every desktop, so that the filters behave the
// same everywhere (a desktop's native dialog may match patterns by case).

// The open dialog: existing files only, filters that match whatever the case
// of the letters, default suffix "wav". For the spectral method one filter
// that lists .wav files; with `anyAudio` the audio files the other methods
// read first, then the .wav files.
void configureWavOpenDialog(QFileDialog& dialog, bool anyAudio = false);
// The save dialog: default suffix "mid", one filter labelled
// kMidiFilterLabel that lists every file, confirmation before overwriting.
void configureMidiSaveDialog(QFileDialog& dialog);

// Run the dialogs modally, owned by `owner`; the chosen full path, or empty
// when the user cancels.
QString askWavPath(QWidget* owner, bool anyAudio = false);
QString askMidiSavePath(QWidget* owner);

}  // namespace selvik::app
