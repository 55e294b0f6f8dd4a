#include "app/ProgressBarIndicator.h"

#include <QCoreApplication>
#include <QProgressBar>

namespace selvik::app {

void ProgressBarIndicator::setRange(std::int32_t minimum, std::int32_t maximum) {
    bar_.setRange(minimum, maximum);
    bar_.repaint();
    handleEvents();
}

void ProgressBarIndicator::setPosition(std::int32_t position) {
    bar_.setValue(position);
    bar_.repaint();
    handleEvents();
}

void ProgressBarIndicator::handleEvents() {
    // The first move handles events at once, so that a request that came in
    // just before the work started is answered too.
    if (sinceEvents_.isValid() && sinceEvents_.elapsed() < kEventIntervalMs) return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceEvents_.start();
}

}  // namespace selvik::app
