#include "collect/task_store.h"
#include "collect/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// How long a test waits for something that should take milliseconds.
constexpr auto kPatience = 10s;
constexpr int kPatienceMs = int(std::chrono::milliseconds(kPatience).count());

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Holds routines until the test opens it, counting those that reached it.
class Gate {
public:
    void Pass() {
        std::unique_lock lock(m_lock);
        ++m_arrived;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    bool AwaitArrivals(int count) {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, kPatience, [&] { return m_arrived >= count; });
    }
    int Arrived() {
        std::lock_guard lock(m_lock);
        return m_arrived;
    }
    void Open() {
        std::lock_guard lock(m_lock);
        m_open = true;
        m_changed.notify_all();
    }
    void Reset() {
        std::lock_guard lock(m_lock);
        m_open = false;
        m_arrived = 0;
    }

private:
    std::mutex m_lock; // guards m_arrived and m_open
    std::condition_variable m_changed;
    int m_arrived = 0;
    bool m_open = false;
};

// Routines are plain function pointers, so what they touch lives here.
Gate gate;
std::atomic<int> landed{0};   // effects that went through ApplyEffect
std::atomic<int> finished{0}; // routine bodies that ran to their end, effect or not
WorkerThreadPool* pool = nullptr;

std::mutex orderLock; // guards startOrder
std::vector<int> startOrder;

void Land() {
    ApplyEffect([] { landed.fetch_add(1); });
    finished.fetch_add(1);
}

void HeldRoutine(int) {
    gate.Pass();
    Land();
}

void CountingRoutine(int) {
    Land();
}

void RecordingRoutine(int index) {
    std::lock_guard lock(orderLock);
    startOrder.push_back(index);
}

void ThrowingRoutine(int) {
    throw std::runtime_error("routine failed");
}

void ThrowingNonExceptionRoutine(int) {
    throw 7;
}

void DestroyingRoutine(int) {
    // Far longer than the test waits: waiting for its own thread would show as a hang.
    pool->Destroy(6 * kPatienceMs);
    Land();
}

// Leaves no thread behind, so one test's stragglers cannot disturb the next.
class WorkerPoolTest : public testing::Test {
protected:
    void SetUp() override {
        gate.Reset();
        landed = 0;
        finished = 0;
        pool = &m_pool;
    }
    void TearDown() override {
        gate.Open();
        m_pool.Destroy(kPatienceMs);
        EXPECT_TRUE(WaitUntil([] { return WorkerThreadPool::RunningThreadCount() == 0; }))
            << WorkerThreadPool::RunningThreadCount() << " pool threads still running";
        pool = nullptr;
    }

    WorkerThreadPool m_pool;
};

struct CountCase {
    const char* name;
    int requested;
    int threads;
};

void PrintTo(const CountCase& c, std::ostream* out) {
    *out << c.name;
}

class PoolSizeTest : public WorkerPoolTest, public testing::WithParamInterface<CountCase> {};

TEST_P(PoolSizeTest, RunsThatManyItemsAtOnceAndNoMore) {
    const int threads = GetParam().threads;
    ASSERT_EQ(m_pool.Create(GetParam().requested), threads);
    EXPECT_EQ(m_pool.ThreadCount(), threads);
    EXPECT_TRUE(m_pool.IsAlive());

    for (int i = 0; i <= threads; ++i)
        ASSERT_TRUE(m_pool.PostWorkItem(HeldRoutine, i));
    ASSERT_TRUE(gate.AwaitArrivals(threads));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(gate.Arrived(), threads) << "more items ran at once than the pool has threads";

    gate.Open();
    EXPECT_TRUE(WaitUntil([&] { return finished == threads + 1; }));
}

