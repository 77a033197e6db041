#pragma once

// Answers the modal dialogs that code under test opens. Arm an answer first, then call the
// code that runs the dialog: a timer polls for the next modal widget of the wanted kind and
// acts on it from inside the dialog's own event loop. Each answer reports whether it was
// used, so a test can tell a dialog that never came from one that was answered.

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

namespace modal_helpers {

// Set once the dialog has been found and acted on.
using Answered = std::shared_ptr<bool>;

// Waits up to timeoutMs for a modal Dialog to be the active modal widget, then runs act on
// it (queued, so the act may itself open further modal dialogs).
template <typename Dialog>
Answered AnswerNext(std::function<void(Dialog*)> act, int timeoutMs = 10000) {
    auto answered = std::make_shared<bool>(false);
    auto* poll = new QTimer(qApp);
    poll->setInterval(10);
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act, answered, deadline] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (deadline.hasExpired()) {
                poll->stop();
                poll->deleteLater();
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
        *answered = true;
        QPointer<Dialog> guarded(dialog);
        QMetaObject::invokeMethod(
            dialog,
            [guarded, act] {
                if (guarded)
                    act(guarded.data());
            },
            Qt::QueuedConnection);
    });
    poll->start();
    return answered;
}

// The file name field of a widget-based file dialog.
inline QLineEdit* FileNameField(QFileDialog* dialog) {
    return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// Types fileName (best absolute) into the next file dialog and confirms it the way its
// button does, so the dialog's own checks (file exists, overwrite) take place. inspect, if
// given, sees the dialog as it opened, before anything is typed.
inline Answered AcceptFileDialog(const QString& fileName,
                                 std::function<void(QFileDialog*)> inspect = {}) {
    return AnswerNext<QFileDialog>([fileName, inspect](QFileDialog* dialog) {
        if (inspect)
            inspect(dialog);
        if (QLineEdit* field = FileNameField(dialog))
            field->setText(fileName);
        else
            dialog->selectFile(fileName);
        static_cast<QDialog*>(dialog)->accept();
    });
}

inline Answered CancelFileDialog(std::function<void(QFileDialog*)> inspect = {}) {
    return AnswerNext<QFileDialog>([inspect](QFileDialog* dialog) {
        if (inspect)
            inspect(dialog);
        dialog->reject();
    });
}

// Enters text into the next input dialog and confirms; inspect sees it as it opened.
inline Answered AcceptInputDialog(const QString& text,
                                  std::function<void(QInputDialog*)> inspect = {}) {
    return AnswerNext<QInputDialog>([text, inspect](QInputDialog* dialog) {
        if (inspect)
            inspect(dialog);
        dialog->setTextValue(text);
        static_cast<QDialog*>(dialog)->accept();
    });
}

inline Answered CancelInputDialog(std::function<void(QInputDialog*)> inspect = {}) {
    return AnswerNext<QInputDialog>([inspect](QInputDialog* dialog) {
        if (inspect)
            inspect(dialog);
        dialog->reject();
    });
}

// Clicks the given standard button of the next message box; inspect sees it first.
inline Answered ClickMessageBoxButton(QMessageBox::StandardButton button,
                                      std::function<void(QMessageBox*)> inspect = {}) {
    return AnswerNext<QMessageBox>([button, inspect](QMessageBox* box) {
        if (inspect)
            inspect(box);
        if (QAbstractButton* target = box->button(button))
            target->click();
        else
            box->reject();
    });
}

} // namespace modal_helpers
