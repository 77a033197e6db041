#include "lists/related_commands.h"

#include "lists/event_pacing.h"
#include "lists/list_logic.h"
#include "text/codec.h"
#include "ui/controls.h"

#include <utility>

namespace {
constexpr auto kRelated = ui::ListBoxName::列表框_相关关键字;

// Stop command: copy, clear, add back the first occurrences while events are handled.
void DedupeProcessingEvents() {
    const std::vector<Text> copy = ui::ListItems(kRelated);
    ui::ListClear(kRelated);

    DedupePass pass(copy.size());
    std::vector<Text> batch;
    EventPacer pacer;
    for (const Text& item : copy) {
        if (pass.FirstTime(item))
            batch.push_back(item);
        if (pacer.Due()) {
            if (!batch.empty())
                ui::ListAppend(kRelated, std::exchange(batch, {}));
            ui::ProcessPendingEvents();
        }
    }
    if (!batch.empty())
        ui::ListAppend(kRelated, std::move(batch));
}

} // namespace

bool DedupeRelatedList(bool processEvents) {
    if (processEvents) {
        DedupeProcessingEvents();
        return true;
    }

    // The work is done off the UI thread on a copy; the list is replaced in one step,
    // and only if nothing touched it meanwhile (otherwise the pass is redone there).
    std::vector<Text> copy;
    uint64_t generation = 0;
    if (!ui::RunOnUiThread([&] {
            copy = ui::ListItems(kRelated);
            generation = ui::ListGeneration(kRelated);
        }))
        return false;
    std::vector<Text> unique = DedupeKeepFirst(copy);
    return ui::RunOnUiThread([&] {
        if (ui::ListGeneration(kRelated) != generation)
            unique = DedupeKeepFirst(ui::ListItems(kRelated));
        ui::ListReplace(kRelated, std::move(unique));
    });
}

void OnClearRelated() {
    ui::ListClear(kRelated);
}

void OnExportRelated() {
    ui::SetFileDialogMode(ui::FileDialogMode::Save);
    const auto path = ui::ShowFileDialog();
    if (!path)
        return;

    // The count is taken once: items appended while events are handled are not
    // exported, and an item removed meanwhile gives an empty line.
    const int count = ui::ListCount(kRelated);
    Text out;
    EventPacer pacer;
    for (int i = 0; i < count; ++i) {
        out += ui::ListItem(kRelated, i);
        out += "\r\n";
        if (pacer.Due())
            ui::ProcessPendingEvents();
    }
    const bool written = WriteWholeFile(*path, out);
    ui::SetStatusText(FromUtf8(written ? "导出完成." : "导出失败."));
}
