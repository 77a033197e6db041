// Start-up time and the idle window's memory, measured two ways, each on a copy of the
// executable in a fresh temporary directory (so each start finds no config.ini, as a
// first start does, and writes its own there), on the offscreen platform:
//
// 1. In process: this bench copied and started again as a child, which stamps the time
//    it entered main, runs the program's StartUp() (processor binding, application,
//    window, settings, show) and then the event loop until the window's first paint has
//    been handled. The launch time comes from the parent, so the dynamic loading and
//    static set-up before main are counted too.
// 2. The real executable, watched from outside without any help from it: the time from
//    launch until its main thread first sleeps in the event loop's poll (read from
//    /proc/<pid>/syscall and /proc/<pid>/stat), which happens only after the events
//    queued by show() (expose, first paint) have been handled; then its resident memory
//    after one more idle second.
//
//   bench_startup [--small]   (--small: two launches of each instead of seven)

#include "bench/bench_common.h"

#include "app/run_state.h"
#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr char kChildFlag[] = "--measure-in-process";

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               bench::Clock::now().time_since_epoch())
        .count();
}

// Stops the event loop at the first paint of any part of a top-level window.
class FirstPaint : public QObject {
public:
    int64_t paintedNs = 0;
    // An event loop of its own: quitting the application would close the window, whose
    // closing handler asks a question and ends the process.
    QEventLoop* loop = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && paintedNs == 0) {
            if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->isVisible()) {
                paintedNs = NowNs();
                if (loop)
                    loop->quit();
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

FirstPaint* firstPaint = nullptr;

// Installed from inside the application's constructor, so that a paint carried out
// synchronously by show() is seen as well.
void WatchFirstPaint() {
    firstPaint = new FirstPaint;
    qApp->installEventFilter(firstPaint);
}

// The child of measurement 1. Prints "launch->main main->shown shown->painted rss" in ms
// and kB.
int MeasureInProcess(int argc, char** argv, int64_t launchedNs) {
    const int64_t mainNs = NowNs();
    qAddPreRoutine(WatchFirstPaint);
    InitGlobals();
    StartUp(argc, argv);
    const int64_t shownNs = NowNs();
    const FirstPaint& paint = *firstPaint;
    if (paint.paintedNs == 0) {
        QEventLoop loop;
        firstPaint->loop = &loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        firstPaint->loop = nullptr;
    }
    std::printf("%.3f %.3f %.3f %ld\n", double(mainNs - launchedNs) / 1e6,
                double(shownNs - mainNs) / 1e6,
                paint.paintedNs ? std::max(0.0, double(paint.paintedNs - shownNs) / 1e6) : -1.0,
                bench::ResidentKb());
    std::fflush(stdout);
    _exit(0); // the closing sequence would ask a question
}

pid_t Launch(const std::string& program, std::vector<std::string> args, int stdoutFd) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool CopyExecutable(const QString& from, const QString& to) {
    QFile::remove(to);
    return QFile::copy(from, to) &&
           QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

struct InProcess {
    double toMain = 0, toShown = 0, toPainted = 0;
    long rssKb = 0;
    double Total() const { return toMain + toShown + toPainted; }
};

bool RunInProcess(const std::string& self, InProcess& result) {
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("bench_startup"));
    if (!CopyExecutable(QString::fromLocal8Bit(self), copy))
        return false;
    int out[2];
    if (pipe(out) != 0)
        return false;
    const pid_t pid = Launch(QFile::encodeName(copy).toStdString(),
                             {kChildFlag, std::to_string(NowNs())}, out[1]);
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return std::sscanf(text.c_str(), "%lf %lf %lf %ld", &result.toMain, &result.toShown,
                       &result.toPainted, &result.rssKb) == 4 &&
           result.toPainted >= 0;
}

// True while the process's main thread sleeps inside poll or ppoll.
bool SleepsInPoll(pid_t pid) {
    const std::string base = "/proc/" + std::to_string(pid);
    std::FILE* stat = std::fopen((base + "/stat").c_str(), "r");
    if (!stat)
        return false;
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, stat) != nullptr;
    std::fclose(stat);
    const char* close = read ? std::strrchr(line, ')') : nullptr;
    if (!close || close[1] != ' ' || close[2] != 'S')
        return false;
    std::FILE* call = std::fopen((base + "/syscall").c_str(), "r");
    if (!call)
        return false;
    long number = -1;
    const int fields = std::fscanf(call, "%ld", &number);
    std::fclose(call);
    return fields == 1 && (number == SYS_poll || number == SYS_ppoll);
}

