#include "collect/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <thread>

namespace {

struct WorkItem {
    WorkerThreadPool::Routine routine = nullptr;
    int index = 0;
    bool isQuit = false;
};

std::atomic<int> runningThreads{0};

// The pool generation whose thread this is, so that a Destroy called from one of its own
// routines does not wait for the calling thread. An identity only, never dereferenced.
thread_local const void* ownPool = nullptr;

} // namespace

// One pool generation. Its threads hold it too, so an abandoned generation lives on until
// its last thread has ended, while the pool object may already run a new one.
struct WorkerThreadPool::Shared {
    // Guards queue, stopping, abandoned and running; both condition variables wait on it.
    std::mutex lock;
    std::condition_variable itemPosted;
    std::condition_variable threadEnded;
    std::deque<WorkItem> queue;
    bool stopping = false;
    bool abandoned = false; // queue discarded: each thread ends once its current item returns
    int running = 0;        // threads started and not yet ended
    int threadCount = 0;    // set before the generation is published, constant afterwards
    const CutOffPtr cutOff = std::make_shared<CutOff>();
};

WorkerThreadPool::WorkerThreadPool() = default;

// Never waits: closing or exiting must not hang on a busy routine.
WorkerThreadPool::~WorkerThreadPool() {
    Destroy(0);
}

int WorkerThreadPool::Create(int count) {
    std::lock_guard guard(m_lock);
    if (m_shared)
        return m_shared->threadCount;
    if (count < 0)
        return 0;
    if (count == 0)
        count = kDefaultThreads;
    count = std::min(count, kMaxThreads);

    auto shared = std::make_shared<Shared>();
    int started = 0;
    while (started < count) {
        {
            std::lock_guard lock(shared->lock);
            ++shared->running;
        }
        runningThreads.fetch_add(1);
        try {
            std::thread(RunWorker, shared).detach();
        } catch (const std::exception&) {
            // Out of threads or memory: the pool runs with those already started.
            std::lock_guard lock(shared->lock);
            --shared->running;
            runningThreads.fetch_sub(1);
            break;
        }
        ++started;
    }
    if (started == 0)
        return 0;
    shared->threadCount = started;
    m_shared = std::move(shared);
    return started;
}

bool WorkerThreadPool::PostWorkItem(Routine routine, int index) {
    if (!routine)
        return false;
    std::lock_guard guard(m_lock);
    if (!m_shared)
        return false;
    {
        std::lock_guard lock(m_shared->lock);
        if (m_shared->stopping)
            return false;
        m_shared->queue.push_back({routine, index, false});
    }
    m_shared->itemPosted.notify_one();
    return true;
}

void WorkerThreadPool::Destroy(int waitMs) {
    std::shared_ptr<Shared> shared;
    {
        std::lock_guard guard(m_lock);
        if (!m_shared)
            return;
        std::lock_guard lock(m_shared->lock);
        if (m_shared->stopping)
            return;
        m_shared->stopping = true;
        m_shared->queue.insert(m_shared->queue.end(), size_t(m_shared->threadCount),
                               WorkItem{nullptr, 0, true});
        shared = m_shared;
    }
    shared->itemPosted.notify_all();

    // Neither lock is held while waiting: routines still running may post (and are
    // refused) on their way to the quit markers.
    const int callerThreads = ownPool == shared.get() ? 1 : 0;
    {
        std::unique_lock lock(shared->lock);
        shared->threadEnded.wait_for(lock, std::chrono::milliseconds(std::max(waitMs, 0)),
                                     [&] { return shared->running <= callerThreads; });
    }

    // Cut outside every pool lock: a routine inside an effect may be posting, which takes
    // them, and Cut waits for that effect to finish.
    shared->cutOff->Cut();
    {
        std::lock_guard lock(shared->lock);
        shared->abandoned = true;
        std::deque<WorkItem>().swap(shared->queue);
    }
    shared->itemPosted.notify_all();

    std::lock_guard guard(m_lock);
    m_shared.reset();
}

bool WorkerThreadPool::IsAlive() const {
    std::lock_guard guard(m_lock);
    if (!m_shared)
        return false;
    std::lock_guard lock(m_shared->lock);
    return !m_shared->stopping;
}

int WorkerThreadPool::ThreadCount() const {
    std::lock_guard guard(m_lock);
    return m_shared ? m_shared->threadCount : 0;
}

int WorkerThreadPool::RunningThreadCount() {
    return runningThreads.load();
}

void WorkerThreadPool::RunWorker(std::shared_ptr<Shared> shared) {
    currentCutOff = shared->cutOff;
    ownPool = shared.get();
    for (;;) {
        WorkItem item;
        {
            std::unique_lock lock(shared->lock);
            shared->itemPosted.wait(lock,
                                    [&] { return shared->abandoned || !shared->queue.empty(); });
            if (shared->abandoned)
                break;
            item = shared->queue.front();
            shared->queue.pop_front();
        }
        if (item.isQuit)
            break;
        try {
            item.routine(item.index);
        } catch (...) {
            // A failing routine costs its own item only, never the thread or the process.
        }
    }
    currentCutOff.reset();
    ownPool = nullptr;
    {
        std::lock_guard lock(shared->lock);
        --shared->running;
    }
    shared->threadEnded.notify_all();
    shared.reset();
    runningThreads.fetch_sub(1);
}
