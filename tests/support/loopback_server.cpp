#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace testsupport {

namespace {

// Every wait is cut into slices this long so that a stopping server is never stuck.
constexpr int kSliceMs = 20;

std::string StatusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

int ListenOnLoopback(int backlog, int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket");
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

void CloseWithReset(int fd) {
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

} // namespace

Reply Reply::Bytes(std::string bytes) {
    return Reply().Send(std::move(bytes));
}

Reply& Reply::Send(std::string bytes) {
    m_steps.push_back({Kind::Send, std::move(bytes), {}});
    return *this;
}

Reply& Reply::Pause(std::chrono::milliseconds duration) {
    m_steps.push_back({Kind::Pause, {}, duration});
    return *this;
}

Reply& Reply::Trickle(std::string bytes, std::chrono::milliseconds interval) {
    m_steps.push_back({Kind::Trickle, std::move(bytes), interval});
    return *this;
}

Reply& Reply::Endless(std::string chunk) {
    m_steps.push_back({Kind::Endless, std::move(chunk), {}});
    return *this;
}

Reply& Reply::Hang() {
    m_steps.push_back({Kind::Hang, {}, {}});
    return *this;
}

Reply& Reply::Reset() {
    m_steps.push_back({Kind::Reset, {}, {}});
    return *this;
}

Reply& Reply::Close() {
    m_steps.push_back({Kind::Close, {}, {}});
    return *this;
}

std::string HttpHead(int status, const std::vector<std::string>& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) + "\r\n";
    for (const std::string& header : headers)
        head += header + "\r\n";
    return head + "\r\n";
}

std::string HttpResponse(int status, const std::string& body,
                         const std::vector<std::string>& extraHeaders) {
    std::vector<std::string> headers = {"Content-Length: " + std::to_string(body.size()),
                                        "Connection: close"};
    headers.insert(headers.end(), extraHeaders.begin(), extraHeaders.end());
    return HttpHead(status, headers) + body;
}

std::string HttpRedirect(const std::string& location,
                         const std::vector<std::string>& extraHeaders) {
    std::vector<std::string> headers = {"Location: " + location};
    headers.insert(headers.end(), extraHeaders.begin(), extraHeaders.end());
    return HttpResponse(302, "moved", headers);
}

LoopbackServer::LoopbackServer(std::vector<Reply> replies) : m_replies(std::move(replies)) {
    if (m_replies.empty())
        m_replies.push_back(Reply().Close());
    m_listenFd = ListenOnLoopback(64, m_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    m_stop = true;
    m_acceptThread.join();
    // No thread is added once the accept loop has ended.
    for (std::thread& thread : m_connectionThreads)
        thread.join();
    ::close(m_listenFd);
}

int LoopbackServer::connectionCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_requests.size());
}

std::vector<std::string> LoopbackServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool LoopbackServer::WaitForConnections(int count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_accepted.wait_for(lock, limit,
                               [&] { return static_cast<int>(m_requests.size()) >= count; });
}

void LoopbackServer::AcceptLoop() {
    while (!m_stop) {
        pollfd listening{m_listenFd, POLLIN, 0};
        if (::poll(&listening, 1, kSliceMs) <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(m_mutex);
        const size_t index = m_requests.size();
        m_requests.emplace_back();
        m_connectionThreads.emplace_back([this, fd, index] { Serve(fd, index); });
        m_accepted.notify_all();
    }
}

void LoopbackServer::Serve(int fd, size_t index) {
    const Reply& reply = m_replies[std::min(index, m_replies.size() - 1)];
    bool closed = false;
    if (ReadRequestHead(fd, index)) {
        for (const Reply::Step& step : reply.steps()) {
            if (!RunStep(fd, step, closed))
                break;
        }
    }
    if (!closed)
        ::close(fd);
}

bool LoopbackServer::ReadRequestHead(int fd, size_t index) {
    char buffer[4096];
    while (!m_stop) {
        pollfd connection{fd, POLLIN, 0};
        const int ready = ::poll(&connection, 1, kSliceMs);
        if (ready < 0)
            return false;
        if (ready == 0)
            continue;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        std::lock_guard lock(m_mutex);
        std::string& request = m_requests[index];
        request.append(buffer, static_cast<size_t>(got));
        if (request.find("\r\n\r\n") != std::string::npos)
            return true;
    }
    return false;
}

bool LoopbackServer::SleepUnlessStopped(std::chrono::milliseconds duration) const {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!m_stop) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::milliseconds(0))
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            left, std::chrono::milliseconds(kSliceMs)));
    }
    return false;
}

bool LoopbackServer::SendAll(int fd, const std::string& bytes) const {
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (m_stop)
            return false;
        pollfd connection{fd, POLLOUT, 0};
        const int ready = ::poll(&connection, 1, kSliceMs);
        if (ready < 0)
            return false;
        if (ready == 0)
            continue;
        const ssize_t put = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put < 0)
            return false;
        sent += static_cast<size_t>(put);
    }
    return true;
}

bool LoopbackServer::RunStep(int fd, const Reply::Step& step, bool& closed) {
    switch (step.kind) {
    case Reply::Kind::Send:
        return SendAll(fd, step.bytes);
    case Reply::Kind::Pause:
        return SleepUnlessStopped(step.duration);
    case Reply::Kind::Trickle:
        for (const char byte : step.bytes) {
            if (!SleepUnlessStopped(step.duration) || !SendAll(fd, std::string(1, byte)))
                return false;
        }
        return true;
    case Reply::Kind::Endless:
        while (SendAll(fd, step.bytes)) {
        }
        return false;
    case Reply::Kind::Hang:
        while (!m_stop) {
            char buffer[4096];
            pollfd connection{fd, POLLIN, 0};
            const int ready = ::poll(&connection, 1, kSliceMs);
            if (ready < 0)
                return false;
            if (ready > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0)
                return false;
        }
        return false;
    case Reply::Kind::Reset:
        CloseWithReset(fd);
        closed = true;
        return false;
    case Reply::Kind::Close:
        return false;
    }
    return false;
}

int UnusedLoopbackPort() {
    int port = 0;
    ::close(ListenOnLoopback(1, port));
    return port;
}

UnansweredPort::UnansweredPort() {
    m_listenFd = ListenOnLoopback(0, m_port);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(m_port));
    // Connect until an attempt no longer completes: from then on the kernel drops every
    // new handshake for this port.
    for (int attempt = 0; attempt < 64; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        pollfd pending{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (::poll(&pending, 1, 200) == 1 &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
            m_fillers.push_back(fd);
            continue;
        }
        ::close(fd);
        break;
    }
}

UnansweredPort::~UnansweredPort() {
    for (const int fd : m_fillers)
        ::close(fd);
    ::close(m_listenFd);
}

} // namespace testsupport
