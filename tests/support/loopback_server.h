#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// What the server does on one connection after it has read the request head (up to the
// blank line). Steps run in order; after the last one the connection is closed in an
// orderly way unless a step ended it otherwise.
class Reply {
public:
    enum class Kind { Send, Pause, Trickle, Endless, Hang, Reset, Close };
    struct Step {
        Kind kind;
        std::string bytes;
        std::chrono::milliseconds duration{0};
    };

    // Answers with these bytes, then closes.
    static Reply Bytes(std::string bytes);

    Reply& Send(std::string bytes);
    Reply& Pause(std::chrono::milliseconds duration);
    // One byte every interval.
    Reply& Trickle(std::string bytes, std::chrono::milliseconds interval);
    // chunk again and again until the peer goes away or the server stops.
    Reply& Endless(std::string chunk);
    // Sends nothing more and keeps the connection open until the peer closes it or the
    // server stops.
    Reply& Hang();
    // Ends the connection with a reset (SO_LINGER 0) instead of an orderly close.
    Reply& Reset();
    Reply& Close();

    const std::vector<Step>& steps() const { return m_steps; }

private:
    std::vector<Step> m_steps;
};

// An HTTP/1.1 reply with Content-Length and "Connection: close"; extra header lines are
// given without their CR LF.
std::string HttpResponse(int status, const std::string& body,
                         const std::vector<std::string>& extraHeaders = {});
// Only the head (status line, headers, blank line), for bodies sent by later steps.
std::string HttpHead(int status, const std::vector<std::string>& headers);
std::string HttpRedirect(const std::string& location,
                         const std::vector<std::string>& extraHeaders = {});

// A raw TCP server on 127.0.0.1 with an ephemeral port. Connection i gets replies[i],
// connections past the last reply get the last one again. Every byte a client sends
// is kept, per connection in the order the connections were accepted. Each connection
// is served on its own thread; the destructor stops everything within a fraction of a
// second, whatever the steps were doing.
class LoopbackServer {
public:
    explicit LoopbackServer(std::vector<Reply> replies);
    explicit LoopbackServer(Reply reply) : LoopbackServer(std::vector<Reply>{std::move(reply)}) {}
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return m_port; }
    int connectionCount() const;
    // What each connection has sent so far.
    std::vector<std::string> requests() const;
    // Waits until count connections have been accepted; false when the time ran out.
    bool WaitForConnections(int count, std::chrono::milliseconds limit) const;

private:
    void AcceptLoop();
    void Serve(int fd, size_t index);
    bool ReadRequestHead(int fd, size_t index);
    bool RunStep(int fd, const Reply::Step& step, bool& closed);
    bool SleepUnlessStopped(std::chrono::milliseconds duration) const;
    bool SendAll(int fd, const std::string& bytes) const;

    std::vector<Reply> m_replies;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptThread;

    mutable std::mutex m_mutex; // guards m_requests and m_connectionThreads
    mutable std::condition_variable m_accepted;
    std::vector<std::string> m_requests;
    std::vector<std::thread> m_connectionThreads;
};

// A loopback port on which nothing listens, so connecting to it is refused.
int UnusedLoopbackPort();

// A loopback port whose accept queue is full and never drained: further connection
// attempts neither complete nor get refused, they wait until the client gives up.
class UnansweredPort {
public:
    UnansweredPort();
    ~UnansweredPort();
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;
    int port() const { return m_port; }

private:
    int m_listenFd = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

} // namespace testsupport
