#pragma once

#include "collect/cut_off.h"

#include <memory>
#include <mutex>

// A fixed set of threads taking work items from one first-in-first-out queue. Each
// pool's threads run their items under the pool's CutOff (currentCutOff), which Destroy
// cuts when it abandons busy threads: after Destroy returns, no effect of that pool's
// routines lands anywhere. Every operation may be called from any thread, a routine of
// the pool included (a Destroy from a routine does not wait for its own thread).
class WorkerThreadPool {
public:
    using Routine = void (*)(int);

    // Upper bound on the thread count, so a mistyped count cannot exhaust the machine.
    static constexpr int kMaxThreads = 1024;
    static constexpr int kDefaultThreads = 20;

    WorkerThreadPool();
    ~WorkerThreadPool();
    WorkerThreadPool(const WorkerThreadPool&) = delete;
    WorkerThreadPool& operator=(const WorkerThreadPool&) = delete;

    // With a pool alive (or stopping) nothing changes and its thread count is returned.
    // Otherwise 0 means kDefaultThreads, counts above kMaxThreads are capped, and the
    // number of threads started is returned; with none started no pool exists.
    int Create(int count);

    // Queues routine(index); false (item dropped) when no pool is alive.
    bool PostWorkItem(Routine routine, int index);

    // Queues one quit marker per thread behind the waiting items and waits at most
    // waitMs for the threads to end. Threads still running then are abandoned (their
    // CutOff is cut, they run on detached) and the items still queued are discarded.
    // Nothing happens when no pool is alive.
    void Destroy(int waitMs);

    bool IsAlive() const;
    int ThreadCount() const;

    // Threads of every pool in the process, abandoned ones included, that have not ended.
    static int RunningThreadCount();

private:
    struct Shared;
    static void RunWorker(std::shared_ptr<Shared> shared);

    mutable std::mutex m_lock;        // guards m_shared: which pool this object holds
    std::shared_ptr<Shared> m_shared; // null when no pool exists
};
