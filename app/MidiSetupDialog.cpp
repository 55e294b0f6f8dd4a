#include "app/MidiSetupDialog.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>

#include "app/DialogUnits.h"
#include "midi/MidiDeviceList.h"

namespace selvik::app {

namespace {
constexpr int kListWidthUnits = 114;
// System port names ("Client:Port 14:0") can be long; the list grows up to
// this width and elides longer names in the middle.
constexpr int kWidestListUnits = 300;
}  // namespace

MidiSetupDialog::MidiSetupDialog(QWidget* parent)
    : QDialog(parent),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      deviceList_(new QComboBox(this)) {
    setWindowTitle(QStringLiteral("MIDI Setup"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    ok_->setObjectName(QStringLiteral("1"));
    ok_->setDefault(true);
    cancel_->setObjectName(QStringLiteral("2"));
    deviceList_->setObjectName(QStringLiteral("1018"));
    deviceList_->setMaxVisibleItems(8);
    auto* label = new QLabel(QStringLiteral("MIDI Output:"), this);
    label->setObjectName(QStringLiteral("midiOutputLabel"));
    label->setBuddy(deviceList_);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    layOut(DialogUnits(font()).x(kListWidthUnits));
}

void MidiSetupDialog::layOut(int listWidth) {
    const DialogUnits du(font());
    auto* label = findChild<QLabel*>(QStringLiteral("midiOutputLabel"));
    QRect labelRect = du.rect(7, 9, 42, 8);
    // A font wider than the one the layout was drawn for pushes the list
    // right instead of cutting the label.
    const int labelShift = std::max(0, label->fontMetrics().horizontalAdvance(label->text()) + 2 - labelRect.width());
    labelRect.setWidth(labelRect.width() + labelShift);
    label->setGeometry(labelRect);
    const int extra = std::max(0, listWidth - du.x(kListWidthUnits)) + labelShift;
    const QRect list = du.rect(50, 7, kListWidthUnits, 14).translated(labelShift, 0);
    deviceList_->setGeometry(list.x(), list.y(), list.width() + extra - labelShift,
                             std::min(list.height(), deviceList_->sizeHint().height()));
    ok_->setGeometry(du.rect(56, 29, 50, 14).translated(extra, 0));
    cancel_->setGeometry(du.rect(114, 29, 50, 14).translated(extra, 0));
    setFixedSize(du.size(171, 50) + QSize(extra, 0));
}

void MidiSetupDialog::initDialog() {
    const DialogUnits du(font());
    const QFontMetrics metrics(deviceList_->font());
    QStyleOptionComboBox option;
    option.initFrom(deviceList_);
    // Room the frame and the arrow take beside the text.
    const int chrome =
        style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(0, 0), deviceList_).width();
    int widestText = 0;
    for (const MidiOutputDevice& device : midiDevices()) {
        widestText = std::max(widestText, metrics.horizontalAdvance(QString::fromStdString(device.name)));
    }
    int widest = du.x(kWidestListUnits);
    if (const QScreen* screen = this->screen()) widest = std::min(widest, screen->availableSize().width() * 3 / 4);
    const int listWidth = std::clamp(widestText + chrome, du.x(kListWidthUnits), std::max(widest, du.x(kListWidthUnits)));
    layOut(listWidth);

    deviceList_->clear();
    const int textRoom = listWidth - chrome;
    for (const MidiOutputDevice& device : midiDevices()) {
        const QString name = QString::fromStdString(device.name);
        deviceList_->addItem(metrics.elidedText(name, Qt::ElideMiddle, textRoom));
        deviceList_->setItemData(deviceList_->count() - 1, name, Qt::ToolTipRole);
    }
    deviceList_->setCurrentIndex(selectedIndex >= 0 && selectedIndex < deviceList_->count() ? selectedIndex : -1);
    ok_->setFocus();
}

void MidiSetupDialog::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        initDialog();
    }
    QDialog::showEvent(event);
}

void MidiSetupDialog::accept() {
    selectedIndex = deviceList_->currentIndex();
    QDialog::accept();
}

}  // namespace selvik::app
