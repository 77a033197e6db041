#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>

// A CutOff belongs to one piece of background work (a worker pool, a run's coordinator).
// Every effect that work has on shared state (the task store, PendingTasks, the lists,
// posting further work) is made through Apply(). Once Cut() has returned, no Apply()
// body of that work runs any more, so work that was abandoned can go on running without
// touching anything.
class CutOff {
public:
    // Runs effect unless the work has been cut off; returns whether it ran.
    // effect must be short and must not wait for the thread that may call Cut().
    template <typename Effect> bool Apply(Effect&& effect) {
        std::shared_lock lock(m_gate);
        if (m_cut.load(std::memory_order_relaxed))
            return false;
        effect();
        return true;
    }

    // Waits for effects under way to finish, then refuses all later ones.
    void Cut() {
        std::unique_lock lock(m_gate);
        m_cut.store(true, std::memory_order_relaxed);
    }

    // A hint for long waits (a transfer, a sleep) to give up early; effects still go
    // through Apply().
    bool IsCut() const { return m_cut.load(std::memory_order_relaxed); }

private:
    std::shared_mutex m_gate; // guards the moment m_cut turns true against running effects
    std::atomic<bool> m_cut{false};
};

using CutOffPtr = std::shared_ptr<CutOff>;

// The CutOff of the work running on the calling thread; null on the UI thread and on
// threads that are not background work of the program. Set by the thread's owner (the
// worker pool, the coordinator) before the thread does anything else.
inline thread_local CutOffPtr currentCutOff;

// True when the calling thread's work has been cut off.
inline bool IsCurrentWorkCut() {
    return currentCutOff && currentCutOff->IsCut();
}

// Applies effect under the calling thread's CutOff; with none, just runs it.
template <typename Effect> bool ApplyEffect(Effect&& effect) {
    const CutOffPtr& cutOff = currentCutOff;
    if (!cutOff) {
        effect();
        return true;
    }
    return cutOff->Apply(effect);
}
