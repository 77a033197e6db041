#include "collect/cut_off.h"
#include "collect/search_request.h"
#include "collect/text_between.h"
#include "tests/support/keyword_graph_server.h"
#include "tests/support/loopback_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testsupport::HttpHead;
using testsupport::HttpRedirect;
using testsupport::HttpResponse;
using testsupport::LoopbackServer;
using testsupport::Reply;

constexpr char kUserAgent[] = "Mozilla/5.0 (Windows; U; Windows NT 6.1; en-US) "
                              "AppleWebKit/534.10 (KHTML, like Gecko) Chrome/7.0.536.2 "
                              "Safari/534.10";
constexpr size_t kPageCap = size_t{16} * 1024 * 1024;
// Far longer than the lowered limits, far shorter than a transfer that never gives up.
constexpr auto kGaveUpWithin = 5s;

std::string ExpectedRequest(const std::string& target, const std::string& host = "www.baidu.com") {
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " + kUserAgent +
           "\r\nAccept: */*\r\n\r\n";
}

std::string Local(int port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

class FetchTest : public ::testing::Test {
protected:
    static void PointAt(int port, long stallMs = 400, long connectMs = 400) {
        SetSearchEndpointForTesting({"127.0.0.1", port, connectMs, stallMs});
    }
    void TearDown() override {
        ClearSearchEndpointForTesting();
        currentCutOff.reset();
    }
};

TEST_F(FetchTest, SendsRequestLineAndThreeHeadersOnly) {
    LoopbackServer server(Reply::Bytes(HttpResponse(200, "page")));
    PointAt(server.port());
    EXPECT_EQ(FetchSearchPage("a b\xD6\xD0"), "page");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], ExpectedRequest("/s?wd=a%20b%D6%D0"));
}

TEST_F(FetchTest, IgnoresProxyEnvironment) {
    LoopbackServer server(Reply::Bytes(HttpResponse(200, "direct")));
    LoopbackServer proxy(Reply::Bytes(HttpResponse(200, "via proxy")));
    PointAt(server.port());
    const std::string proxyAddress = Local(proxy.port(), "");
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "ALL_PROXY"})
        setenv(name, proxyAddress.c_str(), 1);
    const Text page = FetchSearchPage("k");
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "ALL_PROXY"})
        unsetenv(name);
    EXPECT_EQ(page, "direct");
    EXPECT_EQ(proxy.connectionCount(), 0);
}

TEST_F(FetchTest, FollowsRedirectsOnSameHostAndToOtherPorts) {
    LoopbackServer final(Reply::Bytes(HttpResponse(200, "final page")));
    LoopbackServer first({Reply::Bytes(HttpRedirect("/s?wd=second")),
                          Reply::Bytes(HttpRedirect(Local(final.port(), "/last")))});
    PointAt(first.port());
    EXPECT_EQ(FetchSearchPage("k"), "final page");
    ASSERT_EQ(first.requests().size(), 2u);
    EXPECT_EQ(first.requests()[1], ExpectedRequest("/s?wd=second"));
    ASSERT_EQ(final.requests().size(), 1u);
    EXPECT_EQ(final.requests()[0],
              ExpectedRequest("/last", "127.0.0.1:" + std::to_string(final.port())));
}

TEST_F(FetchTest, CookieSetByRedirectIsNeverSent) {
    LoopbackServer server(
        {Reply::Bytes(HttpRedirect("http://www.baidu.com/s?wd=again",
                                   {"Set-Cookie: BAIDUID=abc; Path=/; Domain=.baidu.com"})),
         Reply::Bytes(HttpResponse(200, "ok", {"Set-Cookie: second=1; Path=/"}))});
    PointAt(server.port());
    EXPECT_EQ(FetchSearchPage("k"), "ok");
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[1], ExpectedRequest("/s?wd=again"));
}

class RedirectHopsTest : public FetchTest, public ::testing::WithParamInterface<int> {};

