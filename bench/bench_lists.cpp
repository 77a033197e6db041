// The result list at a million items, in the shown window (offscreen): appends handed
// over from 20 threads in batches of ten as tasks do, both kinds of de-duplication, the
// export and an import of a million-line file through their commands, the memory a
// stored item costs beyond its text, and for each step the longest time the window's
// events went unanswered (gap between ticks of a 5 ms timer).
//
//   bench_lists [--small] [--items N] [--phase-limit S] [--batched-layout]
//
// --small: 20,000 items. A step that runs past the phase limit (120 s) is reported and
// ends the bench. --batched-layout is an experiment, not the program as it is: it lets
// the result list's view lay its items out in batches of 1000 instead of all at once.

#include "bench/bench_common.h"

#include "app/run_state.h"
#include "app/startup.h"
#include "lists/keyword_commands.h"
#include "lists/related_commands.h"
#include "tests/ui/modal_helpers.h"
#include "ui/controls.h"
#include "ui/list_box.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr auto kRelated = ui::ListBoxName::列表框_相关关键字;
constexpr auto kKeywords = ui::ListBoxName::列表框_关键字;
constexpr int kThreads = 20;
constexpr int kBatch = 10;

// Half of them repeat an earlier one: "相关" + one of count/2 numbers, scattered.
std::vector<Text> RelatedItems(int count) {
    std::vector<Text> items;
    items.reserve(size_t(count));
    const int64_t distinct = std::max(count / 2, 1);
    for (int i = 0; i < count; ++i)
        items.push_back("\xCF\xE0\xB9\xD8" + std::to_string((int64_t(i) * 7919) % distinct));
    return items;
}

// Runs the window's events until done is set.
void RunEventsUntil(const std::atomic<bool>& done) {
    QEventLoop loop;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done.load())
            loop.quit();
    });
    check.start();
    loop.exec();
}

struct Row {
    std::string what;
    double value;
    const char* unit;
    double target;
    bool atMost; // target is an upper bound (else a lower bound)
    double gapMs;
};

std::vector<Row> rows;

// Ends the process when a step overruns its limit: a step on the UI thread cannot be
// interrupted, and its figure is then simply "more than the limit".
class Watchdog {
public:
    explicit Watchdog(double limitSeconds) : m_limit(limitSeconds) {
        std::thread([this] {
            for (;;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                std::lock_guard lock(m_mutex);
                if (!m_phase.empty() && bench::SecondsSince(m_start) > m_limit) {
                    std::printf("%-46s did not finish within %.0f s: MISSED; bench ended\n",
                                m_phase.c_str(), m_limit);
                    std::fflush(stdout);
                    _exit(3);
                }
            }
        }).detach();
    }
    void Start(const std::string& phase) {
        std::lock_guard lock(m_mutex);
        m_phase = phase;
        m_start = bench::Clock::now();
    }

private:
    std::mutex m_mutex;
    std::string m_phase;
    bench::Clock::time_point m_start;
    double m_limit;
};

void Report(const std::string& what, double value, const char* unit, double target, bool atMost,
            double gapMs) {
    rows.push_back({what, value, unit, target, atMost, gapMs});
    const bool met = atMost ? value <= target : value >= target;
    std::printf("%-46s %12.3f %-8s (target %s %g: %s)  longest UI gap %7.1f ms (%s)\n",
                what.c_str(), value, unit, atMost ? "<=" : ">=", target, bench::Verdict(met), gapMs,
                bench::Verdict(gapMs <= 100));
    std::fflush(stdout);
}

// Runs a command that opens the file dialog, answering it with path; returns the seconds
// from the dialog's answer to the command's return and, in dialogSeconds, those before.
double TimeFileCommand(void (*command)(), const QString& path, double& dialogSeconds) {
    auto answeredAt = std::make_shared<bench::Clock::time_point>();
    const auto start = bench::Clock::now();
    const modal_helpers::Answered answered = modal_helpers::AcceptFileDialog(
        path, [answeredAt](QFileDialog*) { *answeredAt = bench::Clock::now(); });
    command();
    const auto end = bench::Clock::now();
    if (!*answered) {
        std::printf("the file dialog was not answered\n");
        std::exit(1);
    }
    dialogSeconds = std::chrono::duration<double>(*answeredAt - start).count();
    return std::chrono::duration<double>(end - *answeredAt).count();
}

} // namespace

