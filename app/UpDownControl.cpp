#include "app/UpDownControl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

#include "app/IntegerText.h"

namespace selvik::app {

UpDownControl::UpDownControl(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    for (QToolButton* button : {up_, down_}) {
        button->setAutoRepeat(true);
        // The field keeps the focus; the arrows are for the mouse.
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(false);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setAccessibleName(QStringLiteral("Up"));
    down_->setAccessibleName(QStringLiteral("Down"));
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void UpDownControl::setBuddy(QLineEdit* buddy) {
    if (buddy_) buddy_->removeEventFilter(this);
    buddy_ = buddy;
    if (buddy_) buddy_->installEventFilter(this);
}

void UpDownControl::setRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    position_ = std::clamp(position_, std::min(lower_, upper_), std::max(lower_, upper_));
}

void UpDownControl::stepBy(int steps) {
    if (!buddy_) return;
    if (const auto typed = parseFieldInteger(buddy_->text().toStdString())) position_ = *typed;
    const long long moved = static_cast<long long>(position_) + steps;
    position_ = static_cast<int>(std::clamp<long long>(moved, std::min(lower_, upper_),
                                                       std::max(lower_, upper_)));
    buddy_->setText(QString::number(position_));
    buddy_->selectAll();
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            stepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDownControl::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

}  // namespace selvik::app
