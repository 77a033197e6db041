#include "collect/search_request.h"

#include "collect/cut_off.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace {

constexpr char kUserAgent[] = "Mozilla/5.0 (Windows; U; Windows NT 6.1; en-US) "
                              "AppleWebKit/534.10 (KHTML, like Gecko) Chrome/7.0.536.2 "
                              "Safari/534.10";
constexpr char kSearchPath[] = "/s?wd=";
constexpr long kWaitLimitMs = 8000;
constexpr long kMaxRedirects = 10;
// The request target has to fit the 2048-byte path buffer the page was always
// requested through; a longer one is never sent.
constexpr size_t kMaxPathAndQuery = 2047;
// A result page is a few hundred kilobytes; a body past this is not a page but a
// runaway reply, and keeping it would only exhaust memory.
constexpr size_t kMaxPageBytes = size_t{16} * 1024 * 1024;
// How often a transfer in progress looks at the cut-off flag and at the stall clock.
constexpr int kPollIntervalMs = 50;

std::once_flag httpClientInitialised;

std::mutex endpointMutex; // guards testEndpoint
std::optional<SearchEndpointForTesting> testEndpoint;

struct WaitLimits {
    long connectMs = kWaitLimitMs;
    long stallMs = kWaitLimitMs;
};

// Bytes left as they are; every other byte is escaped.
bool IsPlainByte(unsigned char byte) {
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= 'a' && byte <= 'z') || byte == '*' || byte == '-' || byte == '.' ||
           byte == '@' || byte == '_';
}

using Clock = std::chrono::steady_clock;

// What one transfer has received so far, and when it last saw the peer do anything.
// A connection being set up is limited by curl's connect limit; from the moment it is
// ready to carry the request, the stall limit applies instead.
struct Transfer {
    Text body;
    bool tooLarge = false;
    bool connecting = true;
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastDownloaded = 0;
    curl_off_t lastUploaded = 0;

    void NoteActivity() { lastActivity = Clock::now(); }
    bool Stalled(long stallMs) const {
        return !connecting && Clock::now() - lastActivity > std::chrono::milliseconds(stallMs);
    }
};

size_t OnBody(char* data, size_t size, size_t count, void* userdata) {
    auto* transfer = static_cast<Transfer*>(userdata);
    const size_t length = size * count;
    transfer->NoteActivity();
    if (IsCurrentWorkCut())
        return 0;
    if (length > kMaxPageBytes - transfer->body.size()) {
        transfer->tooLarge = true;
        return 0;
    }
    transfer->body.append(data, length);
    return length;
}

size_t OnHeader(char*, size_t size, size_t count, void* userdata) {
    static_cast<Transfer*>(userdata)->NoteActivity();
    return size * count;
}

// Bytes that curl reads without handing them on (chunk framing, the body of a reply
// that is followed elsewhere) still show that the peer is alive.
int OnProgress(void* userdata, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto* transfer = static_cast<Transfer*>(userdata);
    if (downloaded != transfer->lastDownloaded || uploaded != transfer->lastUploaded) {
        transfer->lastDownloaded = downloaded;
        transfer->lastUploaded = uploaded;
        transfer->NoteActivity();
    }
    return IsCurrentWorkCut() ? 1 : 0;
}

int OnNewSocket(void* userdata, curl_socket_t, curlsocktype) {
    static_cast<Transfer*>(userdata)->connecting = true;
    return CURL_SOCKOPT_OK;
}

int OnConnected(void* userdata, char*, char*, int, int) {
    auto* transfer = static_cast<Transfer*>(userdata);
    transfer->connecting = false;
    transfer->NoteActivity();
    return IsCurrentWorkCut() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// Keeps the easy handle attached to the multi handle for exactly the lifetime of this
// object, which curl requires to be shorter than both handles'.
class Attachment {
public:
    Attachment(CURLM* multi, CURL* easy) : m_multi(multi), m_easy(easy) {
        m_attached = curl_multi_add_handle(multi, easy) == CURLM_OK;
    }
    ~Attachment() {
        if (m_attached)
            curl_multi_remove_handle(m_multi, m_easy);
    }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;
    bool attached() const { return m_attached; }

private:
    CURLM* m_multi;
    CURL* m_easy;
    bool m_attached = false;
};

Slist AppendTo(Slist list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown)
        return nullptr; // list is freed with the old pointer
    list.release();
    return Slist(grown);
}

