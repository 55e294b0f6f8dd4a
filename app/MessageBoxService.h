#pragma once

#include <QString>

#include "core/MessageService.h"

class QWidget;

namespace selvik::app {

// The caption of every message box: the program file's name without its
// folder and extension.
QString applicationTitle();

// Shows `text` in a modal box with the warning icon and OK only, owned by
// `owner`, and returns when the user closes it.
void showMessageBox(QWidget* owner, const QString& text);

// Sends every showMessage() of the processing code to message boxes owned by
// `owner` for the lifetime of the object, then puts the previous handler back.
class MessageBoxService {
public:
    explicit MessageBoxService(QWidget* owner);
    ~MessageBoxService();
    MessageBoxService(const MessageBoxService&) = delete;
    MessageBoxService& operator=(const MessageBoxService&) = delete;

private:
    MessageHandler previous_;
};

}  // namespace selvik::app
