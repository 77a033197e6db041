#include "text/codec.h"
#include "ui/controls.h"
#include "ui/edit_box.h"
#include "ui/list_box.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include <map>
#include <string>

using namespace ui;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

Text T(const char* utf8) {
    return ToText(QString::fromUtf8(utf8));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void createdRunsWhileHiddenWithAllControls();
    void windowGeometryAndFlags();
    void windowIsFixedSize();
    void controls_data();
    void controls();
    void statusBarSpansTheBottom();
    void statusTextSurvivesTemporaryMessages();
    void onlyTheFiveControlsAreTabStops();
    void tabVisitsTheStopsInOrder();
    void menus_data();
    void menus();
    void rightButtonOpensTheListsMenu_data();
    void rightButtonOpensTheListsMenu();
    void chosenMenuItemRunsItsHandlerOnceAfterTheMenuCloses_data();
    void chosenMenuItemRunsItsHandlerOnceAfterTheMenuCloses();
    void triggeredActionRunsItsHandler();
    void editTextChangeRaisesItsBoxEventBeforeReturning_data();
    void editTextChangeRaisesItsBoxEventBeforeReturning();
    void buttonClickNormalisesTheEditBoxBeforeTheHandler_data();
    void buttonClickNormalisesTheEditBoxBeforeTheHandler();
    void enterAndEscapeDoNothing_data();
    void enterAndEscapeDoNothing();
    void controlOperationsRoundTripCodePage936();
    void listOperationsActOnTheNamedList();
    void closingRaisesDestroyingAndLetsTheCloseGoOn();

private:
    void resetCounts() { m_counts.clear(); }
    int count(const std::string& event) const {
        const auto found = m_counts.find(event);
        return found == m_counts.end() ? 0 : found->second;
    }
    std::function<void()> counter(const std::string& event) {
        return [this, event] {
            ++m_counts[event];
            m_popupOpenDuringHandler = QApplication::activePopupWidget() != nullptr;
            if (m_onEvent)
                m_onEvent(event);
        };
    }
    template <typename W> W* control(const char* name) { return m_window->findChild<W*>(U(name)); }

    MainWindow* m_window = nullptr;
    std::map<std::string, int> m_counts;
    std::function<void(const std::string&)> m_onEvent;
    bool m_popupOpenDuringHandler = false;
    bool m_visibleInCreated = true;
    bool m_editBoxExistedInCreated = false;
};

void MainWindowTest::initTestCase() {
    WindowEvents events;
    events.created = [this] {
        ++m_counts["created"];
        m_visibleInCreated = TheMainWindow()->isVisible();
        // The settings are loaded here: the control operations must already work.
        SetEditText(EditBoxName::编辑框_工作线程, "20");
        m_editBoxExistedInCreated = EditText(EditBoxName::编辑框_工作线程) == "20";
    };
    events.destroying = counter("destroying");
    events.addKeyword = counter("addKeyword");
    events.importKeywords = counter("importKeywords");
    events.clearKeywords = counter("clearKeywords");
    events.exportRelated = counter("exportRelated");
    events.clearRelated = counter("clearRelated");
    events.threadCountChanged = counter("threadCountChanged");
    events.levelChanged = counter("levelChanged");
    events.startStopClicked = counter("startStopClicked");
    m_window = CreateMainWindow(events);
    QVERIFY(m_window);
    QCOMPARE(TheMainWindow(), m_window);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
}

void MainWindowTest::createdRunsWhileHiddenWithAllControls() {
    QCOMPARE(count("created"), 1);
    QVERIFY(!m_visibleInCreated);
    QVERIFY(m_editBoxExistedInCreated);
    QCOMPARE(count("threadCountChanged"), 1);
    SetEditText(EditBoxName::编辑框_工作线程, "");
    resetCounts();
}

void MainWindowTest::windowGeometryAndFlags() {
    QCOMPARE(m_window->windowTitle(), U("穗川"));
    QCOMPARE(m_window->frameGeometry().size(), QSize(383, 439));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(m_window->frameGeometry().topLeft(), QPoint(screen.x() + (screen.width() - 383) / 2,
                                                         screen.y() + (screen.height() - 439) / 2));

    const Qt::WindowFlags flags = m_window->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(!(flags & Qt::WindowStaysOnTopHint));
    QVERIFY(m_window->isWindow());
    QVERIFY(!m_window->inherits("QDialog"));
    QVERIFY(!m_window->findChild<QMenuBar*>());
}

