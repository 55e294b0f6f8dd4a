#include "plot/PlotFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgGenerator>

#include "plot/PianoRollPainter.h"

namespace selvik {

bool plotFormatOf(const QString& path, PlotFormat* format) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) {
        *format = PlotFormat::Png;
        return true;
    }
    if (suffix == QLatin1String("svg")) {
        *format = PlotFormat::Svg;
        return true;
    }
    return false;
}

bool writePlotFile(const PianoRollPainter& painter, QSize size, const QString& path, QString* error) {
    PlotFormat format{};
    if (!plotFormatOf(path, &format)) {
        *error = QStringLiteral("not a .png or .svg file name");
        return false;
    }
    if (size.width() < 1 || size.height() < 1) {
        *error = QStringLiteral("empty picture size");
        return false;
    }
    // Written beside the target and renamed over it, so a failed write never
    // leaves half a picture in its place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (format == PlotFormat::Png) {
        QImage image(size, QImage::Format_RGB32);
        if (image.isNull()) {
            *error = QStringLiteral("out of memory");
            return false;
        }
        {
            QPainter target(&image);
            painter.paint(target, size, painter.wholeView());
        }
        if (!image.save(&file, "PNG")) {
            *error = QStringLiteral("cannot encode the PNG");
            return false;
        }
    } else {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(QStringLiteral("Piano roll"));
        QPainter target;
        if (!target.begin(&generator)) {
            *error = QStringLiteral("cannot start the SVG");
            return false;
        }
        painter.paint(target, size, painter.wholeView());
        target.end();
        // The generator gives the size in millimetres at its resolution,
        // which each viewer turns back into pixels at a resolution of its
        // own; plain numbers are pixels everywhere.
        QByteArray text = buffer.data();
        static const QRegularExpression header(QStringLiteral("<svg width=\"[0-9.]+mm\" height=\"[0-9.]+mm\""));
        const QString head = QString::fromUtf8(text.left(400));
        const QRegularExpressionMatch match = header.match(head);
        if (match.hasMatch()) {
            const QByteArray sized = QStringLiteral("<svg width=\"%1\" height=\"%2\"")
                                         .arg(size.width())
                                         .arg(size.height())
                                         .toUtf8();
            text.replace(match.capturedStart(), match.capturedLength(), sized);
        }
        if (file.write(text) != text.size()) {
            *error = file.errorString();
            return false;
        }
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace selvik
