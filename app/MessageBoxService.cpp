#include "app/MessageBoxService.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace selvik::app {

QString applicationTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void showMessageBox(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Ok, owner);
    // The texts are fixed sentences, never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

MessageBoxService::MessageBoxService(QWidget* owner)
    : previous_(setMessageHandler([owner](std::string_view text) {
          showMessageBox(owner, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
      })) {}

MessageBoxService::~MessageBoxService() { setMessageHandler(std::move(previous_)); }

}  // namespace selvik::app
