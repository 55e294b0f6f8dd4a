#include "app/IconPlacement.h"

namespace selvik::app {

QPoint centredIconPosition(QSize area, QSize icon) {
    return {(area.width() - icon.width() + 1) / 2, (area.height() - icon.height() + 1) / 2};
}

}  // namespace selvik::app