int main(int argc, char** argv) {
    int count = 1000000;
    double phaseLimit = 120;
    bool batchedLayout = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--small") == 0) {
            count = 20000;
        } else if (std::strcmp(argv[i], "--items") == 0 && i + 1 < argc) {
            count = std::max(std::atoi(argv[++i]), 2);
        } else if (std::strcmp(argv[i], "--phase-limit") == 0 && i + 1 < argc) {
            phaseLimit = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--batched-layout") == 0) {
            batchedLayout = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--small] [--items N] [--phase-limit S] [--batched-layout]\n",
                         argv[0]);
            return 2;
        }
    }

    qputenv("QT_QPA_PLATFORM", "offscreen");
    InitGlobals();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ProgramDir = QFile::encodeName(dir.path() + QLatin1Char('/')).toStdString();
    ui::MainWindow* window = ui::CreateMainWindow(MainWindowEvents());
    if (batchedLayout) {
        for (const auto list : {kRelated, kKeywords}) {
            window->listBox(list).setLayoutMode(QListView::Batched);
            window->listBox(list).setBatchSize(1000);
        }
    }
    window->show();
    QCoreApplication::processEvents();
    bench::TickWatch ticks;
    Watchdog watchdog(phaseLimit);
    std::printf("Lists: %d items, half of them repeated, window shown (offscreen)%s\n", count,
                batchedLayout ? "; EXPERIMENT: list views lay out in batches" : "");

    const std::vector<Text> items = RelatedItems(count);
    size_t textBytes = 0;
    for (const Text& item : items)
        textBytes += item.size();

    // Appends from 20 threads, ten items per hand-off.
    malloc_trim(0);
    const long rssBefore = bench::ResidentKb();
    {
        watchdog.Start("append");
        std::atomic<size_t> next{0};
        std::atomic<int> running{kThreads};
        std::atomic<bool> done{false};
        ticks.Reset();
        const auto start = bench::Clock::now();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                for (size_t first; (first = next.fetch_add(kBatch)) < items.size();) {
                    std::vector<Text> batch(items.begin() + long(first),
                                            items.begin() +
                                                long(std::min(first + kBatch, items.size())));
                    ui::RunOnUiThread([&batch] { ui::ListAppend(kRelated, std::move(batch)); });
                }
                if (running.fetch_sub(1) == 1)
                    done = true;
            });
        }
        RunEventsUntil(done);
        const double seconds = bench::SecondsSince(start);
        const double gap = ticks.LongestGapMs();
        for (std::thread& thread : threads)
            thread.join();
        Report("append via hand-off, 20 threads x 10 items", count / seconds, "items/s", 100000,
               false, gap);
    }
    if (ui::ListCount(kRelated) != count) {
        std::printf("the list holds %d items, not %d\n", ui::ListCount(kRelated), count);
        return 1;
    }
    malloc_trim(0);
    const long rssAfter = bench::ResidentKb();
    const double perItem = double(rssAfter - rssBefore) * 1024 / count - double(textBytes) / count;
    Report("memory per stored item beyond its text", perItem, "bytes", 64, true, 0);
    std::printf("    (RSS %+ld kB for %d items of %.1f text bytes on average)\n",
                rssAfter - rssBefore, count, double(textBytes) / count);

    // De-duplication from a thread other than the UI thread, as the coordinator does it.
    {
        std::atomic<bool> done{false};
        ticks.Reset();
        const auto start = bench::Clock::now();
        watchdog.Start("DedupeRelatedList(false)");
        std::thread coordinator([&] {
            DedupeRelatedList(false);
            done = true;
        });
        RunEventsUntil(done);
        const double seconds = bench::SecondsSince(start);
        const double gap = ticks.LongestGapMs();
        coordinator.join();
        Report("DedupeRelatedList(false) from another thread", seconds, "s", 0.5, true, gap);
    }
    const int distinct = ui::ListCount(kRelated);

    // De-duplication on the UI thread, as a stop does it.
    ui::ListReplace(kRelated, items);
    QCoreApplication::processEvents();
    {
        ticks.Reset();
        const auto start = bench::Clock::now();
        watchdog.Start("DedupeRelatedList(true)");
        DedupeRelatedList(true);
        const double seconds = bench::SecondsSince(start);
        QCoreApplication::processEvents();
        Report("DedupeRelatedList(true) on the UI thread", seconds, "s", 1.5, true,
               ticks.LongestGapMs());
    }
    if (ui::ListCount(kRelated) != distinct) {
        std::printf("the two de-duplications disagree: %d and %d\n", distinct,
                    ui::ListCount(kRelated));
        return 1;
    }

    // Export of the whole list before de-duplication.
    ui::ListReplace(kRelated, items);
    QCoreApplication::processEvents();
    const QString exportFile = dir.filePath(QStringLiteral("export.txt"));
    {
        ticks.Reset();
        double dialogSeconds = 0;
        watchdog.Start("export");
        const double seconds = TimeFileCommand(OnExportRelated, exportFile, dialogSeconds);
        QCoreApplication::processEvents();
        Report("export (OnExportRelated) after the dialog", seconds, "s", 1.0, true,
               ticks.LongestGapMs());
        std::printf("    (the dialog itself took %.3f s; file %lld bytes)\n", dialogSeconds,
                    QFile(exportFile).size());
    }

    // Import of a million-line file: the export just written, CR LF lines.
    ui::ListClear(kRelated);
    ui::ListClear(kKeywords);
    QCoreApplication::processEvents();
    malloc_trim(0);
    {
        ticks.Reset();
        double dialogSeconds = 0;
        watchdog.Start("import");
        const double seconds = TimeFileCommand(OnImportKeywords, exportFile, dialogSeconds);
        QCoreApplication::processEvents();
        Report("import (OnImportKeywords) after the dialog", seconds, "s", 2.0, true,
               ticks.LongestGapMs());
        std::printf("    (the dialog itself took %.3f s; %d lines listed)\n", dialogSeconds,
                    ui::ListCount(kKeywords));
        if (ui::ListCount(kKeywords) != count)
            return 1;
    }

    std::fflush(stdout);
    // The window is not closed: its closing handler asks a question and ends the process.
    _exit(0);
}
