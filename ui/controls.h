#pragma once

#include "text/text.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The control operations that the handlers use. Every function here must be called on
// the UI thread; other threads hand their operations over with RunOnUiThread.
namespace ui {

enum class ListBoxName { 列表框_关键字, 列表框_相关关键字 };
enum class EditBoxName { 编辑框_工作线程, 编辑框_采集级别 };

// List boxes. Index 0-based; an index outside the list gives an empty text.
int ListCount(ListBoxName list);
Text ListItem(ListBoxName list, int index);
void ListAppend(ListBoxName list, const Text& item);
// Appends many items as one change of the list (one insertion for the view).
void ListAppend(ListBoxName list, std::vector<Text> items);
void ListClear(ListBoxName list);
// A copy of all items in order.
std::vector<Text> ListItems(ListBoxName list);
// Replaces all items as one change (a clear followed by an append of items).
void ListReplace(ListBoxName list, std::vector<Text> items);
// Changes on every append, clear or replace: lets a caller tell whether the list was
// touched between two of its operations.
uint64_t ListGeneration(ListBoxName list);

// Status bar (one part), start/stop button, edit boxes.
void SetStatusText(const Text& text);
Text StatusText();
Text ButtonCaption();
void SetButtonCaption(const Text& caption);
Text EditText(EditBoxName box);
// Raises the box's text-changed event once before returning when the text changes.
void SetEditText(EditBoxName box, const Text& text);

// File dialog component 通用对话框1: the mode is kept until changed. Show() returns the
// chosen full file name in native path bytes, or nothing when cancelled.
enum class FileDialogMode { Open, Save };
void SetFileDialogMode(FileDialogMode mode);
std::optional<std::string> ShowFileDialog();

// Modal input box: the entered text when confirmed, nothing when cancelled.
std::optional<Text> InputBox(const Text& prompt, const Text& title);

// Application-modal message box without an owner window, OK and Cancel buttons and the
// question icon; true when OK was chosen.
bool AskOkCancel(const Text& text, const Text& title);

// Handles the window events waiting in the queue, then returns.
void ProcessPendingEvents();

// The UI-thread hand-off. Carries op out on the UI thread and waits until it has run.
// Called on the UI thread it runs op at once. When the calling thread's background work
// is cut off (see collect/cut_off.h) before op runs, op is discarded and false is
// returned; op itself then runs under that work's CutOff so that a cut-off can never
// land in the middle of it.
bool RunOnUiThread(const std::function<void()>& op);
bool IsUiThread();

} // namespace ui