TEST_P(RedirectHopsTest, FollowsAtMostTenRedirects) {
    const int hops = GetParam();
    std::vector<Reply> replies(static_cast<size_t>(hops), Reply::Bytes(HttpRedirect("/s?wd=n")));
    replies.push_back(Reply::Bytes(HttpResponse(200, "end of chain")));
    LoopbackServer server(replies);
    PointAt(server.port());
    EXPECT_EQ(FetchSearchPage("k"), hops <= 10 ? "end of chain" : "");
    EXPECT_EQ(server.connectionCount(), std::min(hops, 10) + 1);
}

INSTANTIATE_TEST_SUITE_P(Hops, RedirectHopsTest, ::testing::Values(1, 10, 11, 30));

// A redirect curl refuses to follow is a failed request, not a page: the 3xx reply's
// own body is never handed on.
class RefusedRedirectTest : public FetchTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RefusedRedirectTest, GivesEmptyPage) {
    LoopbackServer target(Reply::Bytes("220 hello\r\n"));
    std::string location = GetParam();
    const size_t port = location.find("PORT");
    if (port != std::string::npos)
        location.replace(port, 4, std::to_string(target.port()));
    LoopbackServer server(Reply::Bytes(HttpRedirect(location)));
    PointAt(server.port());
    EXPECT_EQ(FetchSearchPage("k"), "");
    EXPECT_EQ(target.connectionCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Schemes, RefusedRedirectTest,
                         ::testing::Values("ftp://127.0.0.1:PORT/file", "file:///etc/passwd",
                                           "gopher://127.0.0.1:PORT/"));

// Certificate checks stay on: a server that cannot complete a TLS handshake (here one
// that speaks plain HTTP) ends the request.
TEST_F(FetchTest, RedirectToHttpsWithoutTlsGivesEmptyPage) {
    LoopbackServer plain(Reply::Bytes(HttpResponse(200, "not encrypted")));
    LoopbackServer server(
        Reply::Bytes(HttpRedirect("https://127.0.0.1:" + std::to_string(plain.port()) + "/")));
    PointAt(server.port());
    EXPECT_EQ(FetchSearchPage("k"), "");
    EXPECT_TRUE(plain.WaitForConnections(1, 2s));
}

struct ReplyCase {
    const char* name;
    Reply reply;
    Text page;
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
    *out << c.name;
}

class ReplyTest : public FetchTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyTest, PageIsFinalBodyOrEmpty) {
    LoopbackServer server(GetParam().reply);
    PointAt(server.port());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchSearchPage("k"), GetParam().page);
    EXPECT_LT(std::chrono::steady_clock::now() - started, kGaveUpWithin);
}

