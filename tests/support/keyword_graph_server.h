#pragma once

#include "text/text.h"

#include <chrono>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

namespace testsupport {

// Keyword (code page 936 bytes) -> its related keywords, in page order.
using KeywordGraph = std::map<Text, std::vector<Text>>;

struct KeywordGraphOptions {
    // Waited in every request before answering.
    std::chrono::milliseconds latency{0};
    // Pages are padded with filler outside the related-search block to at least this
    // many bytes.
    size_t pageBytes = 0;
    // Requests answered at the same time.
    size_t threads = 32;
};

// A result page whose related-search block links every keyword of related, in order,
// as <a href="/s?wd=...">keyword</a>.
Text RelatedSearchPage(const std::vector<Text>& related, size_t pageBytes = 0);
// A result page with no related-search block at all.
Text PageWithoutRelated(size_t pageBytes = 0);

// The bytes behind %XX escapes; everything else, '+' included, is taken as it is.
Text PercentDecode(std::string_view encoded);

// An HTTP server on 127.0.0.1 with an ephemeral port that answers GET /s?wd=<keyword>
// with RelatedSearchPage(graph[keyword]), or PageWithoutRelated() for a keyword the
// graph does not hold, and counts the requests per keyword.
class KeywordGraphServer {
public:
    explicit KeywordGraphServer(KeywordGraph graph, KeywordGraphOptions options = {});
    ~KeywordGraphServer();
    KeywordGraphServer(const KeywordGraphServer&) = delete;
    KeywordGraphServer& operator=(const KeywordGraphServer&) = delete;

    int port() const;
    int RequestCount(const Text& keyword) const;
    int TotalRequests() const;
    std::map<Text, int> RequestCounts() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace testsupport
