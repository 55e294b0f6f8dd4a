#include "app/ConverterApp.h"

#include "app/AboutDialog.h"
#include "app/MainDialog.h"
#include "app/ScreenshotTour.h"
#include "core/Version.h"
#include "preview/SdlSoundOutput.h"

namespace selvik::app {

ConverterApp::ConverterApp(int& argc, char** argv) : application_(argc, argv) {
    QApplication::setApplicationVersion(QString::fromUtf8(kVersion.data(), static_cast<qsizetype>(kVersion.size())));
    QApplication::setWindowIcon(programIcon());
    QApplication::setDesktopFileName(QStringLiteral("selvik"));
}

bool ConverterApp::initInstance() {
    MainDialog dialog(engine_, [] { return std::make_unique<SdlSoundOutput>(); });
    startScreenshotTourIfAsked(dialog);
    dialog.exec();
    return false;
}

int ConverterApp::run() {
    initInstance();
    return 0;
}

}  // namespace selvik::app
