#include "ui/file_dialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

namespace ui {

namespace {

QStringList NameFilters() {
    return {QString::fromUtf8("TXT文件 (*.txt)"), QString::fromUtf8("所有文件 (*.*)")};
}

} // namespace

FileDialog::FileDialog(QWidget* parent) : QFileDialog(parent) {
    setObjectName(QString::fromUtf8("通用对话框1"));
    setModal(true);
    setOption(QFileDialog::DontUseNativeDialog);
    setNameFilters(NameFilters());
    setDefaultSuffix(QStringLiteral("txt"));
}

std::optional<QString> FileDialog::choose() {
    if (m_mode == FileDialogMode::Open) {
        setFileMode(QFileDialog::ExistingFile);
        setAcceptMode(QFileDialog::AcceptOpen);
    } else {
        setFileMode(QFileDialog::AnyFile);
        setAcceptMode(QFileDialog::AcceptSave);
    }
    selectNameFilter(NameFilters().first());
    if (!m_lastFileName.isEmpty()) {
        selectFile(m_lastFileName);
    } else if (auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        // A name typed into a dialog that was then cancelled is not a confirmed name.
        nameEdit->clear();
    }
    const int result = exec();
    // The name field's completer list may still be up when Enter confirmed the dialog;
    // left open it would sit over the main window and take its next click.
    if (auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        if (QCompleter* completer = nameEdit->completer())
            completer->popup()->hide();
    if (result != QDialog::Accepted || selectedFiles().isEmpty())
        return std::nullopt;
    m_lastFileName = selectedFiles().first();
    return m_lastFileName;
}

// A file to be saved must go into a folder that exists; the dialog itself would accept a
// name in a missing folder and the write would then fail unnoticed.
void FileDialog::accept() {
    if (acceptMode() == QFileDialog::AcceptSave && !selectedFiles().isEmpty()) {
        const QFileInfo target(selectedFiles().first());
        if (!target.isDir() && !target.absoluteDir().exists()) {
            QMessageBox::warning(this, windowTitle(),
                                 QString::fromUtf8("%1\n路径不存在。\n请检查路径是否正确。")
                                     .arg(QDir::toNativeSeparators(target.absolutePath())));
            return;
        }
    }
    QFileDialog::accept();
}

} // namespace ui
