#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace selvik::app {

// A pair of arrows that steps the integer in a buddy field within a range.
// Unlike a spin box, the field stays a plain line edit: it may be empty or
// hold a value outside the range, and then the command that reads it reports
// that. A step reads the field, moves by one, keeps the result in the range
// and writes it back as decimal text; the Up and Down keys in the field step
// too. A field that holds no integer steps from the last value written.
class UpDownControl final : public QWidget {
    Q_OBJECT

public:
    explicit UpDownControl(QWidget* parent = nullptr);

    void setBuddy(QLineEdit* buddy);
    void setRange(int lower, int upper);
    int lower() const { return lower_; }
    int upper() const { return upper_; }

    // Moves the buddy's value by `steps` (negative: down).
    void stepBy(int steps);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* buddy_ = nullptr;
    QToolButton* up_;
    QToolButton* down_;
    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
};

}  // namespace selvik::app
