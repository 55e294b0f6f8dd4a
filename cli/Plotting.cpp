#include "cli/Plotting.h"

#include <QFile>
#include <QGuiApplication>

#include "cli/ExitStatus.h"
#include "core/MessageService.h"
#include "plot/PianoRollPainter.h"
#include "plot/PlotFile.h"
#include "plot/RollNotes.h"
#include "plot/LevelGrid.h"

namespace selvik::cli {

namespace {

QtMessageHandler gPreviousHandler = nullptr;

// Qt complains that there is no runtime folder where none is set (a
// container, a cron job); drawing in memory never uses it, so that warning
// would only worry the user.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) return;
    if (gPreviousHandler) gPreviousHandler(type, context, text);
}

// QGuiApplication keeps references to these for its whole life.
int gArgumentCount = 1;
char gProgramName[] = "selvik-convert";
char* gArguments[] = {gProgramName, nullptr};

}  // namespace

OffscreenGui::OffscreenGui() {
    // Whatever platform the environment names: the picture is drawn in memory.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    gPreviousHandler = qInstallMessageHandler(quietHandler);
    application_ = std::make_unique<QGuiApplication>(gArgumentCount, gArguments);
}

OffscreenGui::~OffscreenGui() {
    application_.reset();
    qInstallMessageHandler(gPreviousHandler);
}

int plotSong(const Signal& signal, const Song& song, const std::string& path, int width, int height) {
    PianoRollPainter painter;
    painter.setLevelGrid(std::make_shared<const LevelGridImage>(
        computeLevelGrid(signal.samples(), signal.count(), signal.sampleRate() > 0 ? signal.sampleRate() : 44100)));
    painter.setNotes(rollNotes(song));
    painter.setBeats(rollBeats(song));
    QString error;
    if (!writePlotFile(painter, QSize(width, height), QFile::decodeName(path.c_str()), &error)) {
        showMessage("Unable to write the plot. (cannot write " + path + ": " + error.toStdString() + ")");
        return kExitNothingWritten;
    }
    return kExitOk;
}

}  // namespace selvik::cli
