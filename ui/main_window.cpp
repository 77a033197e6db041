#include "ui/main_window.h"

#include "ui/edit_box.h"
#include "ui/file_dialog.h"
#include "ui/list_box.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include <cassert>

namespace ui {

namespace {

MainWindow* g_mainWindow = nullptr; // the one window the control operations act on

constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint |
                                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

QGroupBox* AddGroupBox(QWidget* parent, const char* name, const char* title, const QRect& place) {
    auto* box = new QGroupBox(QString::fromUtf8(title), parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setAlignment(Qt::AlignLeft);
    box->setGeometry(place);
    return box;
}

void AddLabel(QWidget* parent, const char* name, const char* text, const QRect& place) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromUtf8(text));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setWordWrap(false);
    label->setFrameShape(QFrame::NoFrame);
    label->setGeometry(place);
}

template <typename Control> Control* Place(Control* control, const char* name, const QRect& place) {
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(place);
    return control;
}

} // namespace

MainWindow::MainWindow(WindowEvents events)
    : QWidget(nullptr, kWindowFlags), m_events(std::move(events)), m_frameExtra(0, 0) {
    assert(!g_mainWindow);
    g_mainWindow = this;
    setWindowTitle(QString::fromUtf8("穗川"));
    buildControls();
    buildMenus();
    setFixedSize(kOuterSize);
    placeStatusBar();
    // Placed by its outer rectangle; until a frame is known the window is its own outside.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    move(screen.x() + (screen.width() - kOuterSize.width()) / 2,
         screen.y() + (screen.height() - kOuterSize.height()) / 2);
}

MainWindow::~MainWindow() {
    if (g_mainWindow == this)
        g_mainWindow = nullptr;
}

void MainWindow::buildControls() {
    m_fileDialog = new FileDialog(this);

    m_statusBar = Place(new QStatusBar(this), "状态条1", {});
    m_statusBar->setSizeGripEnabled(false);
    m_statusText = new QLabel(m_statusBar);
    m_statusText->setTextFormat(Qt::PlainText);
    m_statusText->setWordWrap(false);
    // A permanent widget, so that no temporary status message can hide the text.
    m_statusBar->addPermanentWidget(m_statusText, 1);

    QGroupBox* settings = AddGroupBox(this, "分组框3", "工作设置", {8, 336, 360, 48});
    m_startStop = Place(new QPushButton(QString::fromUtf8("开始采集"), settings), "按钮_开始采集",
                        {248, 16, 104, 24});
    m_startStop->setAutoDefault(false);
    m_startStop->setDefault(false);
    m_level = Place(new EditBox(settings), "编辑框_采集级别", {184, 16, 56, 24});
    AddLabel(settings, "标签2", "采集级别:", {128, 16, 56, 24});
    m_threadCount = Place(new EditBox(settings), "编辑框_工作线程", {64, 16, 56, 24});
    AddLabel(settings, "标签1", "工作线程:", {8, 16, 56, 24});

    QGroupBox* related = AddGroupBox(this, "分组框2", "相关关键字", {192, 8, 176, 320});
    m_relatedList = Place(new ListBox(related), "列表框_相关关键字", {8, 16, 160, 296});
    m_relatedItems = new TextListModel(this);
    m_relatedList->setModel(m_relatedItems);

    QGroupBox* keywords = AddGroupBox(this, "分组框1", "关键字", {8, 8, 176, 320});
    m_keywordList = Place(new ListBox(keywords), "列表框_关键字", {8, 16, 160, 296});
    m_keywordItems = new TextListModel(this);
    m_keywordList->setModel(m_keywordItems);

    setTabOrder(m_keywordList, m_relatedList);
    setTabOrder(m_relatedList, m_threadCount);
    setTabOrder(m_threadCount, m_level);
    setTabOrder(m_level, m_startStop);

    connect(m_threadCount, &QLineEdit::textChanged, this, [this] {
        if (m_events.threadCountChanged)
            m_events.threadCountChanged();
    });
    connect(m_level, &QLineEdit::textChanged, this, [this] {
        if (m_events.levelChanged)
            m_events.levelChanged();
    });
    connect(m_startStop, &QPushButton::clicked, this, &MainWindow::onStartStopClicked);
}

