#include "app/closing.h"

#include "app/run_state.h"
#include "collect/run_control.h"
#include "platform/platform.h"
#include "text/codec.h"
#include "ui/controls.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {
constexpr auto kAbandonedThreadsGrace = std::chrono::milliseconds(1000);
}

void OnMainWindowClosing() {
    EndCoordinator();
    WorkerPool->Destroy(1);

    if (ui::AskOkCancel(FromUtf8("是否进入岚石官方查看最新作品?"), FromUtf8("信息：")))
        platform::OpenWebAddress(kMakerPage);

    // Cut-off workers give up their transfers at once; giving them a moment to leave
    // means none is still inside libcurl or TLS while the exit handlers run.
    const auto deadline = std::chrono::steady_clock::now() + kAbandonedThreadsGrace;
    while (WorkerThreadPool::RunningThreadCount() > 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    std::fflush(nullptr);
    std::exit(0);
}
