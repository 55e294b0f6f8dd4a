#include "app/ScreenshotTour.h"

#include <QApplication>
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

void runTour(MainDialog& dialog, const QDir& folder, const QString& wav) {
    std::printf("font %s\n", qPrintable(QFontInfo(dialog.font()).family()));
    bool ok = save(dialog, folder, "main-window-start.png");
    if (!wav.isEmpty()) dialog.loadWavFile(wav);
    dialog.onAnalyze();
    ok = save(dialog, folder, "main-window-analysed.png") && ok;
    dialog.onPianoRoll();
    if (PianoRollWindow* roll = dialog.pianoRoll()) {
        // The spectrogram comes from its own thread; a long wait means it failed.
        QElapsedTimer waited;
        waited.start();
        while (roll->computing() && waited.elapsed() < 30000) QApplication::processEvents(QEventLoop::AllEvents, 20);
        ok = !roll->computing() && save(*roll, folder, "piano-roll.png") && ok;
        roll->close();
    } else {
        ok = false;
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
