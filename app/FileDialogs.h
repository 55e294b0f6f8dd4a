#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace selvik::app {

inline const QString kWavFilterLabel = QStringLiteral("WAV files (*.wav)");
inline const QString kMidiFilterLabel = QStringLiteral("Archivos MIDI (*.mid)");

// Qt's own dialogs are used on every desktop, so that the filters behave the
// same everywhere (a desktop's native dialog may match patterns by case).

// The open dialog: existing files only, one filter that lists .wav files
// whatever the case of their letters, default suffix "wav".
void configureWavOpenDialog(QFileDialog& dialog);
// The save dialog: default suffix "mid", one filter labelled
// kMidiFilterLabel that lists every file, confirmation before overwriting.
void configureMidiSaveDialog(QFileDialog& dialog);

// Run the dialogs modally, owned by `owner`; the chosen full path, or empty
// when the user cancels.
QString askWavPath(QWidget* owner);
QString askMidiSavePath(QWidget* owner);

}  // namespace selvik::app
