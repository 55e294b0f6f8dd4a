#include "app/PianoRollView.h"

#include <QHelpEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/NoteName.h"

namespace selvik::app {

namespace {

// Scroll-bar units: milliseconds and hundredths of a note.
constexpr double kBarUnitsPerSecond = 1000.0;
constexpr double kBarUnitsPerNote = 100.0;
// Zoom per wheel notch (120 units of angle).
constexpr double kZoomPerNotch = 1.25;

RollViewport startView() {
    RollViewport view;
    view.startSeconds = 0.0;
    view.endSeconds = 10.0;
    return view;
}

}  // namespace

PianoRollView::PianoRollView(QWidget* parent) : QAbstractScrollArea(parent), view_(startView()) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setMouseTracking(true);
    // The painter fills every pixel.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    painter_.setFont(font());
    updateScrollBars();
}

double PianoRollView::lengthSeconds() const { return std::max(painter_.durationSeconds(), 1.0); }

void PianoRollView::setLevelGrid(std::shared_ptr<const LevelGridImage> spectrogram) {
    painter_.setLevelGrid(std::move(spectrogram));
    showRange(0.0, lengthSeconds(), view_.lowPitch, view_.highPitch);
}

void PianoRollView::setNotes(std::vector<RollNote> notes) {
    painter_.setNotes(std::move(notes));
    const RollViewport whole = painter_.wholeView();
    const bool wholeLengthShown = view_.startSeconds <= 0.0 && view_.endSeconds >= lengthSeconds() - 1e-9;
    showRange(view_.startSeconds, wholeLengthShown ? lengthSeconds() : view_.endSeconds,
              noteAxisZoomed_ ? view_.lowPitch : whole.lowPitch, noteAxisZoomed_ ? view_.highPitch : whole.highPitch);
}

void PianoRollView::setBeats(std::vector<RollBeat> beats) {
    painter_.setBeats(std::move(beats));
    viewport()->update();
}

void PianoRollView::clear() {
    painter_.setLevelGrid(nullptr);
    painter_.setNotes({});
    painter_.setBeats({});
    playhead_.reset();
    noteAxisZoomed_ = false;
    const RollViewport start = startView();
    showRange(start.startSeconds, start.endSeconds, start.lowPitch, start.highPitch);
}

void PianoRollView::setPlayhead(std::optional<double> seconds) {
    if (seconds == playhead_) return;
    playhead_ = seconds;
    if (playhead_ && (*playhead_ < view_.startSeconds || *playhead_ > view_.endSeconds)) {
        // The page after the playhead, with a little of what has just played.
        const double span = view_.seconds();
        const double start = std::max(0.0, *playhead_ - 0.05 * span);
        showRange(start, start + span, view_.lowPitch, view_.highPitch);
        return;
    }
    viewport()->update();
}

RollMapping PianoRollView::mapping() const { return painter_.mapping(viewport()->size(), view_); }

QString PianoRollView::toolTipAt(QPoint point) const {
    const std::optional<std::size_t> index =
        noteAt(painter_.notes(), painter_.longestNoteSeconds(), mapping(), point.x() + 0.5, point.y() + 0.5);
    if (!index) return {};
    const RollNote& note = painter_.notes()[*index];
    return QStringLiteral("%1 (note %2)\nstart %3 s\nend %4 s")
        .arg(QString::fromStdString(noteName(note.number)))
        .arg(note.number)
        .arg(note.startSeconds, 0, 'f', 3)
        .arg(note.endSeconds, 0, 'f', 3);
}

void PianoRollView::showRange(double startSeconds, double endSeconds, double lowPitch, double highPitch) {
    const double length = lengthSeconds();
    double span = std::clamp(endSeconds - startSeconds, kShortestSpan, length);
    double start = std::clamp(startSeconds, 0.0, length - span);
    const double pitchRange = PianoRollPainter::kHighestPitch - PianoRollPainter::kLowestPitch;
    double pitches = std::clamp(highPitch - lowPitch, kFewestNotes, pitchRange);
    double low = std::clamp(lowPitch, PianoRollPainter::kLowestPitch, PianoRollPainter::kHighestPitch - pitches);
    view_ = {start, start + span, low, low + pitches};
    updateScrollBars();
    viewport()->update();
}