const std::string kChunkedHead = HttpHead(200, {"Transfer-Encoding: chunked", "Connection: close"});
const std::string kPartialHead = HttpHead(200, {"Content-Length: 100", "Connection: close"});

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    ::testing::Values(
        ReplyCase{"ok", Reply::Bytes(HttpResponse(200, "<html>page</html>")), "<html>page</html>"},
        ReplyCase{"server_error_body_used", Reply::Bytes(HttpResponse(500, "oops page")),
                  "oops page"},
        ReplyCase{"not_found_body_used", Reply::Bytes(HttpResponse(404, "missing")), "missing"},
        ReplyCase{"chunked_assembled",
                  Reply::Bytes(kChunkedHead + "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"),
                  "hello world"},
        ReplyCase{"chunked_split_in_time",
                  Reply().Send(kChunkedHead + "5\r\nhel").Pause(100ms).Send("lo\r\n0\r\n\r\n"),
                  "hello"},
        ReplyCase{"close_delimited",
                  Reply::Bytes(HttpHead(200, {"Connection: close"}) + "until close"),
                  "until close"},
        ReplyCase{"compressed_body_not_decoded",
                  Reply::Bytes(HttpResponse(200, "not really gzip", {"Content-Encoding: gzip"})),
                  "not really gzip"},
        ReplyCase{"zero_byte_kept", Reply::Bytes(HttpResponse(200, Text("a\0b", 3))),
                  Text("a\0b", 3)},
        ReplyCase{"closed_before_headers", Reply().Close(), ""},
        ReplyCase{"reset_before_headers", Reply().Reset(), ""},
        ReplyCase{"reset_mid_body", Reply().Send(kPartialHead + "partial").Pause(50ms).Reset(), ""},
        ReplyCase{"closed_mid_body", Reply().Send(kPartialHead + "partial").Close(), ""},
        ReplyCase{"stalls_mid_body", Reply().Send(kPartialHead + "partial").Hang(), ""},
        ReplyCase{"stalls_mid_headers", Reply().Send("HTTP/1.1 200 OK\r\nContent-").Hang(), ""},
        ReplyCase{"accepted_never_answered", Reply().Hang(), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetchTest, SlowBodyThatKeepsComingIsComplete) {
    const std::string body = "a page sent one byte at a time";
    LoopbackServer server(
        Reply()
            .Send(HttpHead(200, {"Content-Length: " + std::to_string(body.size())}))
            .Trickle(body, 100ms));
    PointAt(server.port(), 500);
    EXPECT_EQ(FetchSearchPage("k"), body);
}

enum class BodyShape { WithLength, CloseDelimited, Endless };

struct SizeCase {
    const char* name;
    BodyShape shape;
    size_t bodyBytes;
    size_t pageBytes;
};

void PrintTo(const SizeCase& c, std::ostream* out) {
    *out << c.name;
}

class PageCapTest : public FetchTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(PageCapTest, BodyPastSixteenMebibytesIsAbandoned) {
    const SizeCase& c = GetParam();
    const std::string body(c.bodyBytes, 'x');
    Reply reply;
    switch (c.shape) {
    case BodyShape::WithLength:
        reply.Send(HttpResponse(200, body));
        break;
    case BodyShape::CloseDelimited:
        reply.Send(HttpHead(200, {"Connection: close"}) + body);
        break;
    case BodyShape::Endless:
        reply.Send(HttpHead(200, {"Connection: close"})).Endless(std::string(65536, 'x'));
        break;
    }
    LoopbackServer server(reply);
    PointAt(server.port(), 2000);
    EXPECT_EQ(FetchSearchPage("k").size(), c.pageBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PageCapTest,
    ::testing::Values(SizeCase{"exactly_cap", BodyShape::WithLength, kPageCap, kPageCap},
                      SizeCase{"cap_plus_one_with_length", BodyShape::WithLength, kPageCap + 1, 0},
                      SizeCase{"cap_plus_one_close_delimited", BodyShape::CloseDelimited,
                               kPageCap + 1, 0},
                      SizeCase{"endless", BodyShape::Endless, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetchTest, RefusedConnectionGivesEmptyPage) {
    PointAt(testsupport::UnusedLoopbackPort());
    EXPECT_EQ(FetchSearchPage("k"), "");
}

TEST_F(FetchTest, ConnectionNeverEstablishedGivesUpAtConnectLimit) {
    testsupport::UnansweredPort port;
    PointAt(port.port(), 60000, 300);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchSearchPage("k"), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, kGaveUpWithin);
}

struct LengthCase {
    const char* name;
    size_t keywordBytes;
    bool requested;
};

void PrintTo(const LengthCase& c, std::ostream* out) {
    *out << c.name;
}

class AddressLengthTest : public FetchTest, public ::testing::WithParamInterface<LengthCase> {};

// "/s?wd=" is 6 characters, so 2041 plain bytes make a path and query of 2047.
TEST_P(AddressLengthTest, LongestTargetIs2047Characters) {
    LoopbackServer server(Reply::Bytes(HttpResponse(200, "page")));
    PointAt(server.port());
    EXPECT_EQ(FetchSearchPage(Text(GetParam().keywordBytes, 'a')),
              GetParam().requested ? "page" : "");
    EXPECT_EQ(server.connectionCount(), GetParam().requested ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Lengths, AddressLengthTest,
                         ::testing::Values(LengthCase{"at_limit", 2041, true},
                                           LengthCase{"one_past_limit", 2042, false},
                                           LengthCase{"far_past_limit", 100000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetchTest, EscapedBytesCountThriceTowardsTheLimit) {
    LoopbackServer server(Reply::Bytes(HttpResponse(200, "page")));
    PointAt(server.port());
    // 681 Chinese bytes encode to 2043 characters: 2049 with the path.
    EXPECT_EQ(FetchSearchPage(Text(681, '\xD6')), "");
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(FetchTest, CutOffAbortsHangingTransfer) {
    LoopbackServer server(Reply().Hang());
    PointAt(server.port(), 600000);
    currentCutOff = std::make_shared<CutOff>();
    std::thread cutter([cutOff = currentCutOff, &server] {
        server.WaitForConnections(1, 5s);
        std::this_thread::sleep_for(100ms);
        cutOff->Cut();
    });
    const auto started = std::chrono::steady_clock::now();
    const Text page = FetchSearchPage("k");
    const auto took = std::chrono::steady_clock::now() - started;
    cutter.join();
    EXPECT_EQ(page, "");
    EXPECT_LT(took, kGaveUpWithin);
}

TEST_F(FetchTest, CutOffBeforehandSendsNothing) {
    LoopbackServer server(Reply::Bytes(HttpResponse(200, "page")));
    PointAt(server.port());
    currentCutOff = std::make_shared<CutOff>();
    currentCutOff->Cut();
    EXPECT_EQ(FetchSearchPage("k"), "");
    EXPECT_EQ(server.connectionCount(), 0);
}

// The whole road of one keyword: request, page, block, related keywords in page order.
// Many threads at once, each with its own transfers.
TEST_F(FetchTest, RelatedKeywordsOfGraphPagesInPageOrder) {
    const Text zhong = "\xD6\xD0";
    const Text wen = "\xCE\xC4";
    testsupport::KeywordGraph graph = {
        {zhong, {wen, "a b", zhong + wen, "x+y"}},
        {"a b", {"one"}},
    };
    testsupport::KeywordGraphServer server(graph, {.latency = 10ms, .pageBytes = 300 * 1024});
    PointAt(server.port(), 5000, 5000);

    constexpr int kThreads = 8;
    constexpr int kRounds = 5;
    std::vector<std::vector<std::vector<Text>>> found(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&found, t, &zhong] {
            for (int round = 0; round < kRounds; ++round) {
                const Text keyword = round % 2 == 0 ? zhong : Text(t % 2 == 0 ? "a b" : "absent");
                const Text page = FetchSearchPage(keyword);
                const Text block = TextBetween(page, "\xCF\xE0\xB9\xD8\xCB\xD1\xCB\xF7</th><th>",
                                               "</table></div>");
                found[t].push_back(TextBetween(block, "\">", "</a>", all));
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    for (int t = 0; t < kThreads; ++t) {
        for (int round = 0; round < kRounds; ++round) {
            const std::vector<Text> expected =
                round % 2 == 0 ? graph[zhong]
                               : (t % 2 == 0 ? std::vector<Text>{"one"} : std::vector<Text>{});
            EXPECT_EQ(found[t][round], expected) << "thread " << t << " round " << round;
        }
    }
    EXPECT_EQ(server.RequestCount(zhong), kThreads * 3);
    EXPECT_EQ(server.RequestCount("a b"), kThreads / 2 * 2);
    EXPECT_EQ(server.TotalRequests(), kThreads * kRounds);
}

} // namespace