INSTANTIATE_TEST_SUITE_P(Counts, PoolSizeTest,
                         testing::Values(CountCase{"ZeroMeansDefault", 0, 20},
                                         CountCase{"Three", 3, 3}, CountCase{"One", 1, 1}),
                         [](const testing::TestParamInfo<CountCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(WorkerPoolTest, CreateWhileAliveKeepsThePool) {
    ASSERT_EQ(m_pool.Create(0), 20);
    EXPECT_EQ(m_pool.Create(5), 20);
    EXPECT_EQ(m_pool.Create(-1), 20);
    EXPECT_EQ(m_pool.ThreadCount(), 20);
    EXPECT_EQ(WorkerThreadPool::RunningThreadCount(), 20);
}

TEST_F(WorkerPoolTest, CountAboveTheCapStartsTheCap) {
    ASSERT_EQ(m_pool.Create(INT_MAX), WorkerThreadPool::kMaxThreads);
    EXPECT_EQ(m_pool.ThreadCount(), WorkerThreadPool::kMaxThreads);
    ASSERT_TRUE(m_pool.PostWorkItem(CountingRoutine, 0));
    m_pool.Destroy(kPatienceMs);
    EXPECT_EQ(landed, 1);
    EXPECT_FALSE(m_pool.IsAlive());
}

struct NoPoolCase {
    const char* name;
    void (*arrange)(WorkerThreadPool&);
};

void PrintTo(const NoPoolCase& c, std::ostream* out) {
    *out << c.name;
}

class NoPoolTest : public WorkerPoolTest, public testing::WithParamInterface<NoPoolCase> {};

TEST_P(NoPoolTest, PostIsDroppedAndNextCreateStartsAfresh) {
    GetParam().arrange(m_pool);
    EXPECT_FALSE(m_pool.IsAlive());
    EXPECT_EQ(m_pool.ThreadCount(), 0);
    EXPECT_FALSE(m_pool.PostWorkItem(CountingRoutine, 0));
    m_pool.Destroy(kPatienceMs); // nothing to destroy: must be harmless
    EXPECT_TRUE(WaitUntil([] { return WorkerThreadPool::RunningThreadCount() == 0; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(finished, 0);

    ASSERT_EQ(m_pool.Create(2), 2);
    ASSERT_TRUE(m_pool.PostWorkItem(CountingRoutine, 0));
    EXPECT_TRUE(WaitUntil([] { return landed == 1; }));
}

INSTANTIATE_TEST_SUITE_P(
    States, NoPoolTest,
    testing::Values(NoPoolCase{"NeverCreated", [](WorkerThreadPool&) {}},
                    NoPoolCase{"NegativeCount",
                               [](WorkerThreadPool& p) { EXPECT_EQ(p.Create(-1), 0); }},
                    NoPoolCase{"MostNegativeCount",
                               [](WorkerThreadPool& p) { EXPECT_EQ(p.Create(INT_MIN), 0); }},
                    NoPoolCase{"Destroyed",
                               [](WorkerThreadPool& p) {
                                   EXPECT_EQ(p.Create(5), 5);
                                   p.Destroy(kPatienceMs);
                               }}),
    [](const testing::TestParamInfo<NoPoolCase>& info) { return std::string(info.param.name); });

TEST_F(WorkerPoolTest, ShortDestroyAbandonsBusyThreadsAndTheirEffects) {
    ASSERT_EQ(m_pool.Create(3), 3);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(m_pool.PostWorkItem(HeldRoutine, i));
    ASSERT_TRUE(gate.AwaitArrivals(3));
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(m_pool.PostWorkItem(CountingRoutine, i));

    const auto start = std::chrono::steady_clock::now();
    m_pool.Destroy(1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(m_pool.IsAlive());
    EXPECT_FALSE(m_pool.PostWorkItem(CountingRoutine, 0));

    gate.Open();
    EXPECT_TRUE(WaitUntil([] { return finished == 3; }));
    EXPECT_TRUE(WaitUntil([] { return WorkerThreadPool::RunningThreadCount() == 0; }))
        << "abandoned threads must end after their current item";
    EXPECT_EQ(landed, 0) << "a busy routine's effect landed after Destroy returned";
    EXPECT_EQ(finished, 3) << "queued items ran after Destroy returned";
}

TEST_F(WorkerPoolTest, DestroyWithoutWaitingStillEndsIdleThreads) {
    ASSERT_EQ(m_pool.Create(20), 20);
    m_pool.Destroy(0);
    EXPECT_FALSE(m_pool.IsAlive());
    EXPECT_TRUE(WaitUntil([] { return WorkerThreadPool::RunningThreadCount() == 0; }))
        << "threads whose quit markers were discarded kept waiting";
}

TEST_F(WorkerPoolTest, NewPoolWorksWhileAbandonedThreadsAreStillBusy) {
    ASSERT_EQ(m_pool.Create(2), 2);
    ASSERT_TRUE(m_pool.PostWorkItem(HeldRoutine, 0));
    ASSERT_TRUE(m_pool.PostWorkItem(HeldRoutine, 1));
    ASSERT_TRUE(gate.AwaitArrivals(2));
    m_pool.Destroy(1);

    ASSERT_EQ(m_pool.Create(3), 3);
    EXPECT_EQ(WorkerThreadPool::RunningThreadCount(), 5);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(m_pool.PostWorkItem(CountingRoutine, i));
    EXPECT_TRUE(WaitUntil([] { return landed == 5; }));

    gate.Open();
    EXPECT_TRUE(WaitUntil([] { return finished == 7; }));
    EXPECT_EQ(landed, 5);
}

TEST_F(WorkerPoolTest, DestroyWithTimeToSpareRunsEveryQueuedItemFirst) {
    ASSERT_EQ(m_pool.Create(2), 2);
    ASSERT_TRUE(m_pool.PostWorkItem(HeldRoutine, 0));
    ASSERT_TRUE(m_pool.PostWorkItem(HeldRoutine, 1));
    ASSERT_TRUE(gate.AwaitArrivals(2));
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(m_pool.PostWorkItem(CountingRoutine, i));

    std::thread opener([] {
        std::this_thread::sleep_for(50ms);
        gate.Open();
    });
    m_pool.Destroy(kPatienceMs);
    opener.join();
    EXPECT_EQ(landed, 52);
    EXPECT_FALSE(m_pool.IsAlive());
}

TEST_F(WorkerPoolTest, ItemsStartInPostingOrder) {
    startOrder.clear();
    ASSERT_EQ(m_pool.Create(1), 1);
    ASSERT_TRUE(m_pool.PostWorkItem(HeldRoutine, -1));
    ASSERT_TRUE(gate.AwaitArrivals(1));
    std::vector<int> expected;
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(m_pool.PostWorkItem(RecordingRoutine, i));
        expected.push_back(i);
    }
    gate.Open();
    m_pool.Destroy(kPatienceMs);
    std::lock_guard lock(orderLock);
    EXPECT_EQ(startOrder, expected);
}

TEST_F(WorkerPoolTest, ThrowingRoutineDoesNotEndItsThread) {
    ASSERT_EQ(m_pool.Create(1), 1);
    ASSERT_TRUE(m_pool.PostWorkItem(ThrowingRoutine, 0));
    ASSERT_TRUE(m_pool.PostWorkItem(ThrowingNonExceptionRoutine, 1));
    ASSERT_TRUE(m_pool.PostWorkItem(CountingRoutine, 2));
    EXPECT_TRUE(WaitUntil([] { return landed == 1; }));
    EXPECT_EQ(WorkerThreadPool::RunningThreadCount(), 1);
}

TEST_F(WorkerPoolTest, DestroyFromOwnRoutineDoesNotWaitForItself) {
    ASSERT_EQ(m_pool.Create(2), 2);
    ASSERT_TRUE(m_pool.PostWorkItem(DestroyingRoutine, 0));
    EXPECT_TRUE(WaitUntil([] { return finished == 1; })) << "Destroy waited for its own thread";
    EXPECT_EQ(landed, 0) << "the routine's effect after its Destroy landed";
    EXPECT_FALSE(m_pool.IsAlive());
}

TEST_F(WorkerPoolTest, DroppingThePoolObjectDoesNotWaitForBusyRoutines) {
    auto owned = std::make_unique<WorkerThreadPool>();
    ASSERT_EQ(owned->Create(1), 1);
    ASSERT_TRUE(owned->PostWorkItem(HeldRoutine, 0));
    ASSERT_TRUE(gate.AwaitArrivals(1));

    const auto start = std::chrono::steady_clock::now();
    owned.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

    gate.Open();
    EXPECT_TRUE(WaitUntil([] { return finished == 1; }));
    EXPECT_EQ(landed, 0);
}

// Tasks that fan out like a collection run: each reads its record and, in one effect per
// child, counts it, stores it, lists it and posts it.
std::atomic<int> pendingTasks{0};
std::mutex sideLock; // guards sideList
std::vector<Text> sideList;
constexpr int kStressSeeds = 4;
constexpr int kStressDepth = 16; // a backstop; the runs are cut long before this

void BranchingTask(int index) {
    const TaskRecordValues task = GetTask(index);
    if (task.level < kStressDepth) {
        for (char branch : {'a', 'b'}) {
            const Text keyword = task.keyword + branch;
            ApplyEffect([&] {
                pendingTasks.fetch_add(1);
                const int child = AppendTask(keyword, task.level + 1.0);
                {
                    std::lock_guard lock(sideLock);
                    sideList.push_back(keyword);
                }
                pool->PostWorkItem(BranchingTask, child);
            });
            std::this_thread::yield();
        }
    }
    ApplyEffect([] { pendingTasks.fetch_sub(1); });
}

struct RunSnapshot {
    int pending;
    int stored;
    size_t listed;
    bool operator==(const RunSnapshot&) const = default;
};

RunSnapshot TakeSnapshot() {
    std::lock_guard lock(sideLock);
    return {pendingTasks.load(), TaskCount(), sideList.size()};
}

std::ostream& operator<<(std::ostream& out, const RunSnapshot& s) {
    return out << "{pending " << s.pending << ", stored " << s.stored << ", listed " << s.listed
               << "}";
}

TEST_F(WorkerPoolTest, NothingChangesAfterAShortDestroyInTheMiddleOfARun) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ResetTaskStore();
        pendingTasks = 0;
        {
            std::lock_guard lock(sideLock);
            sideList.clear();
        }
        ASSERT_EQ(m_pool.Create(4), 4);
        for (int seed = 0; seed < kStressSeeds; ++seed) {
            pendingTasks.fetch_add(1);
            m_pool.PostWorkItem(BranchingTask, AppendTask("s" + std::to_string(seed), 1));
        }
        ASSERT_TRUE(WaitUntil([] { return TaskCount() >= 2000; }));

        m_pool.Destroy(1);
        const RunSnapshot atDestroy = TakeSnapshot();
        EXPECT_EQ(size_t(atDestroy.stored), atDestroy.listed + kStressSeeds)
            << "an effect was cut in half";
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(TakeSnapshot(), atDestroy);
        ASSERT_TRUE(WaitUntil([] { return WorkerThreadPool::RunningThreadCount() == 0; }));
        EXPECT_EQ(TakeSnapshot(), atDestroy);
    }
    ReleaseTaskStore();
}

} // namespace
