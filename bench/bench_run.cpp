// Run efficiency and CPU per page: the whole program, in this process, collecting from a
// loopback server that serves large result pages, timed against what the program's own
// pauses and the server's latency allow; then a bare libcurl loop over the same pages as
// the floor for the CPU cost of a fetch.
//
//   bench_run [--small] [--bind] [--no-trim]
//
// --small runs a few seeds on small pages (a smoke run). --bind binds the process to its
// first processor, as the program itself does at start-up. --no-trim is an experiment,
// not the program as it is: it turns the working-set trim after every task (malloc_trim)
// into nothing, to show what that trim costs.
//
// The server runs in a child process forked before any thread exists, so that the CPU
// time measured here is the program's alone.

#include "bench/bench_common.h"

#include "lists/related_commands.h"
#include "platform/platform.h"
#include "tests/app/app_fixture.h"
#include "tests/support/keyword_graph_server.h"

#include <QApplication>
#include <QEventLoop>

#include <curl/curl.h>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <queue>
#include <thread>
#include <vector>

using testsupport::KeywordGraph;

namespace {
std::atomic<bool> trimDisabled{false};
}

// Stands in for the C library's malloc_trim, which the program calls after every task,
// so that --no-trim can leave it out.
extern "C" int malloc_trim(size_t pad) {
    if (trimDisabled.load())
        return 0;
    using Trim = int (*)(size_t);
    static const auto real = reinterpret_cast<Trim>(dlsym(RTLD_NEXT, "malloc_trim"));
    return real ? real(pad) : 0;
}

namespace {

struct RunShape {
    int seeds = 50;
    int related = 10; // per keyword
    int threads = 20;
    int maxLevel = 2;
    size_t pageBytes = 300 * 1024;
    std::vector<int> latenciesMs{0, 100};
};

// The program's own pauses.
constexpr int kPausePerPostMs = 5;
constexpr int kPollIntervalMs = 50;

// "关键" + the path of the keyword in the graph: every keyword is distinct.
Text KeywordName(const std::string& path) {
    return "\xB9\xD8\xBC\xFC" + path;
}

std::vector<Text> SeedKeywords(const RunShape& shape) {
    std::vector<Text> seeds;
    for (int i = 0; i < shape.seeds; ++i)
        seeds.push_back(KeywordName(std::to_string(i)));
    return seeds;
}

// Every keyword down to one level below the deepest searched one has `related` related
// keywords of its own.
KeywordGraph MakeGraph(const RunShape& shape) {
    KeywordGraph graph;
    std::vector<std::string> level;
    for (int i = 0; i < shape.seeds; ++i)
        level.push_back(std::to_string(i));
    for (int depth = 1; depth <= shape.maxLevel + 1; ++depth) {
        std::vector<std::string> next;
        for (const std::string& path : level) {
            std::vector<Text>& related = graph[KeywordName(path)];
            for (int k = 0; k < shape.related; ++k) {
                next.push_back(path + "_" + std::to_string(k));
                related.push_back(KeywordName(next.back()));
            }
        }
        level = std::move(next);
    }
    return graph;
}

// The keywords that a run fetches (levels 1 to maxLevel), each once.
std::vector<Text> FetchedKeywords(const RunShape& shape) {
    std::vector<Text> fetched;
    std::vector<std::string> level;
    for (int i = 0; i < shape.seeds; ++i)
        level.push_back(std::to_string(i));
    for (int depth = 1; depth <= shape.maxLevel; ++depth) {
        std::vector<std::string> next;
        for (const std::string& path : level) {
            fetched.push_back(KeywordName(path));
            for (int k = 0; k < shape.related; ++k)
                next.push_back(path + "_" + std::to_string(k));
        }
        level = std::move(next);
    }
    return fetched;
}

// The time a run takes with no overhead at all: the pool as a discrete-event simulation.
// A task searched takes the latency, then posts its children one by one, pausing after
// each; a task below the last level takes no time. The coordinator posts the seeds with
// a pause after each, then looks at the count every poll interval.
double IdealRunMs(const RunShape& shape, int latencyMs) {
    struct Event {
        long time;
        int kind; // 0: a worker becomes free; 1: a task at `level` is posted
        int level;
        long order;
        bool operator>(const Event& other) const {
            return time != other.time ? time > other.time : order > other.order;
        }
    };
    std::priority_queue<Event, std::vector<Event>, std::greater<Event>> events;
    long order = 0;
    for (int i = 0; i < shape.seeds; ++i)
        events.push({long(i) * kPausePerPostMs, 1, 1, order++});

    std::deque<int> queue; // levels of the tasks waiting, first in first out
    int idle = shape.threads;
    long lastEnd = 0;
    while (!events.empty()) {
        const long now = events.top().time;
        while (!events.empty() && events.top().time == now) {
            const Event event = events.top();
            events.pop();
            if (event.kind == 0)
                ++idle;
            else
                queue.push_back(event.level);
        }
        while (idle > 0 && !queue.empty()) {
            const int level = queue.front();
            queue.pop_front();
            if (level > shape.maxLevel) {
                lastEnd = std::max(lastEnd, now);
                continue; // done at once, the worker stays free
            }
            --idle;
            const long fetched = now + latencyMs;
            for (int k = 0; k < shape.related; ++k)
                events.push({fetched + long(k) * kPausePerPostMs, 1, level + 1, order++});
            const long end = fetched + long(shape.related) * kPausePerPostMs;
            events.push({end, 0, 0, order++});
            lastEnd = std::max(lastEnd, end);
        }
    }

    long poll = long(shape.seeds) * kPausePerPostMs;
    while (poll < lastEnd)
        poll += kPollIntervalMs;
    return double(poll);
}

// The server library listens with a backlog of five: twenty clients connecting at once
// overflow it, and the kernel drops the extra connection requests, which the clients
// resend only after a second. Listening again on the same socket only raises the
// backlog, so every listening socket of the child gets a deep one.
void DeepenListenBacklogs() {
    for (int fd = 3; fd < 1024; ++fd) {
        int listening = 0;
        socklen_t length = sizeof listening;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening)
            listen(fd, SOMAXCONN);
    }
}