struct External {
    double toIdleMs = 0;
    long rssKb = 0;
};

bool RunExternal(External& result) {
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("suichuan"));
    if (!CopyExecutable(QStringLiteral(SUICHUAN_EXECUTABLE), copy))
        return false;
    const auto start = bench::Clock::now();
    const pid_t pid = Launch(QFile::encodeName(copy).toStdString(), {}, -1);
    if (pid <= 0)
        return false;
    bool idle = false;
    while (bench::SecondsSince(start) < 10) {
        if (SleepsInPoll(pid)) {
            idle = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    result.toIdleMs = bench::SecondsSince(start) * 1000;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    result.rssKb = bench::StatusKb(std::to_string(pid), "VmRSS");
    kill(pid, SIGKILL); // closing would ask a question first
    waitpid(pid, nullptr, 0);
    return idle && result.rssKb > 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kChildFlag) == 0)
        return MeasureInProcess(argc, argv, std::stoll(argv[2]));

    int launches = 7;
    if (argc == 2 && std::strcmp(argv[1], "--small") == 0) {
        launches = 2;
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--small]\n", argv[0]);
        return 2;
    }
    // Only for the temporary directories and file copies of the parent.
    QCoreApplication app(argc, argv);
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 1;

    std::printf("Start-up, %d launches of each, offscreen platform, median (min .. max)\n",
                launches);
    std::vector<double> total, toMain, toShown, toPainted, inRss;
    for (int i = 0; i < launches; ++i) {
        InProcess run;
        if (!RunInProcess(self, run)) {
            std::printf("the in-process measurement failed\n");
            return 1;
        }
        total.push_back(run.Total());
        toMain.push_back(run.toMain);
        toShown.push_back(run.toShown);
        toPainted.push_back(run.toPainted);
        inRss.push_back(double(run.rssKb) / 1024);
    }
    auto line = [](const char* what, const std::vector<double>& values, const char* unit) {
        std::printf("  %-52s %8.1f %s (%.1f .. %.1f)\n", what, Median(values), unit,
                    *std::min_element(values.begin(), values.end()),
                    *std::max_element(values.begin(), values.end()));
    };
    std::printf("In process (StartUp() to the first paint handled):\n");
    line("launch to main (loading, static set-up)", toMain, "ms");
    line("main to StartUp() returned (window shown)", toShown, "ms");
    line("shown to first paint handled (0: painted within show())", toPainted, "ms");
    line("launch to first paint, total", total, "ms");
    line("resident memory at first paint", inRss, "MB");
    std::printf("  target <= 300 ms: %s\n", bench::Verdict(Median(total) <= 300));

    std::vector<double> toIdle, rss;
    for (int i = 0; i < launches; ++i) {
        External run;
        if (!RunExternal(run)) {
            std::printf("the real executable could not be watched to its event loop\n");
            return 1;
        }
        toIdle.push_back(run.toIdleMs);
        rss.push_back(double(run.rssKb) / 1024);
    }
    std::printf("The real executable (watched from outside):\n");
    line("launch to main thread asleep in the event loop", toIdle, "ms");
    line("resident memory of the idle window after 1 s", rss, "MB");
    std::printf("  targets <= 300 ms: %s, <= 60 MB: %s\n", bench::Verdict(Median(toIdle) <= 300),
                bench::Verdict(Median(rss) <= 60));
    return 0;
}
