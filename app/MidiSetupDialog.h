#pragma once

#include <QDialog>
#include <cstdint>

class QComboBox;
class QPushButton;

namespace selvik::app {

// "MIDI Setup": chooses the MIDI output device from the process-wide device
// list. The caller sets selectedIndex before the modal run and, after OK,
// takes the chosen position from it (-1 when nothing is selected).
class MidiSetupDialog final : public QDialog {
    Q_OBJECT

public:
    explicit MidiSetupDialog(QWidget* parent = nullptr);

    std::int32_t selectedIndex = -1;

    // Fills the list from the device list and selects selectedIndex (none
    // for -1 or a position beyond the list). Runs when the dialog is shown.
    void initDialog();

    QComboBox* deviceList() const { return deviceList_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void layOut(int listWidth);

    QPushButton* ok_;
    QPushButton* cancel_;
    QComboBox* deviceList_;
    bool initialised_ = false;
};

}  // namespace selvik::app
