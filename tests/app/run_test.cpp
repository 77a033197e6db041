// A user's whole road through the program against a loopback search server: seeds
// imported from a file, a run down to the set level, the totals, the de-duplicated list,
// the export; a stop in the middle of a run; a next run after it.
#include "app_fixture.h"

#include "../support/keyword_graph_server.h"
#include "../ui/modal_helpers.h"
#include "lists/keyword_commands.h"
#include "lists/related_commands.h"

#include <QApplication>
#include <QElapsedTimer>

#include <thread>

using namespace apptest;
using testsupport::KeywordGraph;
using testsupport::KeywordGraphOptions;
using testsupport::KeywordGraphServer;

namespace {

Text G(const char* utf8) {
    return FromUtf8(utf8);
}

// Chinese and ASCII keywords, a space that must travel as %20, a keyword found twice,
// a cycle, an empty link text, and a keyword with no related block.
KeywordGraph SmallGraph() {
    return {
        {G("苹果"), {G("苹果手机"), G("苹果电脑"), "banana"}},
        {"banana", {"banana split", G("苹果")}},
        {G("苹果手机"), {G("苹果电脑"), G("华为")}},
        {G("苹果电脑"), {""}},
        {"banana split", {G("冰淇淋")}},
    };
}

std::set<Text> ItemSet(const std::vector<Text>& items) {
    return {items.begin(), items.end()};
}

} // namespace

class RunTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    ui::MainWindow* m_window = nullptr;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_window = OpenProgramWindow(m_dir);
    }

    void init() {
        ui::ListClear(ui::ListBoxName::列表框_关键字);
        ui::ListClear(ui::ListBoxName::列表框_相关关键字);
    }

    void wholeRunFromImportedSeeds() {
        KeywordGraphServer server(SmallGraph());
        PointEngineAt(server.port());

        const QString seedFile = m_dir.filePath(QStringLiteral("seeds.txt"));
        WriteFileBytes(seedFile, QByteArray::fromStdString(G("苹果") + "\r\n  \r\nbanana\r\n"));
        auto answered = modal_helpers::AcceptFileDialog(seedFile);
        OnImportKeywords();
        QVERIFY(*answered);
        QCOMPARE(ui::ListItems(ui::ListBoxName::列表框_关键字),
                 (std::vector<Text>{G("苹果"), "banana"}));

        ui::SetEditText(ui::EditBoxName::编辑框_工作线程, "3");
        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "2");
        ClickStartStop(*m_window);
        QCOMPARE(ui::ButtonCaption(), G("停止采集"));
        QTRY_VERIFY_WITH_TIMEOUT(RunCompleted(), 30000);

        const ExpectedRun expected = Simulate(SmallGraph(), {G("苹果"), "banana"}, 2);
        const std::vector<Text> related = ui::ListItems(ui::ListBoxName::列表框_相关关键字);
        QCOMPARE(ui::StatusText(), Report(expected.total, int(expected.distinct.size())));
        QCOMPARE(related.size(), expected.distinct.size()); // no duplicate survived
        QVERIFY(ItemSet(related) == expected.distinct);
        QVERIFY(server.RequestCounts() == expected.searches);
        QCOMPARE(WorkerPool->ThreadCount(), 3);

        const QString exportFile = m_dir.filePath(QStringLiteral("out.txt"));
        answered = modal_helpers::AcceptFileDialog(exportFile);
        OnExportRelated();
        QVERIFY(*answered);
        Text exported;
        for (const Text& item : related)
            exported += item + "\r\n";
        QCOMPARE(ReadFileBytes(exportFile), QByteArray::fromStdString(exported));
        QCOMPARE(ui::StatusText(), G("导出完成."));

        // Results accumulate: a second run over the same seeds finds the same keywords
        // again, and the pool of the completed run is reused as it was.
        ui::SetEditText(ui::EditBoxName::编辑框_工作线程, "7");
        ClickStartStop(*m_window);
        QTRY_VERIFY_WITH_TIMEOUT(RunCompleted(), 30000);
        QCOMPARE(ui::StatusText(),
                 Report(int(related.size()) + expected.total, int(expected.distinct.size())));
        QCOMPARE(WorkerPool->ThreadCount(), 3);
    }

    void levelZeroAndEmptySeedListCompleteAtOnce() {
        KeywordGraphServer server(SmallGraph());
        PointEngineAt(server.port());
        ui::ListAppend(ui::ListBoxName::列表框_相关关键字, std::vector<Text>{"x", "y", "x"});
        ui::ListAppend(ui::ListBoxName::列表框_关键字, G("苹果"));

        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "");
        ClickStartStop(*m_window);
        QTRY_VERIFY_WITH_TIMEOUT(RunCompleted(), 10000);
        QCOMPARE(ui::StatusText(), Report(3, 2));
        QCOMPARE(server.TotalRequests(), 0);

        ui::ListClear(ui::ListBoxName::列表框_关键字);
        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "3");
        ClickStartStop(*m_window);
        QTRY_VERIFY_WITH_TIMEOUT(RunCompleted(), 10000);
        QCOMPARE(ui::StatusText(), Report(2, 2));
    }

    void stopInTheMiddleAddsNothingAfterwards() {
        // A graph with a cycle and a slow server: the run would go on for a long time.
        KeywordGraphOptions slow;
        slow.latency = std::chrono::milliseconds(150);
        KeywordGraphServer server({{"a", {"b", "c", "a"}}, {"b", {"a", "c"}}, {"c", {"a", "b"}}},
                                  slow);
        PointEngineAt(server.port());
        ui::ListAppend(ui::ListBoxName::列表框_关键字, std::vector<Text>{"a", "b", "c"});
        ui::SetEditText(ui::EditBoxName::编辑框_工作线程, "");
        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "50");

        // The previous test left a pool alive; a stop destroys it, so this run gets the
        // new thread count (0 means 20).
        ClickStartStop(*m_window);
        QTRY_VERIFY_WITH_TIMEOUT(ui::ListCount(ui::ListBoxName::列表框_相关关键字) >= 10, 20000);
        ClickStartStop(*m_window);
        QCOMPARE(ui::ButtonCaption(), G("开始采集"));
        QVERIFY(!WorkerPool->IsAlive());

        // The stop's de-duplication leaves the three distinct keywords, and nothing of
        // the cut-off workers lands later, though their requests were under way.
        const std::vector<Text> afterStop = ui::ListItems(ui::ListBoxName::列表框_相关关键字);
        QVERIFY(ItemSet(afterStop) == (std::set<Text>{"a", "b", "c"}));
        QCOMPARE(afterStop.size(), size_t{3});
        const Text statusAfterStop = ui::StatusText();
        const int storeAfterStop = TaskCount();
        const int pendingAfterStop = PendingTasks.load();
        QTest::qWait(800);
        QCOMPARE(ui::ListItems(ui::ListBoxName::列表框_相关关键字), afterStop);
        QCOMPARE(TaskCount(), storeAfterStop);
        QCOMPARE(PendingTasks.load(), pendingAfterStop);
        QCOMPARE(ui::StatusText(), statusAfterStop);

        // The next run starts from level 1 with the current settings and completes.
        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "1");
        ClickStartStop(*m_window);
        QTRY_VERIFY_WITH_TIMEOUT(RunCompleted(), 20000);
        QCOMPARE(WorkerPool->ThreadCount(), 20);
        QCOMPARE(ui::StatusText(), Report(3 + 7, 3));
    }

    void stopUnderLoadReturnsPromptly() {
        // 200 threads, 1,000 seeds against a slow server: many tasks in flight at once.
        KeywordGraphOptions slow;
        slow.latency = std::chrono::milliseconds(400);
        slow.threads = 64;
        KeywordGraphServer server({{"a", {"a", "b"}}, {"b", {"a"}}}, slow);
        PointEngineAt(server.port());
        ui::ListClear(ui::ListBoxName::列表框_关键字);
        ui::ListAppend(ui::ListBoxName::列表框_关键字, std::vector<Text>(1000, "a"));
        ui::SetEditText(ui::EditBoxName::编辑框_工作线程, "200");
        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "100");
        ClickStartStop(*m_window);
        QTRY_VERIFY_WITH_TIMEOUT(PendingTasks.load() >= 200 &&
                                     ui::ListCount(ui::ListBoxName::列表框_相关关键字) > 0,
                                 30000);

        QElapsedTimer busy;
        busy.start();
        ClickStartStop(*m_window);
        const qint64 stopMs = busy.elapsed();
        qInfo("stop handler kept the UI thread busy for %lld ms", stopMs);
        QVERIFY2(stopMs < 3000, qPrintable(QString::number(stopMs)));
        QCOMPARE(ui::ButtonCaption(), G("开始采集"));

        const std::vector<Text> afterStop = ui::ListItems(ui::ListBoxName::列表框_相关关键字);
        const int storeAfterStop = TaskCount();
        QTest::qWait(1000);
        QCOMPARE(ui::ListItems(ui::ListBoxName::列表框_相关关键字), afterStop);
        QCOMPARE(TaskCount(), storeAfterStop);

        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "0");
        ClickStartStop(*m_window);
        QTRY_VERIFY_WITH_TIMEOUT(RunCompleted(), 30000);
        ui::ListClear(ui::ListBoxName::列表框_关键字);
        ui::ListClear(ui::ListBoxName::列表框_相关关键字);
    }

    void stopRightAfterStartNeverHangs() {
        KeywordGraphServer server({{"a", {"a", "a"}}});
        PointEngineAt(server.port());
        ui::ListAppend(ui::ListBoxName::列表框_关键字, std::vector<Text>(50, "a"));
        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "1000");
        for (int round = 0; round < 20; ++round) {
            ClickStartStop(*m_window);
            QTest::qWait(round % 5);
            ClickStartStop(*m_window);
            QCOMPARE(ui::ButtonCaption(), G("开始采集"));
            const std::vector<Text> items = ui::ListItems(ui::ListBoxName::列表框_相关关键字);
            QVERIFY(items.size() <= 1);
        }
    }
};

QTEST_MAIN(RunTest)
#include "run_test.moc"
