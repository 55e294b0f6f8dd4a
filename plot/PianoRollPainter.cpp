#include "plot/PianoRollPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "core/NoteName.h"

namespace selvik {

namespace {

const QColor kBackground(24, 24, 28);
const QColor kEmptyPlot(12, 8, 20);
const QColor kAxisText(220, 220, 220);
const QColor kGrid(255, 255, 255, 40);
const QColor kOctaveLine(255, 255, 255, 90);
const QColor kBarFill(255, 70, 70, 80);
const QColor kBarEdge(255, 90, 90);
const QColor kPlayhead(255, 255, 255);
const QColor kBarLine(150, 210, 255, 190);
const QColor kBeatLine(150, 210, 255, 95);
// Lines closer than this many pixels are not drawn: beats first, then bars.
constexpr double kLeastBeatSpacing = 6.0;
constexpr double kLeastBarSpacing = 3.0;

// The step between labelled seconds: 1, 2 or 5 times a power of ten, the
// smallest that leaves `minimumPixels` between labels.
double timeStep(double pixelsPerSecond, double minimumPixels) {
    const double least = minimumPixels / pixelsPerSecond;
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= least) return factor * power;
    }
    return 10.0 * power;
}

QString secondsText(double seconds, double step) {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return QString::number(seconds, 'f', decimals) + QStringLiteral(" s");
}

}  // namespace

void PianoRollPainter::setLevelGrid(std::shared_ptr<const LevelGridImage> spectrogram) {
    spectrogram_ = std::move(spectrogram);
}

void PianoRollPainter::setNotes(std::vector<RollNote> notes) {
    notes_ = std::move(notes);
    longest_ = 0.0;
    for (const RollNote& note : notes_) longest_ = std::max(longest_, note.endSeconds - note.startSeconds);
}

double PianoRollPainter::durationSeconds() const {
    double end = spectrogram_ ? spectrogram_->durationSeconds() : 0.0;
    for (const RollNote& note : notes_) end = std::max(end, note.endSeconds);
    return end;
}

RollViewport PianoRollPainter::wholeView() const {
    RollViewport view;
    view.startSeconds = 0.0;
    view.endSeconds = std::max(durationSeconds(), 1.0);
    if (notes_.empty()) {
        view.lowPitch = 57 - 0.5;
        view.highPitch = 81 + 0.5;
        return view;
    }
    int lowest = 127;
    int highest = 0;
    for (const RollNote& note : notes_) {
        lowest = std::min(lowest, note.number);
        highest = std::max(highest, note.number);
    }
    // Room for the partials above the notes and for a note more below.
    view.lowPitch = std::max(kLowestPitch, lowest - 5.5);
    view.highPitch = std::min(kHighestPitch, std::max(highest + 12.5, view.lowPitch + 24.0));
    return view;
}

PixelRect PianoRollPainter::plotArea(QSize size) const {
    const QFontMetricsF metrics(font_);
    const double left = metrics.horizontalAdvance(QStringLiteral("C#-1")) + 12.0;
    const double bottom = metrics.height() + 10.0;
    const double top = 6.0;
    const double right = metrics.horizontalAdvance(QStringLiteral("00.0 s")) / 2 + 4.0;
    return {left, top, std::max(1.0, size.width() - left - right), std::max(1.0, size.height() - top - bottom)};
}

