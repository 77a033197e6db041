#include "collect/collect_task.h"

#include "app/run_state.h"
#include "collect/search_request.h"
#include "collect/text_between.h"
#include "platform/platform.h"
#include "ui/controls.h"

#include <chrono>
#include <thread>
#include <utility>

// "相关搜索</th><th>" and "</table></div>" in code page 936.
const char kRelatedBlockLeft[] = "\xCF\xE0\xB9\xD8\xCB\xD1\xCB\xF7</th><th>";
const char kRelatedBlockRight[] = "</table></div>";
const char kLinkTextLeft[] = "\">";
const char kLinkTextRight[] = "</a>";

namespace {
constexpr auto kPausePerPost = std::chrono::milliseconds(5);
}

void CollectTask(int index) {
    const TaskRecordValues task = GetTask(index);

    if (task.level <= MaxLevel.load()) {
        const Text page = FetchSearchPage(task.keyword);
        const Text block = TextBetween(page, kRelatedBlockLeft, kRelatedBlockRight);
        std::vector<Text> found = TextBetween(block, kLinkTextLeft, kLinkTextRight, all);

        // All of the task's appends go to the list in one hand-off, in page order, and
        // have been carried out before its children are posted and before its own
        // decrement below, which is what the coordinator's count relies on.
        if (!found.empty()) {
            const bool listed = ui::RunOnUiThread([&found] {
                ui::ListAppend(ui::ListBoxName::列表框_相关关键字, std::vector<Text>(found));
            });
            if (!listed)
                return;
        }

        const double childLevel = static_cast<double>(task.level) + 1.0;
        for (const Text& keyword : found) {
            const bool posted = ApplyEffect([&] {
                const int child = AppendTask(keyword, childLevel);
                if (child < 0) // no memory left for the record: there is no task to post
                    return;
                PendingTasks.fetch_add(1);
                WorkerPool->PostWorkItem(CollectTask, child);
            });
            if (!posted)
                return;
            std::this_thread::sleep_for(kPausePerPost);
        }
    }

    if (!ApplyEffect([] { PendingTasks.fetch_sub(1); }))
        return;
    platform::TrimWorkingSet();
}
