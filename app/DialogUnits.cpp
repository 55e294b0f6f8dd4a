#include "app/DialogUnits.h"

#include <QFontMetrics>

namespace selvik::app {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average over the Latin letters, rounded, rather than the font's
    // declared average width, which for some fonts counts wide glyphs the
    // dialogs never show.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseWidth_ = (letters / 26 + 1) / 2;
    baseHeight_ = metrics.height();
    if (baseWidth_ < 1) baseWidth_ = 1;
    if (baseHeight_ < 1) baseHeight_ = 1;
}

QRect DialogUnits::rect(int xUnits, int yUnits, int width, int height) const {
    // Edges are converted, not sizes, so neighbouring controls meet exactly.
    const int left = x(xUnits);
    const int top = y(yUnits);
    return {left, top, x(xUnits + width) - left, y(yUnits + height) - top};
}

}  // namespace selvik::app