void MainWindowTest::windowIsFixedSize() {
    const QSize before = m_window->size();
    QCOMPARE(m_window->minimumSize(), before);
    QCOMPARE(m_window->maximumSize(), before);
    m_window->resize(600, 500);
    QCoreApplication::processEvents();
    QCOMPARE(m_window->size(), before);
    m_window->showMaximized();
    QCoreApplication::processEvents();
    QCOMPARE(m_window->size(), before);
    m_window->showNormal();
    QCoreApplication::processEvents();
    QCOMPARE(m_window->frameGeometry().size(), QSize(383, 439));
}

void MainWindowTest::controls_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent"); // empty: the window itself
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("text");

    const auto row = [](const char* name, const char* kind, const char* parent, QRect place,
                        const char* text) {
        QTest::newRow(name) << U(kind) << U(parent) << place << U(text);
    };
    row("分组框3", "QGroupBox", "", {8, 336, 360, 48}, "工作设置");
    row("按钮_开始采集", "QPushButton", "分组框3", {248, 16, 104, 24}, "开始采集");
    row("编辑框_采集级别", "QLineEdit", "分组框3", {184, 16, 56, 24}, "");
    row("标签2", "QLabel", "分组框3", {128, 16, 56, 24}, "采集级别:");
    row("编辑框_工作线程", "QLineEdit", "分组框3", {64, 16, 56, 24}, "");
    row("标签1", "QLabel", "分组框3", {8, 16, 56, 24}, "工作线程:");
    row("分组框2", "QGroupBox", "", {192, 8, 176, 320}, "相关关键字");
    row("列表框_相关关键字", "QListView", "分组框2", {8, 16, 160, 296}, "");
    row("分组框1", "QGroupBox", "", {8, 8, 176, 320}, "关键字");
    row("列表框_关键字", "QListView", "分组框1", {8, 16, 160, 296}, "");
}

void MainWindowTest::controls() {
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QRect, place);
    QFETCH(QString, text);

    const QString name = U(QTest::currentDataTag());
    QWidget* widget = m_window->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QVERIFY(widget->inherits(kind.toLatin1().constData()));
    QWidget* expectedParent = parent.isEmpty() ? m_window : m_window->findChild<QWidget*>(parent);
    QCOMPARE(widget->parentWidget(), expectedParent);
    QCOMPARE(widget->geometry(), place);
    QVERIFY(widget->isVisible());

    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        QCOMPARE(box->title(), text);
        QVERIFY(box->alignment() & Qt::AlignLeft);
        QVERIFY(!box->isCheckable());
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
        QVERIFY(!label->wordWrap());
        QCOMPARE(label->frameShape(), QFrame::NoFrame);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        QCOMPARE(edit->text(), text);
        QCOMPARE(edit->alignment(), Qt::AlignCenter);
        QCOMPARE(edit->maxLength(), std::numeric_limits<int>::max());
        QCOMPARE(edit->palette().color(QPalette::Base), QColor(Qt::white));
        QVERIFY(edit->hasFrame());
    } else if (auto* list = qobject_cast<QListView*>(widget)) {
        QVERIFY(list->uniformItemSizes());
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(list->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(list->palette().color(QPalette::Text), QColor(Qt::black));
        QCOMPARE(list->frameShadow(), QFrame::Sunken);
        QVERIFY(list->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff);
    }
}

void MainWindowTest::statusBarSpansTheBottom() {
    auto* bar = control<QStatusBar>("状态条1");
    QVERIFY(bar);
    QCOMPARE(bar->parentWidget(), m_window);
    QVERIFY(bar->isVisible());
    QVERIFY(!bar->isSizeGripEnabled());
    QCOMPARE(bar->geometry(), QRect(0, m_window->height() - bar->sizeHint().height(),
                                    m_window->width(), bar->sizeHint().height()));
    QVERIFY(bar->height() > 0);
    // Nothing of the other controls lies under the bar.
    QVERIFY(control<QGroupBox>("分组框3")->geometry().bottom() < bar->geometry().top());
    QCOMPARE(StatusText(), Text());
}

