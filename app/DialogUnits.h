#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace selvik::app {

// Dialog geometry is given in dialog units, so that a window keeps its
// proportions at any font size: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseWidth, int baseHeight) : baseWidth_(baseWidth), baseHeight_(baseHeight) {}

    int x(int units) const { return units * baseWidth_ / 4; }
    int y(int units) const { return units * baseHeight_ / 8; }
    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const { return {x(width), y(height)}; }

    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

private:
    int baseWidth_;
    int baseHeight_;
};

}  // namespace selvik::app
