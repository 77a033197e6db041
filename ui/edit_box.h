#pragma once

#include <QLineEdit>

namespace ui {

// The integer text a box holds after it lost the focus: leading blanks skipped, an optional
// sign, the digits up to the first other character (0 when there are none), clamped to the
// signed 32-bit range; 0 is written as an empty text.
QString NormaliseIntegerText(const QString& text);

// Whether a typed text may go into an integer box: control characters, '-' and digits only.
bool IsAcceptedTypedText(const QString& text);

// An edit box for integers: typed characters are filtered, pasted text is not; the text is
// normalised when the box loses the focus.
class EditBox : public QLineEdit {
    Q_OBJECT
public:
    explicit EditBox(QWidget* parent);

    // Replaces the text by its normalised form when that differs (one text-changed).
    void normalise();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

} // namespace ui
