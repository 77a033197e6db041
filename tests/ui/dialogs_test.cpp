#include "modal_helpers.h"
#include "text/codec.h"
#include "ui/controls.h"
#include "ui/main_window.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace ui;
using namespace modal_helpers;

namespace {

// What a test saw of a dialog when it opened.
struct FileDialogSeen {
    QString preselected;
    QString nameFilter;
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    bool modal = false;
    bool nativeDialog = true;
    bool confirmsOverwrite = false;
    QString objectName;
    QStringList nameFilters;
    QString defaultSuffix;
};

std::function<void(QFileDialog*)> Record(FileDialogSeen& seen) {
    return [&seen](QFileDialog* dialog) {
        seen.preselected = dialog->selectedFiles().value(0);
        if (QLineEdit* field = FileNameField(dialog))
            seen.preselected = field->text().isEmpty() ? QString() : seen.preselected;
        seen.nameFilter = dialog->selectedNameFilter();
        seen.fileMode = dialog->fileMode();
        seen.acceptMode = dialog->acceptMode();
        seen.modal = dialog->isModal();
        seen.nativeDialog = !dialog->testOption(QFileDialog::DontUseNativeDialog);
        seen.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        seen.objectName = dialog->objectName();
        seen.nameFilters = dialog->nameFilters();
        seen.defaultSuffix = dialog->defaultSuffix();
    };
}

std::string NativeName(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup() { DropPendingAnswers(); }
    void fileDialogModes_data();
    void fileDialogModes();
    void fileDialogOffersTheLastConfirmedNameInEitherMode();
    void cancelledFileDialogGivesNothingAndKeepsTheLastName();
    void openModeRefusesAMissingFile();
    void saveModeAsksBeforeOverwriting_data();
    void saveModeAsksBeforeOverwriting();
    void saveModeRefusesAMissingFolder();
    void saveModeAddsTheDefaultSuffix();
    void inputBox_data();
    void inputBox();
    void askOkCancel_data();
    void askOkCancel();

private:
    QString path(const char* utf8Name) const { return m_dir.filePath(QString::fromUtf8(utf8Name)); }
    void makeFile(const QString& name) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    MainWindow* m_window = nullptr;
    QTemporaryDir m_dir;
};

void DialogsTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_window = CreateMainWindow({});
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void DialogsTest::cleanupTestCase() {
    delete m_window;
}

void DialogsTest::fileDialogModes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("acceptMode");
    QTest::newRow("open") << int(FileDialogMode::Open) << int(QFileDialog::ExistingFile)
                          << int(QFileDialog::AcceptOpen);
    QTest::newRow("save") << int(FileDialogMode::Save) << int(QFileDialog::AnyFile)
                          << int(QFileDialog::AcceptSave);
}

void DialogsTest::fileDialogModes() {
    QFETCH(int, mode);
    QFETCH(int, fileMode);
    QFETCH(int, acceptMode);
    const QString chosen = path("已有文件.txt");
    makeFile(chosen);

    FileDialogSeen seen;
    SetFileDialogMode(static_cast<FileDialogMode>(mode));
    const Answered answered = AcceptFileDialog(chosen, Record(seen));
    // Saving over the existing file asks first.
    const bool save = mode == int(FileDialogMode::Save);
    const Answered overwrite = save ? ClickMessageBoxButton(QMessageBox::Yes) : Answered();
    const std::optional<std::string> result = ShowFileDialog();

    QVERIFY(*answered);
    if (save)
        QVERIFY(*overwrite);
    QCOMPARE(result, std::optional<std::string>(NativeName(chosen)));
    QCOMPARE(seen.objectName, QString::fromUtf8("通用对话框1"));
    QCOMPARE(int(seen.fileMode), fileMode);
    QCOMPARE(int(seen.acceptMode), acceptMode);
    QVERIFY(seen.modal);
    QVERIFY(!seen.nativeDialog);
    QVERIFY(seen.confirmsOverwrite);
    QCOMPARE(seen.nameFilters, (QStringList{QString::fromUtf8("TXT文件 (*.txt)"),
                                            QString::fromUtf8("所有文件 (*.*)")}));
    QCOMPARE(seen.nameFilter, QString::fromUtf8("TXT文件 (*.txt)"));
    QCOMPARE(seen.defaultSuffix, QStringLiteral("txt"));
    QCOMPARE(m_window->findChildren<QFileDialog*>().size(), 1);
}

void DialogsTest::fileDialogOffersTheLastConfirmedNameInEitherMode() {
    const QString first = path("first.txt");
    makeFile(first);
    SetFileDialogMode(FileDialogMode::Open);
    AcceptFileDialog(first);
    QVERIFY(ShowFileDialog());

    // The other mode, and the filter is back on its first entry after the user changed it.
    FileDialogSeen seen;
    SetFileDialogMode(FileDialogMode::Save);
    const Answered answered = CancelFileDialog([&seen](QFileDialog* dialog) {
        Record(seen)(dialog);
        dialog->selectNameFilter(dialog->nameFilters().last());
    });
    QVERIFY(!ShowFileDialog());
    QVERIFY(*answered);
    QCOMPARE(seen.preselected, first);

    const QString second = path("second.txt");
    AcceptFileDialog(second);
    QCOMPARE(ShowFileDialog(), std::optional<std::string>(NativeName(second)));

    SetFileDialogMode(FileDialogMode::Open);
    CancelFileDialog(Record(seen));
    QVERIFY(!ShowFileDialog());
    QCOMPARE(seen.preselected, second);
    QCOMPARE(seen.nameFilter, QString::fromUtf8("TXT文件 (*.txt)"));
}

