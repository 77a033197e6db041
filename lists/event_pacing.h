#pragma once

#include <chrono>

// Long list commands hand the event loop a turn whenever this much time has passed,
// rather than after every item: the window stays just as responsive, and a million items
// do not cost a million event-queue visits.
class EventPacer {
public:
    static constexpr auto kInterval = std::chrono::milliseconds(10);

    // True once kInterval has passed since the last turn; starts the next interval.
    bool Due() {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < kInterval)
            return false;
        m_last = now;
        return true;
    }

private:
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
};