void PianoRollView::updateScrollBars() {
    updatingBars_ = true;
    QScrollBar* across = horizontalScrollBar();
    const int lengthUnits = static_cast<int>(std::lround(lengthSeconds() * kBarUnitsPerSecond));
    const int spanUnits = static_cast<int>(std::lround(view_.seconds() * kBarUnitsPerSecond));
    across->setRange(0, std::max(0, lengthUnits - spanUnits));
    across->setPageStep(spanUnits);
    across->setSingleStep(std::max(1, spanUnits / 10));
    across->setValue(static_cast<int>(std::lround(view_.startSeconds * kBarUnitsPerSecond)));

    QScrollBar* up = verticalScrollBar();
    const double pitchRange = PianoRollPainter::kHighestPitch - PianoRollPainter::kLowestPitch;
    const int rangeUnits = static_cast<int>(std::lround(pitchRange * kBarUnitsPerNote));
    const int pitchUnits = static_cast<int>(std::lround(view_.pitches() * kBarUnitsPerNote));
    up->setRange(0, std::max(0, rangeUnits - pitchUnits));
    up->setPageStep(pitchUnits);
    up->setSingleStep(static_cast<int>(kBarUnitsPerNote));
    // The top of the bar is the top of the note range.
    up->setValue(static_cast<int>(std::lround((PianoRollPainter::kHighestPitch - view_.highPitch) * kBarUnitsPerNote)));
    updatingBars_ = false;
}

void PianoRollView::scrollContentsBy(int, int) {
    if (updatingBars_) return;
    const double start = horizontalScrollBar()->value() / kBarUnitsPerSecond;
    const double high = PianoRollPainter::kHighestPitch - verticalScrollBar()->value() / kBarUnitsPerNote;
    const double span = view_.seconds();
    const double pitches = view_.pitches();
    view_ = {start, start + span, high - pitches, high};
    viewport()->update();
}

void PianoRollView::paintEvent(QPaintEvent*) {
    QPainter target(viewport());
    painter_.paint(target, viewport()->size(), view_, playhead_);
}

void PianoRollView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void PianoRollView::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    const RollMapping map = mapping();
    const QPointF at = event->position();
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || (angle.x() != 0 && angle.y() == 0);
    if (sideways) {
        const int notches = angle.x() != 0 ? angle.x() : angle.y();
        const double shift = -notches / 120.0 * 0.1 * view_.seconds();
        showRange(view_.startSeconds + shift, view_.endSeconds + shift, view_.lowPitch, view_.highPitch);
    } else if (event->modifiers() & Qt::ControlModifier) {
        // The note under the pointer stays under it.
        const double factor = std::pow(kZoomPerNotch, -angle.y() / 120.0);
        const double pitch = std::clamp(map.pitchOfY(at.y()), view_.lowPitch, view_.highPitch);
        noteAxisZoomed_ = true;
        showRange(view_.startSeconds, view_.endSeconds, pitch - (pitch - view_.lowPitch) * factor,
                  pitch + (view_.highPitch - pitch) * factor);
    } else {
        const double factor = std::pow(kZoomPerNotch, -angle.y() / 120.0);
        const double seconds = std::clamp(map.secondsOfX(at.x()), view_.startSeconds, view_.endSeconds);
        showRange(seconds - (seconds - view_.startSeconds) * factor, seconds + (view_.endSeconds - seconds) * factor,
                  view_.lowPitch, view_.highPitch);
    }
    event->accept();
}

bool PianoRollView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, viewport());
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

}  // namespace selvik::app
