#include "app/startup.h"

#include "app/closing.h"
#include "app/run_state.h"
#include "collect/run_control.h"
#include "collect/search_request.h"
#include "lists/keyword_commands.h"
#include "lists/related_commands.h"
#include "platform/platform.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "ui/main_window.h"

#include <QApplication>

ui::WindowEvents MainWindowEvents() {
    ui::WindowEvents events;
    events.created = LoadSettings;
    events.destroying = OnMainWindowClosing;
    events.addKeyword = OnAddKeyword;
    events.importKeywords = OnImportKeywords;
    events.clearKeywords = OnClearKeywords;
    events.exportRelated = OnExportRelated;
    events.clearRelated = OnClearRelated;
    events.threadCountChanged = [] {
        SaveSetting(kKeyWorkerThreads, ui::EditBoxName::编辑框_工作线程);
    };
    events.levelChanged = [] { SaveSetting(kKeyCollectLevel, ui::EditBoxName::编辑框_采集级别); };
    events.startStopClicked = OnStartStopClicked;
    return events;
}

int StartUp(int& argc, char** argv) {
    platform::BindToFirstProcessor();
    ProgramDir = platform::ExecutableDirectory();
    platform::EnableDebugPrivilege();

    // Never destroyed: abandoned workers may still be finishing when the process exits,
    // and the closing sequence ends the process from inside the event loop.
    new QApplication(argc, argv);
    InitHttpClient();

    ui::MainWindow* window = ui::CreateMainWindow(MainWindowEvents());
    window->show();

    platform::TrimWorkingSet();
    return 0;
}
