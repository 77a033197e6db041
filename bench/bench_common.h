#pragma once

// Small helpers shared by the benchmarks: clocks, resource usage, resident memory and a
// watch on how long the UI thread goes without handling a timer tick.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// User plus system CPU time of the whole process, in seconds.
inline double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A "Vm...:" line of /proc/<pid>/status, in kB; -1 when it cannot be read.
inline long StatusKb(const std::string& pid, const char* field) {
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::stol(line.substr(length + 1));
    }
    return -1;
}

inline long ResidentKb() {
    return StatusKb("self", "VmRSS");
}

// Ticks a 5 ms timer on the thread that makes it and keeps the longest gap between two
// ticks since the last Reset(): how long the window's events went unanswered.
class TickWatch : public QObject {
public:
    TickWatch() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (now - m_last > m_longest)
                m_longest = now - m_last;
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    void Reset() {
        m_last = m_clock.nsecsElapsed();
        m_longest = 0;
    }
    // Counts the time since the last tick too, so that a phase which ends while the
    // thread is still blocked is not under-reported.
    double LongestGapMs() const {
        const qint64 open = m_clock.nsecsElapsed() - m_last;
        return double(std::max(m_longest, open)) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

inline const char* Verdict(bool met) {
    return met ? "met" : "MISSED";
}

} // namespace bench
