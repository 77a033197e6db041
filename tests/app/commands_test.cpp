// The list commands, the settings handlers and one collection task, each driven the way
// the window drives them, with the program's real control operations.
#include "app_fixture.h"

#include "../support/keyword_graph_server.h"
#include "../ui/modal_helpers.h"
#include "collect/collect_task.h"
#include "lists/keyword_commands.h"
#include "lists/related_commands.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "ui/edit_box.h"

#include <QApplication>
#include <QLineEdit>

#include <json-c/json.h>

using namespace apptest;
using ui::EditBoxName;
using ui::ListBoxName;

namespace {
Text G(const char* utf8) {
    return FromUtf8(utf8);
}
std::vector<Text> Items(ListBoxName list) {
    return ui::ListItems(list);
}
} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    ui::MainWindow* m_window = nullptr;

    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    std::string configPath() const { return ProgramDir + "config.ini"; }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_window = OpenProgramWindow(m_dir);
    }

    void init() {
        ui::ListClear(ListBoxName::列表框_关键字);
        ui::ListClear(ListBoxName::列表框_相关关键字);
        ui::SetStatusText("");
    }

    // --- settings ---------------------------------------------------------------------

    void firstStartCreatesTheFileWithTheDefaults() {
        // The window was opened on an empty folder.
        QCOMPARE(ui::EditText(EditBoxName::编辑框_工作线程), Text("20"));
        QCOMPARE(ui::EditText(EditBoxName::编辑框_采集级别), Text("1"));
        QCOMPARE(ReadFileBytes(path("config.ini")),
                 QByteArray::fromStdString(G("[配置]\r\n工作线程=20\r\n采集级别=1\r\n")));
    }

    void everyKeystrokeIsWritten() {
        auto& box = m_window->editBox(EditBoxName::编辑框_工作线程);
        box.setFocus();
        box.selectAll();
        QTest::keyClick(&box, Qt::Key_Backspace);
        QCOMPARE(ReadIniValue(configPath(), kConfigSection, kKeyWorkerThreads, "x"), Text(""));
        QTest::keyClick(&box, Qt::Key_3);
        QCOMPARE(ReadIniValue(configPath(), kConfigSection, kKeyWorkerThreads, "x"), Text("3"));
        QTest::keyClick(&box, Qt::Key_5);
        QCOMPARE(ReadIniValue(configPath(), kConfigSection, kKeyWorkerThreads, "x"), Text("35"));
    }

    void storedTextsAreShownAsTheyStand() {
        // An emptied box stays empty at the next start; a hand-written text is shown.
        QVERIFY(WriteIniValue(configPath(), kConfigSection, kKeyWorkerThreads, ""));
        QVERIFY(WriteIniValue(configPath(), kConfigSection, kKeyCollectLevel, "abc"));
        LoadSettings();
        QCOMPARE(ui::EditText(EditBoxName::编辑框_工作线程), Text(""));
        QCOMPARE(ui::EditText(EditBoxName::编辑框_采集级别), Text("abc"));
        QCOMPARE(ReadIniValue(configPath(), kConfigSection, kKeyCollectLevel, "x"), Text("abc"));
        QCOMPARE(TextToInt(ui::EditText(EditBoxName::编辑框_采集级别)), 0);
    }

    // --- keyword list -----------------------------------------------------------------

    void import_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArrayList>("items");
        QTest::newRow("blank lines dropped")
            << QByteArray("a\r\n\r\n  \r\nb\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("leading spaces kept") << QByteArray("  x") << QByteArrayList{"  x"};
        QTest::newRow("tab is not a space") << QByteArray("\t\r\n") << QByteArrayList{"\t"};
        QTest::newRow("full-width space only")
            << QByteArray("\xA1\xA1\r\ny") << QByteArrayList{"y"};
        QTest::newRow("LF only is one line") << QByteArray("a\nb\n") << QByteArrayList{"a\nb\n"};
        QTest::newRow("zero byte ends the file")
            << QByteArray("a\r\nb\0c\r\nd", 9) << QByteArrayList{"a", "b"};
        QTest::newRow("empty file") << QByteArray() << QByteArrayList{};
        QTest::newRow("lone lead byte at the end")
            << QByteArray("a\r\nb\xB0") << QByteArrayList{"a", "b\xB0"};
    }

    void import() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArrayList, items);
        WriteFileBytes(path("in.txt"), content);
        ui::ListAppend(ListBoxName::列表框_关键字, "kept");
        auto answered = modal_helpers::AcceptFileDialog(path("in.txt"));
        OnImportKeywords();
        QVERIFY(*answered);
        std::vector<Text> expected{"kept"};
        for (const QByteArray& item : items)
            expected.push_back(item.toStdString());
        QCOMPARE(Items(ListBoxName::列表框_关键字), expected);
        QCOMPARE(ui::StatusText(), G("导入完成."));
    }

    void importTwiceListsEveryLineTwice() {
        WriteFileBytes(path("twice.txt"), "a\r\nb");
        for (int i = 0; i < 2; ++i) {
            auto answered = modal_helpers::AcceptFileDialog(path("twice.txt"));
            OnImportKeywords();
            QVERIFY(*answered);
        }
        QCOMPARE(Items(ListBoxName::列表框_关键字), (std::vector<Text>{"a", "b", "a", "b"}));
    }

    void importThatCannotReadSaysSo() {
        // The file is confirmed in the dialog and gone before it is read.
        WriteFileBytes(path("vanishes.txt"), "a\r\n");
        auto answered = modal_helpers::AnswerNext<QFileDialog>([this](QFileDialog* dialog) {
            QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                             [this] { QFile::remove(path("vanishes.txt")); });
            modal_helpers::FileNameField(dialog)->setText(path("vanishes.txt"));
            static_cast<QDialog*>(dialog)->accept();
        });
        OnImportKeywords();
        QVERIFY(*answered);
        QVERIFY(Items(ListBoxName::列表框_关键字).empty());
        QCOMPARE(ui::StatusText(), G("导入失败."));
    }

    void cancelledImportChangesNothing() {
        ui::SetStatusText("before");
        auto answered = modal_helpers::CancelFileDialog();
        OnImportKeywords();
        QVERIFY(*answered);
        QVERIFY(Items(ListBoxName::列表框_关键字).empty());
        QCOMPARE(ui::StatusText(), Text("before"));
    }

    void addKeeps_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("chinese") << QString::fromUtf8("  关键 字 ");
        QTest::newRow("empty") << QString();
    }

    void addKeeps() {
        QFETCH(QString, typed);
        auto answered = modal_helpers::AcceptInputDialog(typed, [](QInputDialog* dialog) {
            QCOMPARE(dialog->labelText(), QString::fromUtf8("请输入关键字:"));
            QCOMPARE(dialog->windowTitle(), QString::fromUtf8("请输入关键字:"));
        });
        OnAddKeyword();
        QVERIFY(*answered);
        QCOMPARE(Items(ListBoxName::列表框_关键字), std::vector<Text>{ToText(typed)});

        answered = modal_helpers::CancelInputDialog();
        OnAddKeyword();
        QVERIFY(*answered);
        QCOMPARE(Items(ListBoxName::列表框_关键字).size(), size_t{1});
    }

    void clearKeywordsSaysSoEvenWhenEmpty() {
        OnClearKeywords();
        QCOMPARE(ui::StatusText(), G("列表已清空.."));
        ui::ListAppend(ListBoxName::列表框_关键字, std::vector<Text>{"a", "b"});
        ui::SetStatusText("");
        OnClearKeywords();
        QVERIFY(Items(ListBoxName::列表框_关键字).empty());
        QCOMPARE(ui::StatusText(), G("列表已清空.."));
    }

    // --- related list -----------------------------------------------------------------

    void dedupe_data() {
        QTest::addColumn<bool>("processEvents");
        QTest::newRow("stop, on the UI thread") << true;
        QTest::newRow("coordinator, from its thread") << false;
    }

    void dedupe() {
        QFETCH(bool, processEvents);
        ui::ListAppend(ListBoxName::列表框_相关关键字,
                       std::vector<Text>{"b", "a", "b", "A", "a", "", ""});
        if (processEvents) {
            QVERIFY(DedupeRelatedList(true));
        } else {
            bool done = false;
            std::thread coordinator([&] { done = DedupeRelatedList(false); });
            QTRY_VERIFY(done);
            coordinator.join();
        }
        QCOMPARE(Items(ListBoxName::列表框_相关关键字), (std::vector<Text>{"b", "a", "A", ""}));
    }

    void exportWritesEveryItemWithCrLf() {
        ui::ListAppend(ListBoxName::列表框_相关关键字, std::vector<Text>{"x", G("中")});
        auto answered = modal_helpers::AcceptFileDialog(path("out.txt"));
        OnExportRelated();
        QVERIFY(*answered);
        QCOMPARE(ReadFileBytes(path("out.txt")),
                 QByteArray::fromStdString("x\r\n" + G("中") + "\r\n"));
        QCOMPARE(ui::StatusText(), G("导出完成."));

        ui::ListClear(ListBoxName::列表框_相关关键字);
        answered = modal_helpers::AcceptFileDialog(path("empty.txt"));
        OnExportRelated();
        QVERIFY(*answered);
        QVERIFY(QFileInfo::exists(path("empty.txt")));
        QCOMPARE(ReadFileBytes(path("empty.txt")), QByteArray());
        QCOMPARE(ui::StatusText(), G("导出完成."));
    }

    void exportThatCannotWriteSaysSo() {
        // The name is confirmed, and a folder of that name appears before the write.
        ui::ListAppend(ListBoxName::列表框_相关关键字, "x");
        auto answered = modal_helpers::AnswerNext<QFileDialog>([this](QFileDialog* dialog) {
            QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                             [this] { QDir(m_dir.path()).mkdir(QStringLiteral("taken.txt")); });
            modal_helpers::FileNameField(dialog)->setText(path("taken.txt"));
            static_cast<QDialog*>(dialog)->accept();
        });
        OnExportRelated();
        QVERIFY(*answered);
        QVERIFY(QFileInfo(path("taken.txt")).isDir());
        QCOMPARE(ui::StatusText(), G("导出失败."));
    }

    void clearRelatedLeavesTheStatus() {
        ui::SetStatusText("keep");
        ui::ListAppend(ListBoxName::列表框_相关关键字, "x");
        OnClearRelated();
        QVERIFY(Items(ListBoxName::列表框_相关关键字).empty());
        QCOMPARE(ui::StatusText(), Text("keep"));
    }

    // --- one collection task ----------------------------------------------------------

    void taskListsItsLinksAndPostsOneChildEach() {
        const std::vector<Text> links{G("一"), "two", "", G("四"), "two"};
        testsupport::KeywordGraphServer server({{"seed", links}});
        PointEngineAt(server.port());
        ResetTaskStore();
        MaxLevel.store(1);
        PendingTasks.store(1);
        const int seed = AppendTask("seed", int32_t{1});
        // No pool: the children are recorded and counted, and their posts are dropped.
        WorkerPool->Destroy(0);

        bool done = false;
        std::thread worker([&] {
            CollectTask(seed);
            done = true;
        });
        QTRY_VERIFY(done);
        worker.join();

        QCOMPARE(Items(ListBoxName::列表框_相关关键字), links);
        QCOMPARE(TaskCount(), 1 + int(links.size()));
        for (int i = 0; i < int(links.size()); ++i) {
            QCOMPARE(GetTask(1 + i).keyword, links[size_t(i)]);
            QCOMPARE(GetTask(1 + i).level, 2);
            json_object* level = nullptr;
            json_object_object_get_ex(json_object_array_get_idx(TaskStore, 1 + i),
                                      "\xCF\xD6\xD0\xD0\xBC\xB6\xB1\xF0", &level);
            QCOMPARE(json_object_get_type(level), json_type_double);
        }
        // One decrement for the task itself, one increment per child still pending.
        QCOMPARE(PendingTasks.load(), int(links.size()));

        // A child beyond the level fetches nothing and only takes itself off the count.
        const int before = server.TotalRequests();
        for (int i = 0; i < int(links.size()); ++i)
            CollectTask(1 + i);
        QCOMPARE(server.TotalRequests(), before);
        QCOMPARE(PendingTasks.load(), 0);
        QCOMPARE(Items(ListBoxName::列表框_相关关键字).size(), links.size());
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
