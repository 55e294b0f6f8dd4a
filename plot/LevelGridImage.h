#pragma once

#include <QImage>
#include <vector>

#include "plot/RollMapping.h"
#include "plot/LevelGrid.h"

class QPainter;

namespace selvik {

// A spectrogram coloured once for drawing, with halved copies in which each
// column keeps the loudest of the two it replaces: a long recording seen
// whole is drawn from a copy near the screen's width, so no short note's
// partials fall between the columns that are sampled, and the drawing costs
// about the same at every zoom. May be built on any thread.
class LevelGridImage {
public:
    LevelGridImage() = default;
    explicit LevelGridImage(const LevelGrid& spectrogram);

    bool empty() const { return levels_.empty(); }
    double secondsPerFrame() const { return secondsPerFrame_; }
    double durationSeconds() const { return frameCount_ * secondsPerFrame_; }
    double lowestPitch() const { return lowestPitch_; }
    double highestPitch() const { return highestPitch_; }
    // The full-resolution image: one column per frame, the highest row on top.
    const QImage& image() const;
    int levelCount() const { return static_cast<int>(levels_.size()); }

    // Draws the part in view into the mapping's plot area.
    void draw(QPainter& painter, const RollMapping& mapping) const;

private:
    std::vector<QImage> levels_;
    double secondsPerFrame_ = 0.0;
    int frameCount_ = 0;
    double lowestPitch_ = 0.0;
    double highestPitch_ = 0.0;
};

}  // namespace selvik