void PianoRollPainter::paint(QPainter& painter, QSize size, const RollViewport& viewport,
                             std::optional<double> playheadSeconds) const {
    painter.save();
    painter.setFont(font_);
    painter.fillRect(QRect(QPoint(0, 0), size), kBackground);
    const RollMapping mapping = this->mapping(size, viewport);
    const PixelRect& area = mapping.plot();
    const QRectF plot(area.left, area.top, area.width, area.height);

    painter.save();
    painter.setClipRect(plot);
    painter.fillRect(plot, kEmptyPlot);
    if (spectrogram_) spectrogram_->draw(painter, mapping);

    // A line between the rows of every note when they are tall enough, and
    // below every C, so a bar's row can be followed to its name.
    const double perNote = mapping.pixelsPerNote();
    const int lowNote = std::max(0, static_cast<int>(std::ceil(viewport.lowPitch)));
    const int highNote = std::min(127, static_cast<int>(std::floor(viewport.highPitch)));
    for (int note = lowNote; note <= highNote; ++note) {
        const bool octave = note % 12 == 0;
        if (!octave && perNote < 8.0) continue;
        const double y = mapping.yOfPitch(note - 0.5);
        painter.setPen(QPen(octave ? kOctaveLine : kGrid, 0));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }

    paintBeats(painter, mapping);

    const NoteRange range = notesInTime(notes_, longest_, viewport.startSeconds, viewport.endSeconds);
    painter.setPen(QPen(kBarEdge, perNote >= 6.0 ? 1.5 : 1.0));
    painter.setBrush(kBarFill);
    for (std::size_t i = range.first; i < range.last; ++i) {
        const RollNote& note = notes_[i];
        if (note.number + 0.5 < viewport.lowPitch || note.number - 0.5 > viewport.highPitch) continue;
        const PixelRect bar = mapping.barOf(note);
        // Even a note shorter than a pixel stays visible.
        painter.drawRect(QRectF(bar.left, bar.top, std::max(bar.width, 1.0), bar.height));
    }

    if (playheadSeconds && *playheadSeconds >= viewport.startSeconds && *playheadSeconds <= viewport.endSeconds) {
        const double x = mapping.xOfSeconds(*playheadSeconds);
        painter.setPen(QPen(kPlayhead, 2.0));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    painter.restore();

    painter.setPen(QPen(kAxisText, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);
    paintNoteAxis(painter, mapping);
    paintTimeAxis(painter, mapping);
    painter.restore();
}

void PianoRollPainter::paintBeats(QPainter& painter, const RollMapping& mapping) const {
    if (beats_.size() < 2) return;
    const RollViewport& viewport = mapping.viewport();
    const PixelRect& plot = mapping.plot();
    // The song's typical beat and bar decide (a short bar before the first
    // downbeat does not), so that zooming never shows lines for one part of
    // it and not for another.
    std::vector<double> beatSpans, barSpans;
    double lastBar = -1.0;
    for (std::size_t i = 0; i < beats_.size(); ++i) {
        if (i > 0) beatSpans.push_back(beats_[i].seconds - beats_[i - 1].seconds);
        if (beats_[i].barLine) {
            if (lastBar >= 0.0) barSpans.push_back(beats_[i].seconds - lastBar);
            lastBar = beats_[i].seconds;
        }
    }
    auto typical = [](std::vector<double>& spans) {
        if (spans.empty()) return 1e300;
        std::nth_element(spans.begin(), spans.begin() + static_cast<std::ptrdiff_t>(spans.size() / 2), spans.end());
        return spans[spans.size() / 2];
    };
    const double beatSpan = typical(beatSpans);
    const double barSpan = typical(barSpans);
    const bool drawBeats = beatSpan * mapping.pixelsPerSecond() >= kLeastBeatSpacing;
    const bool drawBars = barSpan * mapping.pixelsPerSecond() >= kLeastBarSpacing;
    const auto first = std::lower_bound(beats_.begin(), beats_.end(), viewport.startSeconds,
                                        [](const RollBeat& beat, double s) { return beat.seconds < s; });
    for (auto beat = first; beat != beats_.end() && beat->seconds <= viewport.endSeconds; ++beat) {
        if (beat->barLine ? !drawBars : !drawBeats) continue;
        const double x = mapping.xOfSeconds(beat->seconds);
        painter.setPen(QPen(beat->barLine ? kBarLine : kBeatLine, beat->barLine ? 2.0 : 1.0));
        painter.drawLine(QPointF(x, plot.top), QPointF(x, plot.bottom()));
    }
}

void PianoRollPainter::paintNoteAxis(QPainter& painter, const RollMapping& mapping) const {
    const QFontMetricsF metrics(font_);
    const RollViewport& viewport = mapping.viewport();
    const PixelRect& plot = mapping.plot();
    // Every note's name when the rows are tall enough for the text, else
    // every C's only, else every other C's.
    const double perNote = mapping.pixelsPerNote();
    const double lineHeight = metrics.height();
    const int every = perNote >= lineHeight ? 1 : perNote * 12 >= lineHeight * 1.2 ? 12 : 24;
    const int lowNote = std::max(0, static_cast<int>(std::ceil(viewport.lowPitch - 0.5)));
    const int highNote = std::min(127, static_cast<int>(std::floor(viewport.highPitch + 0.5)));
    painter.setPen(QPen(kAxisText, 0));
    for (int note = lowNote; note <= highNote; ++note) {
        if (note % every != 0) continue;
        const double y = mapping.yOfPitch(note);
        if (y < plot.top - 1 || y > plot.bottom() + 1) continue;
        const QRectF box(0, y - lineHeight / 2, plot.left - 6.0, lineHeight);
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(noteName(note)));
        painter.drawLine(QPointF(plot.left - 4.0, y), QPointF(plot.left, y));
    }
}

void PianoRollPainter::paintTimeAxis(QPainter& painter, const RollMapping& mapping) const {
    const QFontMetricsF metrics(font_);
    const RollViewport& viewport = mapping.viewport();
    const PixelRect& plot = mapping.plot();
    const double step = timeStep(mapping.pixelsPerSecond(),
                                 metrics.horizontalAdvance(QStringLiteral("000.00 s")) + 16.0);
    painter.setPen(QPen(kAxisText, 0));
    const double first = std::ceil(viewport.startSeconds / step - 1e-9) * step;
    for (double seconds = first; seconds <= viewport.endSeconds + 1e-9; seconds += step) {
        const double x = mapping.xOfSeconds(seconds);
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4.0));
        const double width = metrics.horizontalAdvance(QStringLiteral("000.00 s")) + 8.0;
        const QRectF box(x - width / 2, plot.bottom() + 4.0, width, metrics.height() + 4.0);
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, secondsText(std::abs(seconds) < step / 2 ? 0.0 : seconds, step));
    }
}

}  // namespace selvik
