#pragma once

#include <QDialog>
#include <QIcon>

class QPushButton;

namespace selvik::app {

// The program's icon: 32x32 and 16x16 images.
QIcon programIcon();

// Draws an icon centred in its area (centredIconPosition), at the largest of
// the icon's sizes that fits.
class IconView final : public QWidget {
    Q_OBJECT

public:
    IconView(QIcon icon, QWidget* parent = nullptr);
    // The image size drawn for the current area, and where it goes.
    QSize drawnSize() const;
    QPoint drawnPosition() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon icon_;
};

// "About SELVIK": the program's name, the credits and "Close this box".
class AboutDialog final : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
    QPushButton* closeButton() const { return close_; }

private:
    QPushButton* close_;
};

}  // namespace selvik::app
