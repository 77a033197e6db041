// Closing the window while a run is busy: the run is cut off, the question is asked, and
// the process ends with exit code 0 from inside the closing handler, with workers still
// in their requests. The test passes only if the process exits with 0 from there.
#include "app_fixture.h"

#include "../support/loopback_server.h"
#include "../ui/modal_helpers.h"
#include "app/closing.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ui::MainWindow* window = apptest::OpenProgramWindow(dir, OnMainWindowClosing);

    // Connections to this port neither complete nor fail, so every worker is inside a
    // request when the window closes. It has no threads of its own that could still be
    // serving while the process exits.
    testsupport::UnansweredPort server;
    apptest::PointEngineAt(server.port());
    ui::ListAppend(ui::ListBoxName::列表框_关键字, std::vector<Text>(200, "a"));
    ui::SetEditText(ui::EditBoxName::编辑框_工作线程, "50");
    ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "100");
    apptest::ClickStartStop(*window);

    auto asked = std::make_shared<bool>(false);
    QTimer::singleShot(1500, window, [window, asked] {
        modal_helpers::ClickMessageBoxButton(QMessageBox::Cancel, [asked](QMessageBox* box) {
            *asked = box->text() == QString::fromUtf8("是否进入岚石官方查看最新作品?") &&
                     box->windowTitle() == QString::fromUtf8("信息：");
            std::printf("question asked: %s\n", *asked ? "yes" : "wrong text");
            std::fflush(stdout);
        });
        window->close();
        // Only reached when the closing handler did not end the process.
        std::printf("closing returned\n");
        std::_Exit(1);
    });
    QTimer::singleShot(30000, &app, [] { std::_Exit(2); });
    return QApplication::exec() == 0 ? 3 : 4;
}
