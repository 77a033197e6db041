#include "app/run_state.h"

Text ProgramDir;
std::shared_ptr<CoordinatorHandle> CoordinatorThread;
std::mutex CoordinatorThreadLock;
WorkerThreadPool* WorkerPool = nullptr;
std::atomic<int32_t> MaxLevel{0};
std::atomic<int32_t> PendingTasks{0};

void InitGlobals() {
    if (!WorkerPool)
        WorkerPool = new WorkerThreadPool;
}

void ExitCleanup() {
    ProgramDir.clear();
    ProgramDir.shrink_to_fit();
    // Abandoned workers hold their pool's shared part themselves, so the holder can go.
    delete WorkerPool;
    WorkerPool = nullptr;
    ReleaseTaskStore();
}
