#pragma once

#include <QElapsedTimer>

#include "core/ProgressIndicator.h"

class QProgressBar;

namespace selvik::app {

// The recognition pass's progress on a QProgressBar. The pass runs on the
// user-interface thread, so the bar is repainted at once on every move, and
// now and then Qt handles its other events (paint, window-manager pings,
// timers), but no user input, so the window does not look dead to the
// window manager while it does not respond to the user.
class ProgressBarIndicator final : public ProgressIndicator {
public:
    static constexpr int kEventIntervalMs = 50;

    explicit ProgressBarIndicator(QProgressBar& bar) : bar_(bar) {}

    void setRange(std::int32_t minimum, std::int32_t maximum) override;
    void setPosition(std::int32_t position) override;

private:
    void handleEvents();

    QProgressBar& bar_;
    QElapsedTimer sinceEvents_;
};

}  // namespace selvik::app
