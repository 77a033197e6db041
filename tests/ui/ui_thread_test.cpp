#include "collect/cut_off.h"
#include "ui/controls.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Keeps the UI thread handling events until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        ui::ProcessPendingEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

} // namespace

class UiThreadTest : public QObject {
    Q_OBJECT

private slots:
    void onTheUiThreadItRunsAtOnce();
    void isUiThreadTellsTheThreads();
    void opsOfEachThreadArriveInOrder_data();
    void opsOfEachThreadArriveInOrder();
    void noDeadlockWhileAHandlerProcessesEvents();
    void workCutBeforeTheOpRanDiscardsItAndReturnsFalse();
    void workCutBeforeTheCallQueuesNothing();
    void aCutWaitsForTheRunningOpAndTheWaiterStaysTillItEnds();
};

void UiThreadTest::onTheUiThreadItRunsAtOnce() {
    bool ran = false;
    QVERIFY(ui::RunOnUiThread([&] { ran = true; }));
    QVERIFY(ran);
}

void UiThreadTest::isUiThreadTellsTheThreads() {
    QVERIFY(ui::IsUiThread());
    bool onWorker = true;
    std::thread([&] { onWorker = ui::IsUiThread(); }).join();
    QVERIFY(!onWorker);
}

void UiThreadTest::opsOfEachThreadArriveInOrder_data() {
    QTest::addColumn<bool>("withCutOff");
    QTest::newRow("threads without a CutOff") << false;
    QTest::newRow("threads of background work") << true;
}

void UiThreadTest::opsOfEachThreadArriveInOrder() {
    QFETCH(bool, withCutOff);
    constexpr int kThreads = 20;
    constexpr int kOps = 200;
    // Only the UI thread touches these; the hand-off must make its writes visible to the
    // worker once RunOnUiThread returns.
    std::vector<std::vector<int>> arrived(kThreads);
    std::atomic<int> offUiThread{0};
    std::atomic<int> outOfStep{0};
    std::atomic<int> refused{0};
    std::atomic<int> finished{0};
    const CutOffPtr work = std::make_shared<CutOff>();

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            if (withCutOff)
                currentCutOff = work;
            for (int i = 0; i < kOps; ++i) {
                const bool ran = ui::RunOnUiThread([&, t, i] {
                    if (!ui::IsUiThread())
                        ++offUiThread;
                    arrived[static_cast<size_t>(t)].push_back(i);
                });
                if (!ran)
                    ++refused;
                if (arrived[static_cast<size_t>(t)].size() != static_cast<size_t>(i) + 1)
                    ++outOfStep;
            }
            ++finished;
        });
    }
    const bool allFinished = PumpUntil([&] { return finished == kThreads; });
    for (std::thread& thread : threads)
        thread.join();
    QVERIFY(allFinished);
    QCOMPARE(offUiThread.load(), 0);
    QCOMPARE(outOfStep.load(), 0);
    QCOMPARE(refused.load(), 0);
    for (const std::vector<int>& seen : arrived) {
        QCOMPARE(static_cast<int>(seen.size()), kOps);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    }
}

// A handler that lets pending events be processed in a loop (an import, a stop's
// de-duplication) must still carry the workers' operations out.
void UiThreadTest::noDeadlockWhileAHandlerProcessesEvents() {
    constexpr int kThreads = 20;
    constexpr int kOps = 100;
    std::atomic<int> finished{0};
    int ran = 0;
    bool handlerDone = false;
    std::vector<std::thread> threads;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                currentCutOff = std::make_shared<CutOff>();
                for (int i = 0; i < kOps; ++i)
                    ui::RunOnUiThread([&] { ++ran; });
                ++finished;
            });
        }
        handlerDone = PumpUntil([&] { return finished == kThreads; });
        loop.quit();
    });
    loop.exec();
    for (std::thread& thread : threads)
        thread.join();
    QVERIFY(handlerDone);
    QCOMPARE(ran, kThreads * kOps);
}

void UiThreadTest::workCutBeforeTheOpRanDiscardsItAndReturnsFalse() {
    const CutOffPtr work = std::make_shared<CutOff>();
    std::atomic<bool> posted{false};
    bool ran = false;
    // The UI thread is busy (not handling events) while the worker waits.
    auto result = std::async(std::launch::async, [&] {
        currentCutOff = work;
        posted = true;
        return ui::RunOnUiThread([&] { ran = true; });
    });
    while (!posted)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(30ms);
    work->Cut();
    QCOMPARE(result.wait_for(5s), std::future_status::ready);
    QCOMPARE(result.get(), false);
    QTest::qWait(50); // the queued call is delivered now and must do nothing
    QVERIFY(!ran);
}

void UiThreadTest::workCutBeforeTheCallQueuesNothing() {
    const CutOffPtr work = std::make_shared<CutOff>();
    work->Cut();
    bool ran = false;
    const bool returned = std::async(std::launch::async, [&] {
                              currentCutOff = work;
                              return ui::RunOnUiThread([&] { ran = true; });
                          }).get();
    QVERIFY(!returned);
    QTest::qWait(50);
    QVERIFY(!ran);
}

void UiThreadTest::aCutWaitsForTheRunningOpAndTheWaiterStaysTillItEnds() {
    const CutOffPtr work = std::make_shared<CutOff>();
    std::atomic<bool> cutReturned{false};
    std::atomic<bool> opEnded{false};
    std::atomic<bool> workerReturned{false};
    bool cutReturnedDuringOp = true;
    bool workerReturnedDuringOp = true;
    std::atomic<bool> reportedRan{false};
    std::atomic<bool> opEndedBeforeReturn{false};
    std::thread cutter;
    std::thread worker([&] {
        currentCutOff = work;
        const bool ran = ui::RunOnUiThread([&] {
            cutter = std::thread([&] {
                work->Cut();
                cutReturned = true;
            });
            // Longer than the waiter's look at its CutOff, so it had its chances to leave.
            std::this_thread::sleep_for(150ms);
            cutReturnedDuringOp = cutReturned;
            workerReturnedDuringOp = workerReturned;
            opEnded = true;
        });
        opEndedBeforeReturn = opEnded.load();
        reportedRan = ran;
        workerReturned = true;
    });
    QVERIFY(PumpUntil([&] { return workerReturned.load(); }));
    worker.join();
    cutter.join();
    QVERIFY(!cutReturnedDuringOp);
    QVERIFY(!workerReturnedDuringOp);
    QVERIFY(opEndedBeforeReturn);
    QVERIFY(reportedRan);
    QVERIFY(cutReturned);
}

QTEST_MAIN(UiThreadTest)
#include "ui_thread_test.moc"
