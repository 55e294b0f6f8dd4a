#pragma once

#include <QSize>
#include <QString>

namespace selvik {

class PianoRollPainter;

enum class PlotFormat { Png, Svg };

// The format a path's extension names (.png or .svg, in any case), if any.
bool plotFormatOf(const QString& path, PlotFormat* format);

// Writes the painter's whole view as a picture of `size` pixels: PNG through
// QImage, SVG through Qt SVG (the spectrogram embedded as an image, the
// bars, lines and texts as vector shapes). Needs a QGuiApplication for the
// fonts. False, with `error` set, when the file cannot be written.
bool writePlotFile(const PianoRollPainter& painter, QSize size, const QString& path, QString* error);

}  // namespace selvik
