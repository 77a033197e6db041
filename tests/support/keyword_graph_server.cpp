#include "tests/support/keyword_graph_server.h"

#include "collect/search_request.h"

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

#if defined(__SANITIZE_THREAD__)
#define SUICHUAN_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SUICHUAN_THREAD_SANITIZER 1
#endif
#endif

#ifdef SUICHUAN_THREAD_SANITIZER
// The system's cpp-httplib is a prebuilt library without thread-sanitizer code: its
// lazily made statics are read through a fast path the sanitizer cannot see, which it
// then reports as races between the server's own threads.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libcpp-httplib.so\n";
}
#endif

namespace testsupport {

namespace {

// "相关搜索" in code page 936.
constexpr char kRelatedCaption[] = "\xCF\xE0\xB9\xD8\xCB\xD1\xCB\xF7";

Text Padded(Text page, size_t pageBytes) {
    static const Text kFiller = "<!-- filler -->\n";
    const Text tail = "</body></html>\n";
    while (page.size() + tail.size() < pageBytes)
        page += kFiller;
    return page + tail;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The raw wd value of a request target such as "/s?wd=%D6%D0&x=1".
std::string_view WdOf(std::string_view target) {
    const size_t query = target.find('?');
    if (query == std::string_view::npos)
        return {};
    std::string_view rest = target.substr(query + 1);
    while (!rest.empty()) {
        const size_t end = rest.find('&');
        const std::string_view pair = rest.substr(0, end);
        if (pair.substr(0, 3) == "wd=")
            return pair.substr(3);
        if (end == std::string_view::npos)
            break;
        rest = rest.substr(end + 1);
    }
    return {};
}

} // namespace

Text RelatedSearchPage(const std::vector<Text>& related, size_t pageBytes) {
    Text page = "<html><head><title>results</title></head><body>\n"
                "<div id=\"rs\"><table cellpadding=\"0\"><tr><th>";
    page += kRelatedCaption;
    page += "</th><th>";
    for (const Text& keyword : related)
        page += "<a href=\"/s?wd=" + EncodeKeyword(keyword) + "\">" + keyword + "</a></th><th>";
    page += "</th></tr></table></div>\n";
    return Padded(std::move(page), pageBytes);
}

Text PageWithoutRelated(size_t pageBytes) {
    return Padded("<html><head><title>results</title></head><body>\n<p>no related</p>\n",
                  pageBytes);
}

Text PercentDecode(std::string_view encoded) {
    Text decoded;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size() && HexValue(encoded[i + 1]) >= 0 &&
            HexValue(encoded[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2]));
            i += 2;
        } else {
            decoded += encoded[i];
        }
    }
    return decoded;
}

struct KeywordGraphServer::Impl {
    KeywordGraph graph;
    KeywordGraphOptions options;
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::atomic<bool> listenEnded{false};

    mutable std::mutex countsMutex; // guards counts
    std::map<Text, int> counts;
};

KeywordGraphServer::KeywordGraphServer(KeywordGraph graph, KeywordGraphOptions options)
    : m_impl(std::make_unique<Impl>()) {
    Impl& impl = *m_impl;
    impl.graph = std::move(graph);
    impl.options = options;
    const size_t threads = std::max<size_t>(options.threads, 1);
    impl.server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    impl.server.Get("/s", [&impl](const httplib::Request& request, httplib::Response& response) {
        const Text keyword = PercentDecode(WdOf(request.target));
        {
            std::lock_guard lock(impl.countsMutex);
            ++impl.counts[keyword];
        }
        if (impl.options.latency.count() > 0)
            std::this_thread::sleep_for(impl.options.latency);
        const auto found = impl.graph.find(keyword);
        const Text page = found == impl.graph.end()
                              ? PageWithoutRelated(impl.options.pageBytes)
                              : RelatedSearchPage(found->second, impl.options.pageBytes);
        response.set_content(page, "text/html; charset=gbk");
    });
    impl.port = impl.server.bind_to_any_port("127.0.0.1");
    if (impl.port <= 0)
        throw std::runtime_error("bind 127.0.0.1");
    impl.thread = std::thread([&impl] {
        impl.server.listen_after_bind();
        impl.listenEnded = true;
    });
    // stop() only reaches a server that is already listening.
    while (!impl.server.is_running() && !impl.listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

KeywordGraphServer::~KeywordGraphServer() {
    m_impl->server.stop();
    m_impl->thread.join();
}

int KeywordGraphServer::port() const {
    return m_impl->port;
}

int KeywordGraphServer::RequestCount(const Text& keyword) const {
    std::lock_guard lock(m_impl->countsMutex);
    const auto found = m_impl->counts.find(keyword);
    return found == m_impl->counts.end() ? 0 : found->second;
}

int KeywordGraphServer::TotalRequests() const {
    std::lock_guard lock(m_impl->countsMutex);
    int total = 0;
    for (const auto& [keyword, count] : m_impl->counts)
        total += count;
    return total;
}

std::map<Text, int> KeywordGraphServer::RequestCounts() const {
    std::lock_guard lock(m_impl->countsMutex);
    return m_impl->counts;
}

} // namespace testsupport
