#include "lists/keyword_commands.h"

#include "lists/event_pacing.h"
#include "lists/list_logic.h"
#include "text/codec.h"
#include "ui/controls.h"

#include <utility>

namespace {
constexpr auto kKeywords = ui::ListBoxName::列表框_关键字;
}

void OnAddKeyword() {
    const Text prompt = FromUtf8("请输入关键字:");
    if (const auto keyword = ui::InputBox(prompt, prompt))
        ui::ListAppend(kKeywords, *keyword);
}

void OnImportKeywords() {
    ui::SetFileDialogMode(ui::FileDialogMode::Open);
    const auto path = ui::ShowFileDialog();
    if (!path)
        return;

    bool readable = false;
    const Text content = ReadWholeFile(*path, readable);
    // Lines arrive in the list in file order; events are handled in between, so the
    // window stays usable during a long import.
    std::vector<Text> batch;
    EventPacer pacer;
    for (Text& line : KeptImportLines(content)) {
        batch.push_back(std::move(line));
        if (pacer.Due()) {
            ui::ListAppend(kKeywords, std::exchange(batch, {}));
            ui::ProcessPendingEvents();
        }
    }
    if (!batch.empty())
        ui::ListAppend(kKeywords, std::move(batch));
    ui::SetStatusText(FromUtf8(readable ? "导入完成." : "导入失败."));
}

void OnClearKeywords() {
    ui::ListClear(kKeywords);
    ui::SetStatusText(FromUtf8("列表已清空.."));
}
