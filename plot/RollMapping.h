#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "plot/RollNotes.h"

namespace selvik {

// The part of the roll in view: seconds from left to right, note numbers
// from the bottom edge to the top edge (note n's row spans n - 0.5 .. n + 0.5).
struct RollViewport {
    double startSeconds = 0.0;
    double endSeconds = 10.0;
    double lowPitch = 47.5;
    double highPitch = 84.5;

    double seconds() const { return endSeconds - startSeconds; }
    double pitches() const { return highPitch - lowPitch; }
};

// A rectangle in pixels, with y growing downwards.
struct PixelRect {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;

    double right() const { return left + width; }
    double bottom() const { return top + height; }
    bool contains(double x, double y) const { return x >= left && x < right() && y >= top && y < bottom(); }
};

// Maps the viewport onto the plot area and back. Both the window and the
// files the converter writes place their bars through this.
class RollMapping {
public:
    RollMapping(const RollViewport& viewport, const PixelRect& plot) : view_(viewport), plot_(plot) {}

    const RollViewport& viewport() const { return view_; }
    const PixelRect& plot() const { return plot_; }

    double xOfSeconds(double seconds) const {
        return plot_.left + (seconds - view_.startSeconds) * plot_.width / view_.seconds();
    }
    double secondsOfX(double x) const {
        return view_.startSeconds + (x - plot_.left) * view_.seconds() / plot_.width;
    }
    double yOfPitch(double pitch) const {
        return plot_.top + (view_.highPitch - pitch) * plot_.height / view_.pitches();
    }
    double pitchOfY(double y) const {
        return view_.highPitch - (y - plot_.top) * view_.pitches() / plot_.height;
    }
    double pixelsPerSecond() const { return plot_.width / view_.seconds(); }
    double pixelsPerNote() const { return plot_.height / view_.pitches(); }

    // A note's bar: from its start to its end, over its row.
    PixelRect barOf(const RollNote& note) const {
        const double left = xOfSeconds(note.startSeconds);
        const double top = yOfPitch(note.number + 0.5);
        return {left, top, xOfSeconds(note.endSeconds) - left, yOfPitch(note.number - 0.5) - top};
    }

private:
    RollViewport view_;
    PixelRect plot_;
};

// The range of `notes` (sorted by start, as rollNotes gives them) whose
// spans can meet [startSeconds, endSeconds]: no note outside it is in view.
struct NoteRange {
    std::size_t first;
    std::size_t last;  // one past
};
NoteRange notesInTime(const std::vector<RollNote>& notes, double longestSeconds, double startSeconds,
                      double endSeconds);

// The index of the note whose bar holds the point (x, y) of the plot, if any.
std::optional<std::size_t> noteAt(const std::vector<RollNote>& notes, double longestSeconds,
                                  const RollMapping& mapping, double x, double y);

}  // namespace selvik
