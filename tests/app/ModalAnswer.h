#pragma once

// Answers the modal windows a command opens. A command that shows a message
// box or a file dialog runs its own event loop until the window closes; a
// timer polls for the active modal widget and hands each new one to the next
// answer in line. A modal still open at the time limit is rejected, so a
// test that expected something else fails instead of hanging.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>

namespace selvik::testing_support {

struct SeenMessageBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* owner = nullptr;
};

class ModalAnswer {
public:
    using Answer = std::function<void(QWidget*)>;

    explicit ModalAnswer(std::deque<Answer> answers, std::chrono::seconds limit = std::chrono::seconds(20))
        : answers_(std::move(answers)) {
        deadline_ = std::chrono::steady_clock::now() + limit;
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(5);
    }

    // Modal widgets handed to an answer so far.
    int answered() const { return answered_; }
    // Modal widgets seen with no answer left (they were rejected).
    int unexpected() const { return unexpected_; }
    bool timedOut() const { return timedOut_; }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (std::chrono::steady_clock::now() > deadline_) {
            timedOut_ = true;
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            return;
        }
        if (!modal || modal == last_) return;
        last_ = modal;
        if (answers_.empty()) {
            ++unexpected_;
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            return;
        }
        Answer answer = std::move(answers_.front());
        answers_.pop_front();
        ++answered_;
        answer(modal);
    }

    std::deque<Answer> answers_;
    QTimer timer_;
    QPointer<QWidget> last_;
    std::chrono::steady_clock::time_point deadline_;
    int answered_ = 0;
    int unexpected_ = 0;
    bool timedOut_ = false;
};

// Records a message box and presses its OK button.
inline ModalAnswer::Answer pressOk(SeenMessageBox& seen) {
    return [&seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            seen.text = QStringLiteral("<not a message box>");
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.owner = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
    };
}

// Picks a file in a file dialog: the folder first, then a bare name, then
// accepts it the way the dialog's own button does, once its loop runs.
inline ModalAnswer::Answer chooseFile(const QString& folder, const QString& name) {
    return [folder, name](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
            return;
        }
        dialog->setDirectory(folder);
        // selectFile leaves the name field alone while it has the focus.
        if (auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            nameField->clearFocus();
        }
        dialog->selectFile(name);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    };
}

// Runs `inspect` on the modal, then rejects it (Cancel, Escape).
inline ModalAnswer::Answer inspectThenReject(std::function<void(QWidget*)> inspect = {}) {
    return [inspect = std::move(inspect)](QWidget* modal) {
        if (inspect) inspect(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    };
}

}  // namespace selvik::testing_support
