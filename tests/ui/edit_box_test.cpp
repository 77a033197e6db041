#include "ui/edit_box.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

using ui::EditBox;

namespace {

// Types text one character at a time, also characters that have no key of their own.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

} // namespace

// An edit box next to another focus stop in an active window, counting its text changes.
class EditBoxTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void normalisedText_data();
    void normalisedText();
    void typedKeys_data();
    void typedKeys();
    void pastedTextIsNotFiltered();
    void pastedTextHasNoLengthLimit();
    void composedCharactersAreFilteredLikeTypedOnes_data();
    void composedCharactersAreFilteredLikeTypedOnes();
    void leavingTheBoxNormalises_data();
    void leavingTheBoxNormalises();
    void openingItsOwnContextMenuDoesNotNormalise();
    void everyChangeRaisesTextChangedOnceBeforeReturning();

private:
    QWidget m_window;
    EditBox* m_box = nullptr;
    QPushButton* m_next = nullptr;
    int m_changes = 0;
    QStringList m_textsSeen; // the box's text as each text-changed saw it
};

void EditBoxTest::initTestCase() {
    auto* layout = new QVBoxLayout(&m_window);
    m_box = new EditBox(&m_window);
    m_next = new QPushButton(QStringLiteral("next"), &m_window);
    layout->addWidget(m_box);
    layout->addWidget(m_next);
    connect(m_box, &QLineEdit::textChanged, this, [this] {
        ++m_changes;
        m_textsSeen << m_box->text();
    });
    m_window.show();
    m_window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_window));
}

void EditBoxTest::init() {
    m_box->clear();
    m_box->setFocus();
    QVERIFY(m_box->hasFocus());
    m_changes = 0;
    m_textsSeen.clear();
}

void EditBoxTest::normalisedText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalised");
    QTest::newRow("leading zeros") << "007"
                                   << "7";
    QTest::newRow("zero empties") << "0"
                                  << "";
    QTest::newRow("minus zero empties") << "-0"
                                        << "";
    QTest::newRow("sign alone") << "-"
                                << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("no number") << "abc"
                               << "";
    QTest::newRow("blanks and a tail") << " 12ab"
                                       << "12";
    QTest::newRow("tab before a sign") << "\t-3"
                                       << "-3";
    QTest::newRow("plus sign") << "+5"
                               << "5";
    QTest::newRow("two signs") << "--5"
                               << "";
    QTest::newRow("sign after blank digits") << "12 34"
                                             << "12";
    QTest::newRow("decimal point") << "1.9"
                                   << "1";
    QTest::newRow("largest") << "2147483647"
                             << "2147483647";
    QTest::newRow("smallest") << "-2147483648"
                              << "-2147483648";
    QTest::newRow("one above") << "2147483648"
                               << "2147483647";
    QTest::newRow("one below") << "-2147483649"
                               << "-2147483648";
    QTest::newRow("far above") << "99999999999"
                               << "2147483647";
    QTest::newRow("far below") << "-99999999999"
                               << "-2147483648";
    QTest::newRow("beyond 64 bits") << "123456789012345678901234567890"
                                    << "2147483647";
    QTest::newRow("many leading zeros") << "0000000000000000000000000000123"
                                        << "123";
}

void EditBoxTest::normalisedText() {
    QFETCH(QString, text);
    QFETCH(QString, normalised);
    QCOMPARE(ui::NormaliseIntegerText(text), normalised);
}

void EditBoxTest::typedKeys_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::newRow("a letter is refused") << "a"
                                         << "";
    QTest::newRow("minus is accepted") << "-"
                                       << "-";
    QTest::newRow("digits") << "0123456789"
                            << "0123456789";
    QTest::newRow("letters among digits") << "12a3"
                                          << "123";
    QTest::newRow("blank") << " "
                           << "";
    QTest::newRow("plus") << "+"
                          << "";
    QTest::newRow("point") << "1.5"
                           << "15";
    QTest::newRow("full-width digit") << QString::fromUtf8("１") << "";
    QTest::newRow("Chinese") << QString::fromUtf8("二") << "";
}

void EditBoxTest::typedKeys() {
    QFETCH(QString, typed);
    QFETCH(QString, text);
    Type(m_box, typed);
    QCOMPARE(m_box->text(), text);
    QCOMPARE(m_changes, static_cast<int>(text.size()));
}

