#include "collect/run_control.h"

#include "app/run_state.h"
#include "collect/collect_task.h"
#include "lists/related_commands.h"
#include "text/codec.h"
#include "ui/controls.h"

#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr auto kPausePerSeed = std::chrono::milliseconds(5);
constexpr auto kPollInterval = std::chrono::milliseconds(50);

const Text& StartCaption() {
    static const Text caption = FromUtf8("开始采集");
    return caption;
}

const Text& StopCaption() {
    static const Text caption = FromUtf8("停止采集");
    return caption;
}

Text CompletionReport(int total, int remaining) {
    return FromUtf8("采集完成,相关关键字共(") + std::to_string(total) +
           FromUtf8(")个,排除重复后还剩(") + std::to_string(remaining) + ")";
}

void StartRun() {
    ui::SetButtonCaption(StopCaption());
    MaxLevel.store(TextToInt(ui::EditText(ui::EditBoxName::编辑框_采集级别)));
    ResetTaskStore();
    PendingTasks.store(0);
    WorkerPool->Create(TextToInt(ui::EditText(ui::EditBoxName::编辑框_工作线程)));

    auto coordinator = std::make_shared<CoordinatorHandle>();
    {
        std::lock_guard lock(CoordinatorThreadLock);
        CoordinatorThread = coordinator;
    }
    std::thread([cutOff = coordinator->cutOff] {
        currentCutOff = cutOff;
        RunCoordinator();
    }).detach();
}

void StopRun() {
    EndCoordinator();
    WorkerPool->Destroy(1);
    ui::SetButtonCaption(StartCaption());
    DedupeRelatedList(true);
}

// Sleeps for d, waking early when the calling thread's work is cut off.
void PauseUnlessCut(std::chrono::milliseconds d) {
    if (!IsCurrentWorkCut())
        std::this_thread::sleep_for(d);
}

} // namespace

void OnStartStopClicked() {
    if (ui::ButtonCaption() == StartCaption())
        StartRun();
    else
        StopRun();
}

void EndCoordinator() {
    std::shared_ptr<CoordinatorHandle> coordinator;
    {
        std::lock_guard lock(CoordinatorThreadLock);
        coordinator.swap(CoordinatorThread);
    }
    if (coordinator)
        coordinator->cutOff->Cut();
}

void RunCoordinator() {
    using ui::ListBoxName;
    const CutOffPtr self = currentCutOff;

    if (!ui::RunOnUiThread([] { ui::SetStatusText(FromUtf8("正在采集...")); }))
        return;
    int seedCount = 0;
    if (!ui::RunOnUiThread([&] { seedCount = ui::ListCount(ListBoxName::列表框_关键字); }))
        return;

    for (int i = 0; i < seedCount; ++i) {
        Text keyword;
        if (!ui::RunOnUiThread([&] { keyword = ui::ListItem(ListBoxName::列表框_关键字, i); }))
            return;
        const bool posted = ApplyEffect([&] {
            const int index = AppendTask(keyword, int32_t{1});
            PendingTasks.fetch_add(1);
            WorkerPool->PostWorkItem(CollectTask, index);
        });
        if (!posted)
            return;
        PauseUnlessCut(kPausePerSeed);
    }

    while (PendingTasks.load() > 0) {
        if (IsCurrentWorkCut())
            return;
        std::this_thread::sleep_for(kPollInterval);
    }

    // CoordinatorThread stays set until the report is out, so that a stop pressed in
    // the meantime cuts these steps off instead of interleaving its own de-duplication
    // with them.
    int total = 0;
    if (!ui::RunOnUiThread([&] { total = ui::ListCount(ListBoxName::列表框_相关关键字); }))
        return;
    if (!DedupeRelatedList(false))
        return;
    ui::RunOnUiThread([&] {
        {
            std::lock_guard lock(CoordinatorThreadLock);
            if (CoordinatorThread && CoordinatorThread->cutOff == self)
                CoordinatorThread.reset();
        }
        ui::SetButtonCaption(StartCaption());
        ui::SetStatusText(CompletionReport(total, ui::ListCount(ListBoxName::列表框_相关关键字)));
    });
}