void MainWindowTest::statusTextSurvivesTemporaryMessages() {
    SetStatusText(T("导入完成."));
    auto* bar = control<QStatusBar>("状态条1");
    bar->showMessage(U("a menu's status tip"));
    bar->clearMessage();
    QCOMPARE(StatusText(), T("导入完成."));
    QVERIFY(m_window->statusLabel().isVisible());
    QCOMPARE(m_window->statusLabel().textFormat(), Qt::PlainText);
    SetStatusText({});
}

void MainWindowTest::onlyTheFiveControlsAreTabStops() {
    QStringList stops;
    for (QWidget* widget : m_window->findChildren<QWidget*>()) {
        if (widget->window() == m_window && (widget->focusPolicy() & Qt::TabFocus))
            stops << widget->objectName();
    }
    stops.sort();
    QStringList expected{U("列表框_关键字"), U("列表框_相关关键字"), U("编辑框_工作线程"),
                         U("编辑框_采集级别"), U("按钮_开始采集")};
    expected.sort();
    QCOMPARE(stops, expected);
}

void MainWindowTest::tabVisitsTheStopsInOrder() {
    const QStringList order{U("列表框_关键字"),   U("列表框_相关关键字"), U("编辑框_工作线程"),
                            U("编辑框_采集级别"), U("按钮_开始采集"),     U("列表框_关键字")};
    control<QWidget>("列表框_关键字")->setFocus();
    QCOMPARE(QApplication::focusWidget()->objectName(), order.first());
    for (qsizetype step = 1; step < order.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), order[step]);
    }
    resetCounts();
}

void MainWindowTest::menus_data() {
    QTest::addColumn<QStringList>("items"); // "-" is a separator
    QTest::newRow("关键字菜单") << QStringList{U("添加"), U("导入"), U("-"), U("清空")};
    QTest::newRow("相关关键字菜单") << QStringList{U("导出"), U("-"), U("清空")};
}

void MainWindowTest::menus() {
    QFETCH(QStringList, items);
    auto* menu = control<QMenu>(QTest::currentDataTag());
    QVERIFY(menu);
    QVERIFY(!menu->isVisible());
    QStringList seen;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            seen << U("-");
            continue;
        }
        seen << action->text();
        QVERIFY(action->isEnabled());
        QVERIFY(!action->isChecked());
        QVERIFY(!action->isCheckable());
        QVERIFY(action->shortcut().isEmpty());
    }
    QCOMPARE(seen, items);
}

void MainWindowTest::rightButtonOpensTheListsMenu_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<int>("items");
    QTest::newRow("empty keyword list") << U("列表框_关键字") << U("关键字菜单") << 0;
    QTest::newRow("keyword list") << U("列表框_关键字") << U("关键字菜单") << 5;
    QTest::newRow("empty related list") << U("列表框_相关关键字") << U("相关关键字菜单") << 0;
    QTest::newRow("related list") << U("列表框_相关关键字") << U("相关关键字菜单") << 5;
}

void MainWindowTest::rightButtonOpensTheListsMenu() {
    QFETCH(QString, list);
    QFETCH(QString, menu);
    QFETCH(int, items);

    const ListBoxName name =
        list == U("列表框_关键字") ? ListBoxName::列表框_关键字 : ListBoxName::列表框_相关关键字;
    ListReplace(name, std::vector<Text>(static_cast<size_t>(items), "item"));
    auto* view = m_window->findChild<QListView*>(list);
    QVERIFY(view);
    if (items > 0) {
        view->setCurrentIndex(view->model()->index(0, 0));
        view->selectionModel()->select(view->model()->index(0, 0), QItemSelectionModel::Select);
    }
    const QModelIndexList selectedBefore = view->selectionModel()->selectedIndexes();
    const QModelIndex currentBefore = view->currentIndex();

    // On the second row when there is one, so a normal press would move the selection.
    const QPoint press =
        items > 0 ? view->visualRect(view->model()->index(1, 0)).center() : QPoint(20, 20);
    QString openedMenu;
    QPoint openedAt;
    QTimer::singleShot(50, this, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            openedMenu = popup->objectName();
            openedAt = popup->pos();
            popup->close();
        }
    });
    QTest::mousePress(view->viewport(), Qt::RightButton, {}, press);
    QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, press);

    QCOMPARE(openedMenu, menu);
    QCOMPARE(openedAt, view->viewport()->mapToGlobal(press) + QPoint(3, 3));
    QCOMPARE(view->selectionModel()->selectedIndexes(), selectedBefore);
    QCOMPARE(view->currentIndex(), currentBefore);
    QVERIFY(m_counts.empty());
    ListClear(name);
}