void EditBoxTest::pastedTextIsNotFiltered() {
    QTest::keyClicks(m_box, QStringLiteral("12"));
    QTest::keyClick(m_box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_box, Qt::Key_X, Qt::ControlModifier); // cut: a control character
    QCOMPARE(m_box->text(), QString());
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("12"));

    QApplication::clipboard()->setText(QStringLiteral("x-y 9"));
    m_changes = 0;
    QTest::keyClick(m_box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m_box->text(), QStringLiteral("x-y 9"));
    QCOMPARE(m_changes, 1);
    QTest::keyClick(m_box, Qt::Key_Backspace);
    QCOMPARE(m_box->text(), QStringLiteral("x-y "));
    QTest::keyClick(m_box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_box->text(), QStringLiteral("x-y 9"));
}

void EditBoxTest::pastedTextHasNoLengthLimit() {
    const QString huge(100000, u'7');
    QApplication::clipboard()->setText(huge);
    QTest::keyClick(m_box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m_box->text().size(), huge.size());
    m_box->setText(huge + huge);
    QCOMPARE(m_box->text().size(), 2 * huge.size());
}

void EditBoxTest::composedCharactersAreFilteredLikeTypedOnes_data() {
    QTest::addColumn<QString>("commit");
    QTest::addColumn<QString>("text");
    QTest::newRow("digits") << "42"
                            << "42";
    QTest::newRow("a word") << QString::fromUtf8("工作") << "";
    QTest::newRow("mixed") << QString::fromUtf8("4二") << "";
}

void EditBoxTest::composedCharactersAreFilteredLikeTypedOnes() {
    QFETCH(QString, commit);
    QFETCH(QString, text);
    QInputMethodEvent event;
    event.setCommitString(commit);
    QCoreApplication::sendEvent(m_box, &event);
    QCOMPARE(m_box->text(), text);
}

void EditBoxTest::leavingTheBoxNormalises_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("left");
    QTest::addColumn<int>("changesOnLeaving");
    QTest::newRow("007") << "007"
                         << "7" << 1;
    QTest::newRow("0") << "0"
                       << "" << 1;
    QTest::newRow("-") << "-"
                       << "" << 1;
    QTest::newRow("too big") << "99999999999"
                             << "2147483647" << 1;
    QTest::newRow("too small") << "-99999999999"
                               << "-2147483648" << 1;
    QTest::newRow("already plain") << "35"
                                   << "35" << 0;
    QTest::newRow("empty") << ""
                           << "" << 0;
}

void EditBoxTest::leavingTheBoxNormalises() {
    QFETCH(QString, typed);
    QFETCH(QString, left);
    QFETCH(int, changesOnLeaving);
    QTest::keyClicks(m_box, typed);
    m_changes = 0;
    m_textsSeen.clear();
    m_next->setFocus(Qt::TabFocusReason);
    QCOMPARE(m_box->text(), left);
    QCOMPARE(m_changes, changesOnLeaving);
    if (changesOnLeaving)
        QCOMPARE(m_textsSeen, QStringList{left});
}

void EditBoxTest::openingItsOwnContextMenuDoesNotNormalise() {
    QTest::keyClicks(m_box, QStringLiteral("007"));
    const QPoint inside = m_box->rect().center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, inside, m_box->mapToGlobal(inside));
    QCoreApplication::sendEvent(m_box, &request);
    QWidget* menu = QApplication::activePopupWidget();
    QVERIFY(menu);
    QCOMPARE(m_box->text(), QStringLiteral("007"));
    menu->close();
    m_next->setFocus(Qt::TabFocusReason);
    QCOMPARE(m_box->text(), QStringLiteral("7"));
}

void EditBoxTest::everyChangeRaisesTextChangedOnceBeforeReturning() {
    m_box->setText(QStringLiteral("5"));
    QCOMPARE(m_changes, 1);
    m_box->setText(QStringLiteral("5"));
    QCOMPARE(m_changes, 1);
    m_box->setText(QStringLiteral("abc")); // the program's texts are not normalised
    QCOMPARE(m_changes, 2);
    QCOMPARE(m_box->text(), QStringLiteral("abc"));
    m_box->normalise();
    QCOMPARE(m_changes, 3);
    QCOMPARE(m_box->text(), QString());
    m_box->normalise();
    QCOMPARE(m_changes, 3);
    QCOMPARE(m_textsSeen, (QStringList{QStringLiteral("5"), QStringLiteral("abc"), QString()}));
}

QTEST_MAIN(EditBoxTest)
#include "edit_box_test.moc"
