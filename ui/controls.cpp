#include "ui/controls.h"

#include "text/codec.h"
#include "ui/edit_box.h"
#include "ui/file_dialog.h"
#include "ui/list_box.h"
#include "ui/main_window.h"

#include <QCoreApplication>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <cassert>
#include <limits>

namespace ui {

namespace {

// The control operations have no meaning without the window; calling one then is a
// programming error, which release builds answer with an empty result.
MainWindow* Window() {
    MainWindow* window = TheMainWindow();
    assert(window && IsUiThread());
    return window;
}

TextListModel* List(ListBoxName list) {
    MainWindow* window = Window();
    return window ? &window->listModel(list) : nullptr;
}

} // namespace

int ListCount(ListBoxName list) {
    const TextListModel* items = List(list);
    return items ? items->count() : 0;
}

Text ListItem(ListBoxName list, int index) {
    const TextListModel* items = List(list);
    return items ? items->item(index) : Text();
}

void ListAppend(ListBoxName list, const Text& item) {
    if (TextListModel* items = List(list))
        items->append(item);
}

void ListAppend(ListBoxName list, std::vector<Text> newItems) {
    if (TextListModel* items = List(list))
        items->append(std::move(newItems));
}

void ListClear(ListBoxName list) {
    if (TextListModel* items = List(list))
        items->clear();
}

std::vector<Text> ListItems(ListBoxName list) {
    const TextListModel* items = List(list);
    return items ? items->items() : std::vector<Text>();
}

void ListReplace(ListBoxName list, std::vector<Text> newItems) {
    if (TextListModel* items = List(list))
        items->replace(std::move(newItems));
}

uint64_t ListGeneration(ListBoxName list) {
    const TextListModel* items = List(list);
    return items ? items->generation() : 0;
}

void SetStatusText(const Text& text) {
    if (MainWindow* window = Window())
        window->statusLabel().setText(ToQString(text));
}

Text StatusText() {
    MainWindow* window = Window();
    return window ? ToText(window->statusLabel().text()) : Text();
}

Text ButtonCaption() {
    MainWindow* window = Window();
    return window ? ToText(window->startStopButton().text()) : Text();
}

void SetButtonCaption(const Text& caption) {
    if (MainWindow* window = Window())
        window->startStopButton().setText(ToQString(caption));
}

Text EditText(EditBoxName box) {
    MainWindow* window = Window();
    return window ? ToText(window->editBox(box).text()) : Text();
}

void SetEditText(EditBoxName box, const Text& text) {
    if (MainWindow* window = Window())
        window->editBox(box).setText(ToQString(text));
}

void SetFileDialogMode(FileDialogMode mode) {
    if (MainWindow* window = Window())
        window->fileDialog().setMode(mode);
}

std::optional<std::string> ShowFileDialog() {
    MainWindow* window = Window();
    if (!window)
        return std::nullopt;
    const std::optional<QString> chosen = window->fileDialog().choose();
    if (!chosen)
        return std::nullopt;
    return QFile::encodeName(*chosen).toStdString();
}

std::optional<Text> InputBox(const Text& prompt, const Text& title) {
    QInputDialog dialog(TheMainWindow());
    dialog.setModal(true);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(ToQString(title));
    dialog.setLabelText(ToQString(prompt));
    dialog.setTextValue(QString());
    // The entry field has a length limit of its own unless told otherwise.
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMaxLength(std::numeric_limits<int>::max());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return ToText(dialog.textValue());
}

bool AskOkCancel(const Text& text, const Text& title) {
    QMessageBox box(QMessageBox::Question, ToQString(title), ToQString(text),
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

void ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

} // namespace ui
