#include "ui/edit_box.h"

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>

#include <cstdint>
#include <limits>

namespace ui {

QString NormaliseIntegerText(const QString& text) {
    constexpr int64_t kMagnitudeCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    qsizetype at = 0;
    while (at < text.size() && text[at].isSpace())
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+')) {
        negative = text[at] == u'-';
        ++at;
    }
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
        magnitude = magnitude * 10 + (text[at].unicode() - u'0');
        if (magnitude > kMagnitudeCap)
            magnitude = kMagnitudeCap;
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        value = std::numeric_limits<int32_t>::max();
    return value == 0 ? QString() : QString::number(value);
}

bool IsAcceptedTypedText(const QString& text) {
    for (const QChar c : text) {
        const bool control = c.category() == QChar::Other_Control;
        if (!control && c != u'-' && (c < u'0' || c > u'9'))
            return false;
    }
    return true;
}

EditBox::EditBox(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignCenter);
    setMaxLength(std::numeric_limits<int>::max());
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    setPalette(colours);
}

void EditBox::normalise() {
    const QString normalised = NormaliseIntegerText(text());
    if (normalised != text())
        setText(normalised);
}

void EditBox::keyPressEvent(QKeyEvent* event) {
    // Ctrl combinations are the editing shortcuts (copy, cut, paste, select all, undo),
    // whatever text a platform attaches to them.
    const bool shortcut = event->modifiers().testFlag(Qt::ControlModifier);
    if (!shortcut && !IsAcceptedTypedText(event->text())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// Characters composed through an input method are typed characters too.
void EditBox::inputMethodEvent(QInputMethodEvent* event) {
    if (IsAcceptedTypedText(event->commitString())) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent withoutCommit(event->preeditString(), event->attributes());
    QLineEdit::inputMethodEvent(&withoutCommit);
    event->accept();
}

void EditBox::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The box's own context menu takes the focus for a moment; the user has not left it.
    // Other popups (a completer list another window left open, say) do not count.
    if (event->reason() == Qt::PopupFocusReason) {
        const QWidget* popup = QApplication::activePopupWidget();
        if (qobject_cast<const QMenu*>(popup))
            return;
    }
    normalise();
}

} // namespace ui
