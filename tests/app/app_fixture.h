#pragma once

// The whole program in the test process: run state, the window wired to the real
// handlers, and the engine pointed at a loopback server. Only the closing handler is
// replaced where a test must not end the process.

#include "app/run_state.h"
#include "app/startup.h"
#include "collect/search_request.h"
#include "text/codec.h"
#include "ui/controls.h"
#include "ui/main_window.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace apptest {

inline ui::MainWindow* OpenProgramWindow(
    const QTemporaryDir& dir, std::function<void()> onClosing = [] {}) {
    InitGlobals();
    ProgramDir = QFile::encodeName(dir.path() + QLatin1Char('/')).toStdString();
    InitHttpClient();
    ui::WindowEvents events = MainWindowEvents();
    events.destroying = std::move(onClosing);
    ui::MainWindow* window = ui::CreateMainWindow(events);
    window->show();
    return window;
}

inline void PointEngineAt(int port, long limitMs = 8000) {
    SearchEndpointForTesting endpoint;
    endpoint.port = port;
    endpoint.connectTimeoutMs = limitMs;
    endpoint.transferStallMs = limitMs;
    SetSearchEndpointForTesting(endpoint);
}

inline void ClickStartStop(ui::MainWindow& window) {
    QTest::mouseClick(&window.startStopButton(), Qt::LeftButton);
}

inline bool RunCompleted() {
    return ui::StatusText().rfind(FromUtf8("采集完成"), 0) == 0 &&
           ui::ButtonCaption() == FromUtf8("开始采集");
}

inline Text Report(int total, int remaining) {
    return FromUtf8("采集完成,相关关键字共(") + std::to_string(total) +
           FromUtf8(")个,排除重复后还剩(") + std::to_string(remaining) + ")";
}

// What a run over graph must produce: every task down to maxLevel appends its page's
// related keywords; the same keyword is searched once for every place it was found.
struct ExpectedRun {
    int total = 0;
    std::set<Text> distinct;
    std::map<Text, int> searches;
};

inline ExpectedRun Simulate(const std::map<Text, std::vector<Text>>& graph,
                            const std::vector<Text>& seeds, int maxLevel) {
    ExpectedRun run;
    std::vector<std::pair<Text, int>> tasks;
    for (const Text& seed : seeds)
        tasks.emplace_back(seed, 1);
    for (size_t i = 0; i < tasks.size(); ++i) {
        const auto [keyword, level] = tasks[i];
        if (level > maxLevel)
            continue;
        ++run.searches[keyword];
        const auto found = graph.find(keyword);
        if (found == graph.end())
            continue;
        for (const Text& related : found->second) {
            ++run.total;
            run.distinct.insert(related);
            tasks.emplace_back(related, level + 1);
        }
    }
    return run;
}

inline QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace apptest