void DialogsTest::cancelledFileDialogGivesNothingAndKeepsTheLastName() {
    const QString kept = path("kept.txt");
    makeFile(kept);
    SetFileDialogMode(FileDialogMode::Open);
    AcceptFileDialog(kept);
    QVERIFY(ShowFileDialog());

    const Answered cancelled = CancelFileDialog([](QFileDialog* dialog) {
        if (QLineEdit* field = FileNameField(dialog))
            field->setText(QStringLiteral("typed but not confirmed.txt"));
    });
    QCOMPARE(ShowFileDialog(), std::nullopt);
    QVERIFY(*cancelled);

    FileDialogSeen seen;
    CancelFileDialog(Record(seen));
    QVERIFY(!ShowFileDialog());
    QCOMPARE(seen.preselected, kept);
}

void DialogsTest::openModeRefusesAMissingFile() {
    SetFileDialogMode(FileDialogMode::Open);
    const Answered tried = AcceptFileDialog(path("missing.txt"));
    const Answered warned = ClickMessageBoxButton(QMessageBox::Ok);
    const Answered gaveUp = CancelFileDialog();
    QCOMPARE(ShowFileDialog(), std::nullopt);
    QVERIFY(*tried);
    QVERIFY(*warned);
    QVERIFY(*gaveUp);
}

void DialogsTest::saveModeAsksBeforeOverwriting_data() {
    QTest::addColumn<bool>("replace");
    QTest::newRow("replace it") << true;
    QTest::newRow("keep it") << false;
}

void DialogsTest::saveModeAsksBeforeOverwriting() {
    QFETCH(bool, replace);
    const QString existing = path("existing.txt");
    makeFile(existing);
    SetFileDialogMode(FileDialogMode::Save);
    AcceptFileDialog(existing);
    const Answered asked = ClickMessageBoxButton(replace ? QMessageBox::Yes : QMessageBox::No);
    // Declining leaves the dialog open for another name.
    const Answered gaveUp = replace ? Answered() : CancelFileDialog();
    const std::optional<std::string> result = ShowFileDialog();
    QVERIFY(*asked);
    if (replace) {
        QCOMPARE(result, std::optional<std::string>(NativeName(existing)));
    } else {
        QVERIFY(*gaveUp);
        QCOMPARE(result, std::nullopt);
    }
}

void DialogsTest::saveModeRefusesAMissingFolder() {
    SetFileDialogMode(FileDialogMode::Save);
    const Answered tried = AcceptFileDialog(path("no such folder/out.txt"));
    const Answered warned = ClickMessageBoxButton(QMessageBox::Ok);
    const Answered gaveUp = CancelFileDialog();
    QCOMPARE(ShowFileDialog(), std::nullopt);
    QVERIFY(*tried);
    QVERIFY(*warned);
    QVERIFY(*gaveUp);
}

void DialogsTest::saveModeAddsTheDefaultSuffix() {
    SetFileDialogMode(FileDialogMode::Save);
    AcceptFileDialog(path("导出"));
    QCOMPARE(ShowFileDialog(), std::optional<std::string>(NativeName(path("导出.txt"))));
}

void DialogsTest::inputBox_data() {
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("entered");
    QTest::newRow("a keyword") << true << QString::fromUtf8("相关 关键字");
    QTest::newRow("an empty keyword") << true << QString();
    QTest::newRow("leading blanks kept") << true << QStringLiteral("  x");
    QTest::newRow("longer than a line edit's usual limit") << true << QString(40000, u'k');
    QTest::newRow("cancelled") << false << QStringLiteral("typed");
}

void DialogsTest::inputBox() {
    QFETCH(bool, confirm);
    QFETCH(QString, entered);
    QString title;
    QString prompt;
    QString initial = QStringLiteral("not looked at");
    bool modal = false;
    const auto inspect = [&](QInputDialog* dialog) {
        title = dialog->windowTitle();
        prompt = dialog->labelText();
        initial = dialog->textValue();
        modal = dialog->isModal();
        if (!confirm)
            dialog->setTextValue(entered);
    };
    const Answered answered =
        confirm ? AcceptInputDialog(entered, inspect) : CancelInputDialog(inspect);
    const Text question = ToText(QString::fromUtf8("请输入关键字:"));
    const std::optional<Text> result = InputBox(question, question);

    QVERIFY(*answered);
    QCOMPARE(title, QString::fromUtf8("请输入关键字:"));
    QCOMPARE(prompt, QString::fromUtf8("请输入关键字:"));
    QCOMPARE(initial, QString());
    QVERIFY(modal);
    if (confirm)
        QCOMPARE(result, std::optional<Text>(ToText(entered)));
    else
        QCOMPARE(result, std::nullopt);
}

void DialogsTest::askOkCancel_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << int(QMessageBox::Ok) << true;
    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << false;
}

void DialogsTest::askOkCancel() {
    QFETCH(int, button);
    QFETCH(bool, ok);
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::WindowModality modality = Qt::NonModal;
    QWidget* owner = m_window;
    const Answered answered = ClickMessageBoxButton(
        static_cast<QMessageBox::StandardButton>(button), [&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            modality = box->windowModality();
            owner = box->parentWidget();
        });
    const bool result =
        AskOkCancel(ToText(QString::fromUtf8("是否继续?")), ToText(QString::fromUtf8("信息：")));
    QVERIFY(*answered);
    QCOMPARE(result, ok);
    QCOMPARE(title, QString::fromUtf8("信息："));
    QCOMPARE(text, QString::fromUtf8("是否继续?"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(modality, Qt::ApplicationModal);
    QCOMPARE(owner, nullptr);
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
