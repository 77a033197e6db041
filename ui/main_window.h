#pragma once

#include "ui/controls.h"

#include <QHash>
#include <QSize>
#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QStatusBar;

namespace ui {

class EditBox;
class FileDialog;
class ListBox;
class TextListModel;

// The routines bound to the window's events. Every member may be left empty.
struct WindowEvents {
    std::function<void()> created;    // all controls exist, the window is still hidden
    std::function<void()> destroying; // the window is being closed
    std::function<void()> addKeyword;
    std::function<void()> importKeywords;
    std::function<void()> clearKeywords;
    std::function<void()> exportRelated;
    std::function<void()> clearRelated;
    std::function<void()> threadCountChanged; // text of 编辑框_工作线程 changed
    std::function<void()> levelChanged;       // text of 编辑框_采集级别 changed
    std::function<void()> startStopClicked;
};

// The program's one window. The control operations of ui/controls.h act on it.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kOuterSize{383, 439};

    explicit MainWindow(WindowEvents events);
    ~MainWindow() override;

    TextListModel& listModel(ListBoxName list);
    ListBox& listBox(ListBoxName list);
    EditBox& editBox(EditBoxName box);
    QLabel& statusLabel() { return *m_statusText; }
    QPushButton& startStopButton() { return *m_startStop; }
    FileDialog& fileDialog() { return *m_fileDialog; }
    QMenu& keywordMenu() { return *m_keywordMenu; }
    QMenu& relatedMenu() { return *m_relatedMenu; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    QAction* addCommand(QMenu& menu, const char* utf8Text,
                        std::function<void()> WindowEvents::*handler);
    void showContextMenu(QMenu& menu, QPoint globalPos);
    void runCommand(QAction* action);
    void onStartStopClicked();
    void fitOuterSize();
    void placeStatusBar();

    WindowEvents m_events;
    TextListModel* m_keywordItems = nullptr;
    TextListModel* m_relatedItems = nullptr;
    ListBox* m_keywordList = nullptr;
    ListBox* m_relatedList = nullptr;
    EditBox* m_threadCount = nullptr;
    EditBox* m_level = nullptr;
    QPushButton* m_startStop = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_statusText = nullptr;
    FileDialog* m_fileDialog = nullptr;
    QMenu* m_keywordMenu = nullptr;
    QMenu* m_relatedMenu = nullptr;
    QHash<QAction*, std::function<void()> WindowEvents::*> m_commands;
    // While a context menu is open its chosen command waits for the menu to close.
    bool m_menuOpen = false;
    QSize m_frameExtra; // what the platform's frame adds to the client size
};

// Builds the window with all its controls, raises created while it is still hidden and
// returns it; the caller shows it. There is one main window at a time.
MainWindow* CreateMainWindow(const WindowEvents& events);

// The main window, or null when there is none.
MainWindow* TheMainWindow();

} // namespace ui
