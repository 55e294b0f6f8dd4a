#include "app/FileDialogs.h"

#include <QDir>
#include <QFileDialog>

namespace selvik::app {

namespace {

QString runForOnePath(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace

void configureWavOpenDialog(QFileDialog& dialog, bool anyAudio) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("wav"));
    if (anyAudio) {
        dialog.setNameFilters({kAudioFilterLabel, kWavFilterLabel});
    } else {
        dialog.setNameFilter(kWavFilterLabel);
    }
    // Recorders often write LOUD.WAV.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
}

void configureMidiSaveDialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("mid"));
    // Qt takes the last parenthesised part of a filter as its patterns and,
    // with the details hidden, shows what comes before it: the label reads
    // "Archivos MIDI (*.mid)" while the pattern "*" lists every file.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilter(kMidiFilterLabel + QStringLiteral(" (*)"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
}

QString askWavPath(QWidget* owner, bool anyAudio) {
    QFileDialog dialog(owner);
    configureWavOpenDialog(dialog, anyAudio);
    return runForOnePath(dialog);
}

QString askMidiSavePath(QWidget* owner) {
    QFileDialog dialog(owner);
    configureMidiSaveDialog(dialog);
    return runForOnePath(dialog);
}

}  // namespace selvik::app