// The server side, in a child process: one server per latency. Writes the ports to
// `out`, then serves until `in` reaches end of file (the parent has gone or is done).
[[noreturn]] void ServeInChild(const RunShape& shape, int out, int in) {
    std::vector<std::unique_ptr<testsupport::KeywordGraphServer>> servers;
    for (const int latency : shape.latenciesMs) {
        testsupport::KeywordGraphOptions options;
        options.latency = std::chrono::milliseconds(latency);
        options.pageBytes = shape.pageBytes;
        options.threads = size_t(shape.threads) + 12;
        servers.push_back(
            std::make_unique<testsupport::KeywordGraphServer>(MakeGraph(shape), options));
        const int port = servers.back()->port();
        if (write(out, &port, sizeof port) != sizeof port)
            _exit(1);
    }
    DeepenListenBacklogs();
    close(out);
    char byte = 0;
    while (read(in, &byte, 1) > 0) {
    }
    servers.clear();
    _exit(0);
}

// The same options as the program's request, on a plain blocking transfer.
size_t KeepBody(char* data, size_t size, size_t count, void* userdata) {
    static_cast<std::string*>(userdata)->append(data, size * count);
    return size * count;
}
size_t IgnoreHeader(char*, size_t size, size_t count, void*) {
    return size * count;
}
int NoProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return 0;
}
int SocketOk(void*, curl_socket_t, curlsocktype) {
    return CURL_SOCKOPT_OK;
}
int PrereqOk(void*, char*, char*, int, int) {
    return CURL_PREREQFUNC_OK;
}

