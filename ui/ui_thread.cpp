#include "ui/controls.h"

#include "collect/cut_off.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <cassert>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace ui {

namespace {

// How often a waiting thread looks whether its work was cut off meanwhile.
constexpr std::chrono::milliseconds kCutOffPoll{20};

// One operation handed to the UI thread. Shared by the waiting thread and the queued event,
// so a waiter that gave up leaves nothing behind that the UI thread could touch.
struct HandOff {
    const std::function<void()>* op = nullptr; // valid while the waiter waits; see Run()
    CutOffPtr cutOff;
    std::mutex lock; // guards done and ran
    std::condition_variable finished;
    bool done = false; // the UI thread is through with it: op ran, was refused or dropped
    bool ran = false;  // op ran to its end
};

QEvent::Type HandOffEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class HandOffEvent : public QEvent {
public:
    explicit HandOffEvent(std::shared_ptr<HandOff> handOff)
        : QEvent(HandOffEventType()), m_handOff(std::move(handOff)) {}
    // An event destroyed without being delivered still releases its waiter.
    ~HandOffEvent() override { finish(); }

    // The waiter only stops waiting once it has seen the cut through the CutOff's gate, and
    // op only runs inside that gate, so op cannot run after its waiter (and op) are gone.
    void run() {
        HandOff& handOff = *m_handOff;
        auto body = [&handOff] {
            (*handOff.op)();
            std::lock_guard guard(handOff.lock);
            handOff.ran = true;
        };
        if (handOff.cutOff)
            handOff.cutOff->Apply(body);
        else
            body();
        finish();
    }

private:
    void finish() {
        if (!m_handOff)
            return;
        {
            std::lock_guard guard(m_handOff->lock);
            m_handOff->done = true;
        }
        m_handOff->finished.notify_one();
        m_handOff.reset();
    }

    std::shared_ptr<HandOff> m_handOff;
};

class HandOffReceiver : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() != HandOffEventType())
            return QObject::event(event);
        static_cast<HandOffEvent*>(event)->run();
        return true;
    }
};

// Lives on the UI thread for the rest of the process, whichever thread asks first.
QObject* Receiver() {
    static QObject* const receiver = [] {
        auto* created = new HandOffReceiver;
        created->moveToThread(QCoreApplication::instance()->thread());
        return created;
    }();
    return receiver;
}

} // namespace

bool IsUiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool RunOnUiThread(const std::function<void()>& op) {
    if (IsUiThread()) {
        op();
        return true;
    }
    assert(QCoreApplication::instance());
    if (!QCoreApplication::instance())
        return false;
    const CutOffPtr& cutOff = currentCutOff;
    if (cutOff && cutOff->IsCut())
        return false;

    auto handOff = std::make_shared<HandOff>();
    handOff->op = &op;
    handOff->cutOff = cutOff;
    QCoreApplication::postEvent(Receiver(), new HandOffEvent(handOff));

    std::unique_lock lock(handOff->lock);
    const auto finished = [&handOff] { return handOff->done; };
    if (!cutOff) {
        handOff->finished.wait(lock, finished);
        return handOff->ran;
    }
    while (!handOff->finished.wait_for(lock, kCutOffPoll, finished)) {
        if (!cutOff->IsCut())
            continue;
        // Passing the gate orders this thread after the cut: a run of op under way has
        // ended and left its mark in ran, and no later one can start.
        lock.unlock();
        const bool stillOpen = cutOff->Apply([] {});
        lock.lock();
        if (!stillOpen)
            return handOff->ran;
    }
    return handOff->ran;
}

} // namespace ui
