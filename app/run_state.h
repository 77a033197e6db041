#pragma once

#include "collect/cut_off.h"
#include "collect/task_store.h"
#include "collect/worker_pool.h"
#include "text/text.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// The shared run state: process-wide values created before the window opens and alive
// until the process exits. TaskStore is declared with the task store.

// Directory of the executable in native path bytes, ending in one separator. Written
// once during start-up, before any other thread exists.
extern Text ProgramDir;

// The coordinator of the active run. A coordinator thread cannot be ended from outside
// on every platform, so "ending it at once" cuts its CutOff: from then on none of its
// effects lands and it leaves at its next step.
struct CoordinatorHandle {
    CutOffPtr cutOff = std::make_shared<CutOff>();
};
extern std::shared_ptr<CoordinatorHandle> CoordinatorThread; // null: none
// Guards CoordinatorThread, which the UI thread and the coordinator both write.
extern std::mutex CoordinatorThreadLock;

extern WorkerThreadPool* WorkerPool;
extern std::atomic<int32_t> MaxLevel;
extern std::atomic<int32_t> PendingTasks;

// Creates the holders of WorkerPool and TaskStore. Runs before anything else.
void InitGlobals();
// Registered with atexit right after InitGlobals. Does not stop a pool or coordinator.
void ExitCleanup();
