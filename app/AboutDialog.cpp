#include "app/AboutDialog.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <array>

#include "app/DialogUnits.h"
#include "app/IconPlacement.h"
#include "core/Version.h"

// The images are compiled into this static library, whose resource
// registration the linker would drop unless something refers to it.
static void registerProgramResources() { Q_INIT_RESOURCE(selvik); }

namespace selvik::app {

QIcon programIcon() {
    registerProgramResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/selvik/icon-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/selvik/icon-32.png"), QSize(32, 32));
    return icon;
}

IconView::IconView(QIcon icon, QWidget* parent) : QWidget(parent), icon_(std::move(icon)) {}

QSize IconView::drawnSize() const {
    QSize best(16, 16);
    for (const QSize& size : icon_.availableSizes()) {
        if (size.width() <= width() && size.height() <= height() && size.width() > best.width()) best = size;
    }
    return best;
}

QPoint IconView::drawnPosition() const { return centredIconPosition(size(), drawnSize()); }

void IconView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QSize size = drawnSize();
    painter.drawPixmap(drawnPosition(), icon_.pixmap(size));
}

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent), close_(new QPushButton(QStringLiteral("Close this box"), this)) {
    setWindowTitle(QStringLiteral("About SELVIK"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du(font());

    auto addLine = [&](const QString& text, int y) {
        auto* label = new QLabel(text, this);
        // Shown as written: no markup, no access keys.
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        label->setGeometry(du.rect(10, y, 161, 8));
        return label;
    };
    addLine(QStringLiteral("SELVIK - WAV to MIDI converter"), 5)->setObjectName(QStringLiteral("aboutTitle"));

    const std::array<QString, 7> credits = {
        QStringLiteral("Version %1").arg(QString::fromUtf8(kVersion.data(), static_cast<qsizetype>(kVersion.size()))),
        QStringLiteral("Turns a recorded melody into a MIDI song."),
        QStringLiteral("Notes are found in the spectrum of each block,"),
        QStringLiteral("over up to four bands, from 12000 Hz down."),
        QStringLiteral("Built with Qt, SDL, FluidSynth and RtMidi;"),
        QStringLiteral("thanks to their authors."),
        QStringLiteral("Free to use, share and change."),
    };
    const std::array<int, 7> rows = {20, 35, 60, 70, 80, 90, 111};
    for (std::size_t i = 0; i < credits.size(); ++i) {
        addLine(credits[i], rows[i])->setObjectName(QStringLiteral("credits%1").arg(i + 1));
    }

    // The icon sits in the gap between the second and the third line.
    auto* icon = new IconView(programIcon(), this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setGeometry(du.rect(10, 42, 161, 18));

    close_->setObjectName(QStringLiteral("1"));
    close_->setDefault(true);
    close_->setGeometry(du.rect(10, 130, 160, 14));
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(du.size(182, 151));
}

}  // namespace selvik::app
