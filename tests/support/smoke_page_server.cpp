// A results-page server for driving the real executable from outside: it answers the
// search requests of a small fixed keyword graph on 127.0.0.1:PORT and writes, into DIR,
// the seed file to import, the result list a run at LEVEL must end with, the number of
// requests that run makes, and a running count of the requests served so far.
//
//   smoke_page_server PORT SECONDS DIR LEVEL
//
// It ends by itself after SECONDS, or earlier on SIGTERM or SIGINT.

#include "tests/support/keyword_graph_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

// Code page 936 bytes of the graph's Chinese keywords.
const Text kApple = "\xC6\xBB\xB9\xFB";                      // 苹果
const Text kBanana = "\xCF\xE3\xBD\xB6";                     // 香蕉
const Text kFruit = "\xCB\xAE\xB9\xFB";                      // 水果
const Text kApplePhone = "\xC6\xBB\xB9\xFB\xCA\xD6\xBB\xFA"; // 苹果手机
const Text kApplePrice = "\xC6\xBB\xB9\xFB\xBC\xDB\xB8\xF1"; // 苹果价格
const Text kBananaPeel = "\xCF\xE3\xBD\xB6\xC6\xA4";         // 香蕉皮
const Text kFruitShop = "\xCB\xAE\xB9\xFB\xB5\xEA";          // 水果店
const Text kPhoneCase = "\xCA\xD6\xBB\xFA\xBF\xC7";          // 手机壳

const std::vector<Text> kSeeds = {kApple, kBanana, "kiwi"};

// Cycles back to the seeds and keywords reached on several branches, so the raw result
// list holds duplicates that only the end-of-run pass removes. 香蕉皮 and "kiwi fruit"
// have no related-search block at all.
testsupport::KeywordGraph Graph() {
    return {
        {kApple, {kApplePhone, kApplePrice, kFruit}},
        {kBanana, {kFruit, kBananaPeel}},
        {"kiwi", {"kiwi fruit", kFruit}},
        {kFruit, {kApple, kBanana, kFruitShop}},
        {kApplePhone, {kApplePrice, kPhoneCase}},
        {kApplePrice, {kApple}},
        {kFruitShop, {kFruit, "kiwi"}},
    };
}

// The seed file as a user would keep it: CR LF lines, with a blank and a spaces-only
// line that the import skips.
Text SeedFile() {
    return kSeeds[0] + "\r\n\r\n   \r\n" + kSeeds[1] + "\r\n" + kSeeds[2] + "\r\n";
}

struct Expectation {
    std::set<Text> results;
    int requests = 0;
};

// Every occurrence of a keyword is a task of its own, so a keyword found twice on one
// level is fetched twice on the next.
Expectation Expect(const testsupport::KeywordGraph& graph, int maxLevel) {
    Expectation expected;
    std::vector<Text> level = kSeeds;
    for (int depth = 1; depth <= maxLevel && !level.empty(); ++depth) {
        std::vector<Text> next;
        for (const Text& keyword : level) {
            ++expected.requests;
            const auto found = graph.find(keyword);
            if (found == graph.end())
                continue;
            for (const Text& related : found->second) {
                expected.results.insert(related);
                next.push_back(related);
            }
        }
        level = std::move(next);
    }
    return expected;
}

bool WriteFile(const std::string& path, const Text& bytes) {
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << bytes;
        if (!out)
            return false;
    }
    return std::rename(partial.c_str(), path.c_str()) == 0;
}

// The request target's wd value, still percent-encoded.
std::string_view WdOf(std::string_view target) {
    const size_t start = target.find("wd=");
    if (start == std::string_view::npos)
        return {};
    const std::string_view rest = target.substr(start + 3);
    return rest.substr(0, rest.find('&'));
}

std::atomic<bool> stopRequested{false};

void OnStopSignal(int) {
    stopRequested = true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s PORT SECONDS DIR LEVEL\n", argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int seconds = std::clamp(std::atoi(argv[2]), 1, 600);
    const std::string dir = argv[3];
    const int level = std::atoi(argv[4]);

    const testsupport::KeywordGraph graph = Graph();
    const Expectation expected = Expect(graph, level);
    Text expectedList;
    for (const Text& keyword : expected.results)
        expectedList += keyword + "\r\n";
    if (!WriteFile(dir + "/seeds.txt", SeedFile()) ||
        !WriteFile(dir + "/expected.txt", expectedList) ||
        !WriteFile(dir + "/expected-requests", std::to_string(expected.requests) + "\n") ||
        !WriteFile(dir + "/served", "0\n")) {
        std::fprintf(stderr, "cannot write into %s\n", dir.c_str());
        return 1;
    }

    std::mutex servedMutex; // guards served and the served file
    int served = 0;
    httplib::Server server;
    server.Get("/s", [&](const httplib::Request& request, httplib::Response& response) {
        const Text keyword = testsupport::PercentDecode(WdOf(request.target));
        const auto found = graph.find(keyword);
        response.set_content(found == graph.end() ? testsupport::PageWithoutRelated()
                                                  : testsupport::RelatedSearchPage(found->second),
                             "text/html; charset=gbk");
        std::lock_guard lock(servedMutex);
        ++served;
        WriteFile(dir + "/served", std::to_string(served) + "\n");
    });
    if (!server.bind_to_port("127.0.0.1", port)) {
        std::fprintf(stderr, "cannot bind 127.0.0.1:%d\n", port);
        return 1;
    }
    std::atomic<bool> listenEnded{false};
    std::thread listener([&] {
        server.listen_after_bind();
        listenEnded = true;
    });
    while (!server.is_running() && !listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    WriteFile(dir + "/ready", "1\n");

    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!stopRequested && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server.stop();
    listener.join();
    return 0;
}
