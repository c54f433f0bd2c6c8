#pragma once
// A small HTTP server on 127.0.0.1 for the client tests: it records every raw request (head,
// and the body that Content-Length announces) and lets each test decide, per connection, what
// (if anything) goes back.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class TestServer;

// What a connection handler may do with its accepted socket.
class Connection {
public:
    Connection(int fd, const TestServer& server) : fd_(fd), server_(server) {}
    // False once the peer is gone.
    bool Send(std::string_view bytes);
    // Sleeps up to ms; false when the server is being stopped meanwhile.
    bool Pause(int ms);
    // Holds the connection open, silent, until the server stops.
    void HoldUntilStop();

private:
    int fd_;
    const TestServer& server_;
};

class TestServer {
public:
    using Handler = std::function<void(Connection&, const std::string& request)>;

    explicit TestServer(Handler handler);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string Url(std::string_view path) const;
    std::vector<std::string> Requests() const;
    std::string LastRequest() const;
    // Raised by a handler that wants to tell the test how far the client let it get.
    std::atomic<long long> progress{0};

    void Stop();
    int WakeFd() const { return wake_[0]; }

private:
    void AcceptLoop();
    void Serve(int fd);

    Handler handler_;
    int listen_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<std::string> requests_;
    bool stopped_ = false;
};

// A canned answer with Content-Length and "Connection: close".
std::string Response(int status, std::string_view body, std::string_view extraHeaders = {});

// A port on 127.0.0.1 on which nothing listens, so a connect is refused at once.
std::uint16_t RefusedPort();

// A listener whose accept queue is full and never drained: a further connect hangs in SYN-SENT.
class BlackHoleListener {
public:
    BlackHoleListener();
    ~BlackHoleListener();
    BlackHoleListener(const BlackHoleListener&) = delete;
    BlackHoleListener& operator=(const BlackHoleListener&) = delete;
    std::uint16_t Port() const { return port_; }

private:
    int listen_ = -1;
    std::vector<int> fillers_;
    std::uint16_t port_ = 0;
};
