#pragma once

// Answers the modal dialogs that code under test opens. Arm answers first, then call the
// code that runs the dialogs: a timer polls for the modal widget each answer wants and acts
// on it from inside the dialog's own event loop. Answers are used one at a time in the
// order they were armed, so "accept the file dialog, click OK on its warning, then cancel
// it" can be armed as three answers. Each answer reports whether it was used, so a test can
// tell a dialog that never came from one that was answered; an answer left unused expires
// after its time limit, or at DropPendingAnswers().

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace modal_helpers {

// Set once the dialog has been found and acted on.
using Answered = std::shared_ptr<bool>;

namespace detail {

struct PendingAnswer {
    std::function<bool(QWidget*)> wants;
    std::function<void(QWidget*)> act;
    QDeadlineTimer deadline;
    Answered answered;
};

struct AnswerQueue {
    std::deque<PendingAnswer> pending;
    bool acting = false; // an answer was handed to a dialog and has not started yet
    QPointer<QTimer> poll;
};

inline AnswerQueue& Queue() {
    static AnswerQueue queue;
    return queue;
}

inline void Poll() {
    AnswerQueue& queue = Queue();
    while (!queue.pending.empty() && queue.pending.front().deadline.hasExpired())
        queue.pending.pop_front();
    if (queue.pending.empty() || queue.acting)
        return;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || !queue.pending.front().wants(modal))
        return;
    PendingAnswer answer = std::move(queue.pending.front());
    queue.pending.pop_front();
    *answer.answered = true;
    queue.acting = true;
    QPointer<QWidget> guarded(modal);
    // Queued, so the act may itself run further modal dialogs.
    QMetaObject::invokeMethod(
        qApp,
        [guarded, act = std::move(answer.act)] {
            Queue().acting = false;
            if (guarded)
                act(guarded.data());
        },
        Qt::QueuedConnection);
}

inline void Arm(PendingAnswer answer) {
    AnswerQueue& queue = Queue();
    queue.pending.push_back(std::move(answer));
    if (!queue.poll) {
        queue.poll = new QTimer(qApp);
        queue.poll->setInterval(10);
        QObject::connect(queue.poll, &QTimer::timeout, queue.poll, [] { Poll(); });
        queue.poll->start();
    }
}

} // namespace detail

// Waits up to timeoutMs for a modal Dialog to be the active modal widget once the answers
// armed before this one are used or expired, then runs act on it.
template <typename Dialog>
Answered AnswerNext(std::function<void(Dialog*)> act, int timeoutMs = 10000) {
    auto answered = std::make_shared<bool>(false);
    detail::Arm({[](QWidget* modal) { return qobject_cast<Dialog*>(modal) != nullptr; },
                 [act](QWidget* modal) { act(qobject_cast<Dialog*>(modal)); },
                 QDeadlineTimer(timeoutMs), answered});
    return answered;
}

// Forgets every answer not used yet, so none is left over for a later test's dialogs.
inline void DropPendingAnswers() {
    detail::Queue().pending.clear();
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
