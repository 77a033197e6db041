// Whole runs in which some result pages misbehave in every way a server can: the run
// still completes, every result of the healthy pages is there, the pages that arrive in
// full are used whatever their status or transfer coding, and the run ends within the
// engine's time limits.
#include "app_fixture.h"

#include "../support/keyword_graph_server.h"
#include "../support/loopback_server.h"
#include "collect/text_between.h"

#include <QApplication>
#include <QElapsedTimer>

#include <httplib.h>

#include <memory>
#include <thread>

using namespace apptest;
using namespace testsupport;
using namespace std::chrono_literals;

namespace {

constexpr long kLimitMs = 400;

// Answers /s?wd=<keyword> with the keyword's page, or with a redirect to the address
// given for it, where a raw server misbehaves.
class FrontServer {
public:
    FrontServer(std::map<Text, Text> pages, std::map<Text, std::string> redirects)
        : m_pages(std::move(pages)), m_redirects(std::move(redirects)) {
        m_server.Get("/s", [this](const httplib::Request& request, httplib::Response& response) {
            const auto at = request.target.find("wd=");
            const Text keyword =
                at == std::string::npos ? Text() : PercentDecode(request.target.substr(at + 3));
            if (const auto redirect = m_redirects.find(keyword); redirect != m_redirects.end()) {
                response.status = 302;
                response.set_header("Location", redirect->second);
                return;
            }
            const auto page = m_pages.find(keyword);
            response.set_content(page == m_pages.end() ? PageWithoutRelated() : page->second,
                                 "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~FrontServer() {
        m_server.stop();
        m_thread.join();
    }
    int port() const { return m_port; }

private:
    std::map<Text, Text> m_pages;
    std::map<Text, std::string> m_redirects;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

std::string Local(int port, const char* scheme = "http") {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/s";
}

Text G(const char* utf8) {
    return FromUtf8(utf8);
}

} // namespace

class FaultsRunTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    ui::MainWindow* m_window = nullptr;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_window = OpenProgramWindow(m_dir);
    }

    void runSurvivesEveryKindOfBadPage() {
        const Text good = RelatedSearchPage({G("好一"), G("好二")});
        const std::string goodHead =
            HttpHead(200, {"Content-Length: " + std::to_string(good.size()), "Connection: close"});

        // Raw servers, one per way of failing.
        LoopbackServer resetBeforeHead(Reply().Reset());
        LoopbackServer resetInBody(
            Reply().Send(goodHead + good.substr(0, good.size() / 2)).Reset());
        LoopbackServer stalls(
            Reply().Send(goodHead + good.substr(0, 100)).Pause(3s).Send(good.substr(100)));
        LoopbackServer trickles(Reply().Send(goodHead).Trickle(good, 1ms));
        LoopbackServer endless(Reply()
                                   .Send(HttpHead(200, {"Connection: close"}))
                                   .Endless(std::string(64 * 1024, 'x')));
        LoopbackServer hangs(Reply().Hang());
        LoopbackServer notTls(Reply().Send(HttpResponse(200, good)));
        const std::string chunkedBody = [&] {
            std::string out;
            for (size_t at = 0; at < good.size(); at += 7) {
                const std::string piece = good.substr(at, 7);
                char size[16];
                std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                out += size + piece + "\r\n";
            }
            return out + "0\r\n\r\n";
        }();
        LoopbackServer chunked(Reply::Bytes(
            HttpHead(200, {"Transfer-Encoding: chunked", "Connection: close"}) + chunkedBody));
        LoopbackServer error500(Reply::Bytes(HttpResponse(500, RelatedSearchPage({G("五百")}))));
        LoopbackServer loop(Reply::Bytes(HttpRedirect("/again")));
        UnansweredPort unanswered;

        std::vector<Text> many;
        for (int i = 0; i < 10000; ++i)
            many.push_back("k" + std::to_string(i));
        // A zero byte before the block hides it; bytes that are not valid code page 936
        // are kept as they came; a lone lead byte at the block's end swallows the first
        // byte of the end marker, so that page has no block at all.
        const Text zeroFirst = Text("<p>\0</p>", 8) + RelatedSearchPage({"hidden"});
        const Text oddBytes = RelatedSearchPage({"\x80\xFF", "\xFE\x30ok"});
        const Text loneLead =
            TextBetween(RelatedSearchPage({"x"}), "", "</table></div>") + "\">tail\xB0";

        std::map<Text, Text> pages = {
            {"healthy", RelatedSearchPage({G("甲"), G("乙")})},
            {"many", RelatedSearchPage(many)},
            {"zero", zeroFirst},
            {"odd", oddBytes},
            {"lone", loneLead + "</table></div>"},
        };
        std::map<Text, std::string> redirects = {
            {"refused", Local(UnusedLoopbackPort())},
            {"unanswered", Local(unanswered.port())},
            {"hangs", Local(hangs.port())},
            {"reset_head", Local(resetBeforeHead.port())},
            {"reset_body", Local(resetInBody.port())},
            {"stalls", Local(stalls.port())},
            {"trickles", Local(trickles.port())},
            {"endless", Local(endless.port())},
            {"bad_tls", Local(notTls.port(), "https")},
            {"ftp", "ftp://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/"},
            {"chunked", Local(chunked.port())},
            {"error500", Local(error500.port())},
            {"loop", Local(loop.port())},
        };
        FrontServer front(pages, redirects);
        PointEngineAt(front.port(), kLimitMs);

        std::vector<Text> seeds;
        for (const auto& [keyword, page] : pages)
            seeds.push_back(keyword);
        for (const auto& [keyword, address] : redirects)
            seeds.push_back(keyword);
        ui::ListClear(ui::ListBoxName::列表框_相关关键字);
        ui::ListAppend(ui::ListBoxName::列表框_关键字, seeds);
        ui::SetEditText(ui::EditBoxName::编辑框_工作线程, "8");
        ui::SetEditText(ui::EditBoxName::编辑框_采集级别, "1");

        QElapsedTimer elapsed;
        elapsed.start();
        ClickStartStop(*m_window);
        // The page of 10,000 links alone takes 50 s: its task pauses 5 ms after posting
        // each child. Every bad page costs at most a few stall limits on top, in parallel.
        const qint64 bound = qint64(many.size()) * 5 + 30000;
        QTRY_VERIFY_WITH_TIMEOUT(RunCompleted(), int(bound) + 30000);
        QVERIFY2(elapsed.elapsed() < bound, qPrintable(QString::number(elapsed.elapsed())));

        std::set<Text> expected = {G("甲"),   G("乙"),    G("好一"),   G("好二"),
                                   G("五百"), "\x80\xFF", "\xFE\x30ok"};
        expected.insert(many.begin(), many.end());
        const std::vector<Text> items = ui::ListItems(ui::ListBoxName::列表框_相关关键字);
        const std::set<Text> got(items.begin(), items.end());
        for (const Text& keyword : expected)
            QVERIFY2(got.count(keyword), keyword.c_str());
        // trickles and chunked give the same two keywords, so after de-duplication the
        // list holds exactly the expected set.
        QCOMPARE(got.size(), expected.size());
        QCOMPARE(items.size(), expected.size());
        QVERIFY(!got.count("hidden"));
        QVERIFY(!got.count("x"));
    }
};

QTEST_MAIN(FaultsRunTest)
#include "faults_run_test.moc"