void MainWindow::buildMenus() {
    m_keywordMenu = new QMenu(QString::fromUtf8("关键字菜单"), this);
    m_keywordMenu->setObjectName(QString::fromUtf8("关键字菜单"));
    addCommand(*m_keywordMenu, "添加", &WindowEvents::addKeyword);
    addCommand(*m_keywordMenu, "导入", &WindowEvents::importKeywords);
    m_keywordMenu->addSeparator();
    addCommand(*m_keywordMenu, "清空", &WindowEvents::clearKeywords);

    m_relatedMenu = new QMenu(QString::fromUtf8("相关关键字菜单"), this);
    m_relatedMenu->setObjectName(QString::fromUtf8("相关关键字菜单"));
    addCommand(*m_relatedMenu, "导出", &WindowEvents::exportRelated);
    m_relatedMenu->addSeparator();
    addCommand(*m_relatedMenu, "清空", &WindowEvents::clearRelated);

    connect(m_keywordList, &ListBox::rightButtonPressed, this,
            [this](QPoint globalPos) { showContextMenu(*m_keywordMenu, globalPos); });
    connect(m_relatedList, &ListBox::rightButtonPressed, this,
            [this](QPoint globalPos) { showContextMenu(*m_relatedMenu, globalPos); });
}

QAction* MainWindow::addCommand(QMenu& menu, const char* utf8Text,
                                std::function<void()> WindowEvents::*handler) {
    QAction* action = menu.addAction(QString::fromUtf8(utf8Text));
    m_commands.insert(action, handler);
    // An item chosen from the open menu runs once the menu has closed (showContextMenu);
    // triggering the action any other way runs it here.
    connect(action, &QAction::triggered, this, [this, action] {
        if (!m_menuOpen)
            runCommand(action);
    });
    return action;
}

void MainWindow::showContextMenu(QMenu& menu, QPoint globalPos) {
    m_menuOpen = true;
    QAction* chosen = menu.exec(globalPos + QPoint(3, 3));
    m_menuOpen = false;
    if (chosen)
        runCommand(chosen);
}

void MainWindow::runCommand(QAction* action) {
    const auto found = m_commands.constFind(action);
    if (found == m_commands.cend())
        return;
    const std::function<void()>& handler = m_events.*found.value();
    if (handler)
        handler();
}

void MainWindow::onStartStopClicked() {
    auto* leaving = qobject_cast<EditBox*>(focusWidget());
    const bool active = isActiveWindow();
    m_startStop->setFocus(Qt::OtherFocusReason);
    // An inactive window gets no focus-out from setFocus, yet the box must be left
    // normalised before the handler reads it.
    if (leaving && !active)
        leaving->normalise();
    if (m_events.startStopClicked)
        m_events.startStopClicked();
}

TextListModel& MainWindow::listModel(ListBoxName list) {
    return list == ListBoxName::列表框_关键字 ? *m_keywordItems : *m_relatedItems;
}

ListBox& MainWindow::listBox(ListBoxName list) {
    return list == ListBoxName::列表框_关键字 ? *m_keywordList : *m_relatedList;
}

EditBox& MainWindow::editBox(EditBoxName box) {
    return box == EditBoxName::编辑框_工作线程 ? *m_threadCount : *m_level;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_events.destroying)
        m_events.destroying();
    event->accept();
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fitOuterSize();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    fitOuterSize();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeStatusBar();
}

// Size hints do not bind every platform: a maximise request from a window manager or the
// program is turned back here.
void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    constexpr Qt::WindowStates kResizingStates = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (event->type() == QEvent::WindowStateChange && (windowState() & kResizingStates))
        setWindowState(windowState() & ~kResizingStates);
}

// The outer size includes the frame, which a window manager only reveals once the window
// is on screen; the client then shrinks by the frame so the outside keeps its size.
void MainWindow::fitOuterSize() {
    if (!isVisible())
        return;
    const QSize extra = frameGeometry().size() - size();
    if (extra == m_frameExtra || extra.width() < 0 || extra.height() < 0)
        return;
    m_frameExtra = extra;
    setFixedSize(kOuterSize - extra);
}

void MainWindow::placeStatusBar() {
    const int barHeight = m_statusBar->sizeHint().height();
    m_statusBar->setGeometry(0, height() - barHeight, width(), barHeight);
}

MainWindow* CreateMainWindow(const WindowEvents& events) {
    auto* window = new MainWindow(events);
    if (events.created)
        events.created();
    return window;
}

MainWindow* TheMainWindow() {
    return g_mainWindow;
}

} // namespace ui