void MainWindowTest::chosenMenuItemRunsItsHandlerOnceAfterTheMenuCloses_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("handler");
    QTest::newRow("添加") << U("列表框_关键字") << 0 << U("addKeyword");
    QTest::newRow("导入") << U("列表框_关键字") << 1 << U("importKeywords");
    QTest::newRow("关键字 清空") << U("列表框_关键字") << 3 << U("clearKeywords");
    QTest::newRow("导出") << U("列表框_相关关键字") << 0 << U("exportRelated");
    QTest::newRow("相关关键字 清空") << U("列表框_相关关键字") << 2 << U("clearRelated");
}

void MainWindowTest::chosenMenuItemRunsItsHandlerOnceAfterTheMenuCloses() {
    QFETCH(QString, list);
    QFETCH(int, item);
    QFETCH(QString, handler);

    resetCounts();
    auto* view = m_window->findChild<QListView*>(list);
    QTimer::singleShot(50, this, [item] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        menu->setActiveAction(menu->actions().at(item));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mousePress(view->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, QPoint(20, 20));

    QCOMPARE(count(handler.toStdString()), 1);
    QCOMPARE(static_cast<int>(m_counts.size()), 1);
    QVERIFY(!m_popupOpenDuringHandler);
    resetCounts();
}

void MainWindowTest::triggeredActionRunsItsHandler() {
    resetCounts();
    m_window->relatedMenu().actions().at(0)->trigger();
    QCOMPARE(count("exportRelated"), 1);
    QCOMPARE(static_cast<int>(m_counts.size()), 1);
    resetCounts();
}

void MainWindowTest::editTextChangeRaisesItsBoxEventBeforeReturning_data() {
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QString>("other");
    QTest::newRow("编辑框_工作线程") << static_cast<int>(EditBoxName::编辑框_工作线程)
                                     << U("threadCountChanged") << U("levelChanged");
    QTest::newRow("编辑框_采集级别") << static_cast<int>(EditBoxName::编辑框_采集级别)
                                     << U("levelChanged") << U("threadCountChanged");
}

void MainWindowTest::editTextChangeRaisesItsBoxEventBeforeReturning() {
    QFETCH(int, box);
    QFETCH(QString, handler);
    QFETCH(QString, other);
    const auto name = static_cast<EditBoxName>(box);

    resetCounts();
    Text seenInHandler;
    m_onEvent = [&](const std::string&) { seenInHandler = EditText(name); };
    SetEditText(name, "35");
    QCOMPARE(count(handler.toStdString()), 1);
    QCOMPARE(count(other.toStdString()), 0);
    QCOMPARE(seenInHandler, Text("35"));

    SetEditText(name, "35"); // no change, no event
    QCOMPARE(count(handler.toStdString()), 1);
    SetEditText(name, "abc"); // the program's texts are not filtered or normalised
    QCOMPARE(count(handler.toStdString()), 2);
    QCOMPARE(EditText(name), Text("abc"));
    SetEditText(name, "");
    m_onEvent = nullptr;
    resetCounts();
}

void MainWindowTest::buttonClickNormalisesTheEditBoxBeforeTheHandler_data() {
    QTest::addColumn<bool>("byMouse");
    QTest::newRow("mouse click") << true;
    QTest::newRow("programmatic click") << false;
}

void MainWindowTest::buttonClickNormalisesTheEditBoxBeforeTheHandler() {
    QFETCH(bool, byMouse);
    auto* level = control<QLineEdit>("编辑框_采集级别");
    auto* button = control<QPushButton>("按钮_开始采集");
    level->setFocus();
    QVERIFY(level->hasFocus());
    QTest::keyClicks(level, QStringLiteral("007"));
    resetCounts();

    Text levelInHandler;
    int levelEventsBeforeHandler = -1;
    bool buttonHadFocus = false;
    m_onEvent = [&](const std::string& event) {
        if (event != "startStopClicked")
            return;
        levelInHandler = EditText(EditBoxName::编辑框_采集级别);
        levelEventsBeforeHandler = count("levelChanged");
        buttonHadFocus = button->hasFocus();
    };
    if (byMouse)
        QTest::mouseClick(button, Qt::LeftButton);
    else
        button->click();
    m_onEvent = nullptr;

    QCOMPARE(count("startStopClicked"), 1);
    QCOMPARE(levelInHandler, Text("7"));
    QCOMPARE(levelEventsBeforeHandler, 1);
    QVERIFY(buttonHadFocus);
    SetEditText(EditBoxName::编辑框_采集级别, "");
    resetCounts();
}

void MainWindowTest::enterAndEscapeDoNothing_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::newRow("Enter in an edit box") << U("编辑框_工作线程") << int(Qt::Key_Return);
    QTest::newRow("Enter on the button") << U("按钮_开始采集") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter on the button") << U("按钮_开始采集") << int(Qt::Key_Enter);
    QTest::newRow("Escape in an edit box") << U("编辑框_工作线程") << int(Qt::Key_Escape);
    QTest::newRow("Escape in a list") << U("列表框_关键字") << int(Qt::Key_Escape);
}

