#pragma once

#include <QPoint>
#include <QSize>

namespace selvik::app {

// Where an icon is drawn to sit centred in an area: half the spare room on
// each side, rounding the odd pixel toward the far edge; the divisions
// truncate toward zero, so an icon larger than the area starts inside it by
// the same rule.
QPoint centredIconPosition(QSize area, QSize icon);

}  // namespace selvik::app
