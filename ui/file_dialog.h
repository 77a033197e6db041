#pragma once

#include "ui/controls.h"

#include <QFileDialog>

#include <optional>

namespace ui {

// The file dialog component: one dialog for the window's lifetime that remembers the last
// confirmed full file name across both modes and offers it as the initial name.
class FileDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit FileDialog(QWidget* parent);

    void setMode(FileDialogMode mode) { m_mode = mode; }
    FileDialogMode mode() const { return m_mode; }
    // The chosen full file name, or nothing when cancelled.
    std::optional<QString> choose();
    QString lastFileName() const { return m_lastFileName; }

    void accept() override;

private:
    FileDialogMode m_mode = FileDialogMode::Open;
    QString m_lastFileName;
};

} // namespace ui