size_t BareFetch(const Text& keyword, curl_slist* headers, curl_slist* connectTo) {
    CURL* easy = curl_easy_init();
    std::string body;
    const Text address = SearchAddress(keyword);
    curl_easy_setopt(easy, CURLOPT_URL, address.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_USERAGENT,
                     "Mozilla/5.0 (Windows; U; Windows NT 6.1; en-US) AppleWebKit/534.10 (KHTML, "
                     "like Gecko) Chrome/7.0.536.2 Safari/534.10");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 8000L);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(16 << 20));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, IgnoreHeader);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, NoProgress);
    curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, SocketOk);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, PrereqOk);
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    const CURLcode result = curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    return result == CURLE_OK ? body.size() : 0;
}

struct BareResult {
    double seconds = 0;
    double cpuSeconds = 0;
    size_t pages = 0;
    size_t bytes = 0;
};

BareResult BareCurlLoop(const std::vector<Text>& keywords, int threads, int port) {
    curl_slist* headers = curl_slist_append(nullptr, "Accept: */*");
    const std::string target = std::string(kSearchHost) + ":80:127.0.0.1:" + std::to_string(port);
    curl_slist* connectTo = curl_slist_append(nullptr, target.c_str());

    std::atomic<size_t> next{0};
    std::atomic<size_t> pages{0};
    std::atomic<size_t> bytes{0};
    const double cpuStart = bench::ProcessCpuSeconds();
    const auto start = bench::Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (size_t i; (i = next.fetch_add(1)) < keywords.size();) {
                const size_t size = BareFetch(keywords[i], headers, connectTo);
                if (size > 0) {
                    pages.fetch_add(1);
                    bytes.fetch_add(size);
                }
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    BareResult result;
    result.seconds = bench::SecondsSince(start);
    result.cpuSeconds = bench::ProcessCpuSeconds() - cpuStart;
    result.pages = pages;
    result.bytes = bytes;
    curl_slist_free_all(connectTo);
    curl_slist_free_all(headers);
    return result;
}

// Keeps handling events until the run's report is shown; returns false on time-out.
bool WaitForCompletion(int timeoutMs) {
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    check.setInterval(1);
    bool completed = false;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (apptest::RunCompleted()) {
            completed = true;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return completed;
}

struct RunResult {
    double measuredMs = 0;
    double idealMs = 0;
    double cpuSeconds = 0;
    int pages = 0;
    int related = 0;
};

} // namespace

int main(int argc, char** argv) {
    RunShape shape;
    bool bind = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--small") == 0) {
            shape.seeds = 5;
            shape.pageBytes = 30 * 1024;
            shape.latenciesMs = {0, 20};
        } else if (std::strcmp(argv[i], "--bind") == 0) {
            bind = true;
        } else if (std::strcmp(argv[i], "--no-trim") == 0) {
            trimDisabled = true;
        } else {
            std::fprintf(stderr, "usage: %s [--small] [--bind] [--no-trim]\n", argv[0]);
            return 2;
        }
    }

    int portsPipe[2];
    int holdPipe[2];
    if (pipe(portsPipe) != 0 || pipe(holdPipe) != 0)
        return 1;
    const pid_t server = fork();
    if (server == 0) {
        close(portsPipe[0]);
        close(holdPipe[1]);
        ServeInChild(shape, portsPipe[1], holdPipe[0]);
    }
    close(portsPipe[1]);
    close(holdPipe[0]);
    std::vector<int> ports;
    for (size_t i = 0; i < shape.latenciesMs.size(); ++i) {
        int port = 0;
        if (read(portsPipe[0], &port, sizeof port) != sizeof port) {
            std::fprintf(stderr, "server did not start\n");
            return 1;
        }
        ports.push_back(port);
    }

    if (bind)
        platform::BindToFirstProcessor();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ui::MainWindow* window = apptest::OpenProgramWindow(dir);

    const std::vector<Text> seeds = SeedKeywords(shape);
    const int expectedPages = int(FetchedKeywords(shape).size());
    std::printf("Run: %d seeds, %d related per page, %zu-byte pages, %d threads, level %d%s\n",
                shape.seeds, shape.related, shape.pageBytes, shape.threads, shape.maxLevel,
                bind ? ", bound to one processor" : "");
    if (trimDisabled)
        std::printf("     EXPERIMENT: the trim after every task is left out\n");
    std::printf("     (%d pages fetched per run, %d tasks in all)\n", expectedPages,
                expectedPages + int(std::pow(shape.related, shape.maxLevel)) * shape.seeds);

    std::vector<RunResult> runs;
    for (size_t r = 0; r < shape.latenciesMs.size(); ++r) {
        apptest::PointEngineAt(ports[r]);
        ui::ListClear(ui::ListBoxName::列表框_关键字);
        ui::ListClear(ui::ListBoxName::列表框_相关关键字);
        ui::ListAppend(ui::ListBoxName::列表框_关键字, std::vector<Text>(seeds));
        ui::SetEditText(ui::EditBoxName::编辑框_工作线程, std::to_string(shape.threads));
        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, std::to_string(shape.maxLevel));
        QCoreApplication::processEvents();

        RunResult result;
        const double cpuStart = bench::ProcessCpuSeconds();
        const auto start = bench::Clock::now();
        apptest::ClickStartStop(*window);
        if (!WaitForCompletion(120000)) {
            std::printf("latency %d ms: the run did not complete in 120 s\n", shape.latenciesMs[r]);
            return 1;
        }
        result.measuredMs = bench::SecondsSince(start) * 1000;
        result.cpuSeconds = bench::ProcessCpuSeconds() - cpuStart;
        result.idealMs = IdealRunMs(shape, shape.latenciesMs[r]);
        result.pages = TaskCount() - int(std::pow(shape.related, shape.maxLevel)) * shape.seeds;
        result.related = ui::ListCount(ui::ListBoxName::列表框_相关关键字);
        runs.push_back(result);

        const double ratio = result.measuredMs / result.idealMs;
        std::printf("latency %3d ms: measured %8.1f ms, ideal %8.1f ms, ratio %.3f  "
                    "(target <= 1.05: %s)\n",
                    shape.latenciesMs[r], result.measuredMs, result.idealMs, ratio,
                    bench::Verdict(ratio <= 1.05));
        std::printf("                CPU %.3f s over %d pages: %.3f s per 1000 pages; "
                    "%d related listed\n",
                    result.cpuSeconds, result.pages, result.cpuSeconds * 1000 / result.pages,
                    result.related);
    }

    // The floor: the same pages through plain blocking transfers, same thread count, from
    // the server without latency.
    const BareResult bare = BareCurlLoop(FetchedKeywords(shape), shape.threads, ports[0]);
    const double bareCpuPer1000 = bare.cpuSeconds * 1000 / double(std::max<size_t>(bare.pages, 1));
    std::printf("bare libcurl, %d threads: %zu pages (%zu bytes) in %.3f s, CPU %.3f s: "
                "%.3f s per 1000 pages\n",
                shape.threads, bare.pages, bare.bytes, bare.seconds, bare.cpuSeconds,
                bareCpuPer1000);
    for (size_t r = 0; r < runs.size(); ++r) {
        const double per1000 = runs[r].cpuSeconds * 1000 / runs[r].pages;
        const double ratio = per1000 / bareCpuPer1000;
        std::printf("CPU per page, run at %3d ms / bare: %.2f  (target <= 1.5: %s)\n",
                    shape.latenciesMs[r], ratio, bench::Verdict(ratio <= 1.5));
    }

    close(holdPipe[1]);
    waitpid(server, nullptr, 0);
    // The pool's threads are left to the process exit, as the program leaves them.
    std::fflush(stdout);
    _exit(0);
}
