#include "app/ScreenshotTour.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QTimer>
#include <cstdio>

#include "app/AboutDialog.h"
#include "app/MainDialog.h"
#include "app/MidiSetupDialog.h"
#include "app/PianoRollWindow.h"

namespace selvik::app {

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

bool save(QWidget& widget, const QDir& folder, const char* name) {
    settle();
    const QString path = folder.filePath(QString::fromLatin1(name));
    const bool ok = widget.grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// Waits for the piano roll's spectrogram (computed on its own thread; a long
// wait means it failed) and saves the window.
bool saveRoll(PianoRollWindow& roll, const QDir& folder, const char* name) {
    QElapsedTimer waited;
    waited.start();
    while (roll.computing() && waited.elapsed() < 30000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return !roll.computing() && save(roll, folder, name);
}

void runTour(MainDialog& dialog, const QDir& folder, const QString& wav) {
    std::printf("font %s\n", qPrintable(QFontInfo(dialog.font()).family()));
    bool ok = save(dialog, folder, "main-window-start.png");
    if (!wav.isEmpty()) dialog.loadWavFile(wav);
    dialog.onAnalyze();
    ok = save(dialog, folder, "main-window-analysed.png") && ok;
    dialog.onPianoRoll();
    if (PianoRollWindow* roll = dialog.pianoRoll()) {
        ok = saveRoll(*roll, folder, "piano-roll.png") && ok;
        roll->close();
    } else {
        ok = false;
    }
    // The melody tracker: the song's rows, the tempo found, and the bar and
    // beat lines on the piano roll.
    if (auto* methods = dialog.findChild<QComboBox*>(QStringLiteral("1022"))) {
        methods->setCurrentIndex(1);
        dialog.onMethodChanged();
        if (!wav.isEmpty()) dialog.loadWavFile(wav);
        dialog.onAnalyze();
        ok = save(dialog, folder, "main-window-melody.png") && ok;
        dialog.onPianoRoll();
        if (PianoRollWindow* roll = dialog.pianoRoll()) {
            ok = saveRoll(*roll, folder, "piano-roll-melody.png") && ok;
            roll->close();
        }
    }
    {
        MidiSetupDialog setup(&dialog);
        setup.selectedIndex = 0;
        setup.show();
        ok = save(setup, folder, "midi-setup.png") && ok;
    }
    {
        AboutDialog about(&dialog);
        about.show();
        ok = save(about, folder, "about.png") && ok;
    }
    std::fflush(stdout);
    dialog.done(ok ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace

void startScreenshotTourIfAsked(MainDialog& dialog) {
    const QString folderName = qEnvironmentVariable("SELVIK_SCREENSHOT_DIR");
    if (folderName.isEmpty()) return;
    const QDir folder(folderName);
    const QString wav = qEnvironmentVariable("SELVIK_SCREENSHOT_WAV");
    // Once the window's modal run has shown it.
    QTimer::singleShot(300, &dialog, [&dialog, folder, wav] { runTour(dialog, folder, wav); });
}

}  // namespace selvik::app