bool Configure(CURL* easy, const Text& address, Transfer& transfer, const WaitLimits& limits,
               curl_slist* headers, curl_slist* connectTo) {
    bool ok = true;
    auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_URL, address.c_str());
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_USERAGENT, kUserAgent);
    set(CURLOPT_HTTPHEADER, headers);
    // Body bytes exactly as sent: nothing asks for compression, nothing decodes it.
    set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
    // Straight to the host whatever the environment says about proxies.
    set(CURLOPT_PROXY, "");
    set(CURLOPT_NOPROXY, "*");
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
    set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxPageBytes));
    // Worker threads: no signals for time-outs.
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_WRITEFUNCTION, OnBody);
    set(CURLOPT_WRITEDATA, &transfer);
    set(CURLOPT_HEADERFUNCTION, OnHeader);
    set(CURLOPT_HEADERDATA, &transfer);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, OnProgress);
    set(CURLOPT_XFERINFODATA, &transfer);
    set(CURLOPT_SOCKOPTFUNCTION, OnNewSocket);
    set(CURLOPT_SOCKOPTDATA, &transfer);
    set(CURLOPT_PREREQFUNCTION, OnConnected);
    set(CURLOPT_PREREQDATA, &transfer);
    if (connectTo)
        set(CURLOPT_CONNECT_TO, connectTo);
    // The cookie engine stays off (no CURLOPT_COOKIEFILE), so a Set-Cookie is dropped
    // and no hop of a redirect sends one.
    return ok;
}

// Runs the transfer on the calling thread, looking at the cut-off flag and the stall
// clock between rounds; true when curl finished it without an error.
bool Perform(CURL* easy, Transfer& transfer, const WaitLimits& limits) {
    MultiHandle multi(curl_multi_init());
    if (!multi)
        return false;
    Attachment attachment(multi.get(), easy);
    if (!attachment.attached())
        return false;

    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK)
            return false;
        if (running == 0)
            break;
        if (IsCurrentWorkCut() || transfer.Stalled(limits.stallMs))
            return false;
        if (curl_multi_poll(multi.get(), nullptr, 0, kPollIntervalMs, nullptr) != CURLM_OK)
            return false;
    }

    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            return message->data.result == CURLE_OK;
    }
    return false;
}

std::optional<SearchEndpointForTesting> CurrentTestEndpoint() {
    std::lock_guard lock(endpointMutex);
    return testEndpoint;
}

} // namespace

void InitHttpClient() {
    std::call_once(httpClientInitialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Text ByteToHex(unsigned char byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return Text{kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

Text EncodeKeyword(const Text& keyword) {
    Text encoded;
    encoded.reserve(keyword.size() * 3);
    for (const char c : keyword) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsPlainByte(byte)) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += ByteToHex(byte);
        }
    }
    return encoded;
}

Text SearchAddress(const Text& keyword) {
    return Text("http://") + kSearchHost + kSearchPath + EncodeKeyword(keyword);
}

Text FetchSearchPage(const Text& keyword) {
    const Text address = SearchAddress(keyword);
    const size_t pathStart = address.find('/', sizeof("http://") - 1);
    if (pathStart == Text::npos || address.size() - pathStart > kMaxPathAndQuery)
        return {};
    if (IsCurrentWorkCut())
        return {};

    InitHttpClient();
    WaitLimits limits;
    Slist connectTo;
    if (const auto endpoint = CurrentTestEndpoint()) {
        limits.connectMs = endpoint->connectTimeoutMs;
        limits.stallMs = endpoint->transferStallMs;
        const bool ipv6 = endpoint->host.find(':') != std::string::npos;
        const std::string host = ipv6 ? "[" + endpoint->host + "]" : endpoint->host;
        connectTo = AppendTo(nullptr, std::string(kSearchHost) + ":80:" + host + ":" +
                                          std::to_string(endpoint->port));
        if (!connectTo)
            return {};
    }

    Slist headers = AppendTo(nullptr, "Accept: */*");
    EasyHandle easy(curl_easy_init());
    if (!headers || !easy)
        return {};
    Transfer transfer;
    if (!Configure(easy.get(), address, transfer, limits, headers.get(), connectTo.get()))
        return {};
    if (!Perform(easy.get(), transfer, limits) || transfer.tooLarge)
        return {};
    return std::move(transfer.body);
}

void SetSearchEndpointForTesting(const SearchEndpointForTesting& endpoint) {
    std::lock_guard lock(endpointMutex);
    testEndpoint = endpoint;
}

void ClearSearchEndpointForTesting() {
    std::lock_guard lock(endpointMutex);
    testEndpoint.reset();
}