void MainWindowTest::enterAndEscapeDoNothing() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    auto* widget = m_window->findChild<QWidget*>(focus);
    widget->setFocus();
    resetCounts();
    QTest::keyClick(widget, static_cast<Qt::Key>(key));
    QVERIFY(m_counts.empty());
    QVERIFY(m_window->isVisible());
}

void MainWindowTest::controlOperationsRoundTripCodePage936() {
    const Text status = T("采集完成,相关关键字共(3)个,排除重复后还剩(2)");
    SetStatusText(status);
    QCOMPARE(StatusText(), status);
    QCOMPARE(m_window->statusLabel().text(), ToQString(status));
    SetStatusText("<b>x</b>"); // a keyword may look like markup; it is shown as typed
    QCOMPARE(m_window->statusLabel().text(), U("<b>x</b>"));
    SetStatusText({});

    SetButtonCaption(T("停止采集"));
    QCOMPARE(ButtonCaption(), T("停止采集"));
    QCOMPARE(control<QPushButton>("按钮_开始采集")->text(), U("停止采集"));
    SetButtonCaption(T("开始采集"));

    resetCounts();
    SetEditText(EditBoxName::编辑框_采集级别, T("一"));
    QCOMPARE(EditText(EditBoxName::编辑框_采集级别), T("一"));
    SetEditText(EditBoxName::编辑框_采集级别, "");
    resetCounts();
}

void MainWindowTest::listOperationsActOnTheNamedList() {
    ListAppend(ListBoxName::列表框_关键字, T("关键字"));
    ListAppend(ListBoxName::列表框_相关关键字, std::vector<Text>{"a", "b"});
    QCOMPARE(ListCount(ListBoxName::列表框_关键字), 1);
    QCOMPARE(ListCount(ListBoxName::列表框_相关关键字), 2);
    QCOMPARE(ListItem(ListBoxName::列表框_关键字, 0), T("关键字"));
    QCOMPARE(control<QListView>("列表框_关键字")->model()->index(0, 0).data().toString(),
             U("关键字"));
    QCOMPARE(control<QListView>("列表框_相关关键字")->model()->rowCount(), 2);
    const uint64_t keywordGeneration = ListGeneration(ListBoxName::列表框_关键字);
    ListClear(ListBoxName::列表框_相关关键字);
    QCOMPARE(ListGeneration(ListBoxName::列表框_关键字), keywordGeneration);
    QCOMPARE(ListCount(ListBoxName::列表框_关键字), 1);
    QCOMPARE(ListCount(ListBoxName::列表框_相关关键字), 0);
    ListClear(ListBoxName::列表框_关键字);
}

void MainWindowTest::closingRaisesDestroyingAndLetsTheCloseGoOn() {
    resetCounts();
    QVERIFY(m_window->close());
    QCOMPARE(count("destroying"), 1);
    QVERIFY(!m_window->isVisible());
    delete m_window;
    QCOMPARE(TheMainWindow(), nullptr);
    m_window = nullptr;
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
