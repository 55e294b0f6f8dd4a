#pragma once

#include <QAbstractScrollArea>
#include <memory>
#include <optional>
#include <vector>

#include "plot/PianoRollPainter.h"

namespace selvik::app {

// The scrolling, zooming view of the piano roll. The wheel zooms the time
// axis around the pointer, Ctrl+wheel the note axis, Shift+wheel (or a
// sideways wheel) scrolls in time; the scroll bars move over the whole
// recording and the whole note range. Hovering a bar shows the note's name,
// number, start and end. Each repaint draws only the part in view.
class PianoRollView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit PianoRollView(QWidget* parent = nullptr);

    // Shows a new recording's spectrogram (null: none) and its whole length.
    void setLevelGrid(std::shared_ptr<const LevelGridImage> spectrogram);
    // Shows these notes (sorted by start). Unless the note axis was zoomed
    // since the last clear, it moves to the notes' range.
    void setNotes(std::vector<RollNote> notes);
    // Shows the song's bar and beat lines (rollBeats; none: no lines).
    void setBeats(std::vector<RollBeat> beats);
    // No spectrogram, no notes, no playhead, the start view.
    void clear();
    // The playhead at `seconds`, or none. A playhead that leaves the view
    // pages the view after it.
    void setPlayhead(std::optional<double> seconds);

    const PianoRollPainter& painter() const { return painter_; }
    // The seconds and notes in view.
    const RollViewport& shownRange() const { return view_; }
    std::optional<double> playhead() const { return playhead_; }
    // The mapping the last or next repaint uses.
    RollMapping mapping() const;
    // The text hovering shows at a point of the view's area; empty off the bars.
    QString toolTipAt(QPoint point) const;
    // Shows the range [start, end) of seconds and [low, high) of note
    // numbers, kept inside the whole roll and its smallest zoom.
    void showRange(double startSeconds, double endSeconds, double lowPitch, double highPitch);

    static constexpr double kShortestSpan = 0.05;  // seconds in view, at most zoom
    static constexpr double kFewestNotes = 6.0;    // note rows in view, at most zoom

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    double lengthSeconds() const;
    void updateScrollBars();

    PianoRollPainter painter_;
    RollViewport view_;
    std::optional<double> playhead_;
    bool noteAxisZoomed_ = false;
    bool updatingBars_ = false;
};

}  // namespace selvik::app
