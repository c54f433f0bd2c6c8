#pragma once
// A small HTTP server on 127.0.0.1 for the tests: POSIX sockets, one thread per connection.
// It records every request (raw head, decoded query, body). TestServer lets a test decide per
// connection what (if anything) goes back; CameraServer answers each request through a handler,
// the way a camera's web server does.

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct HttpRequest {
    std::string method;
    std::string target;  // as sent: path and query
    std::string path;
    std::map<std::string, std::string> query;  // percent-decoded; the first occurrence counts
    std::string head;                          // the raw request head
    std::string body;
    bool hasBasic = false;
    std::string basicUser;
    std::string basicPassword;

    std::string Header(const std::string& name) const;  // case-insensitive; empty when absent
    std::string Param(const std::string& name) const;
};

// Decodes %XX (and "+" as a blank, as camera CGI decoders do).
std::string PercentDecode(const std::string& s);

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
    // Ends the answer and lets the client read it before the socket goes away.
    void Finish();

private:
    int fd_;
    const TestServer& server_;
};

class TestServer {
public:
    using Handler = std::function<void(Connection&, const std::string& head)>;
    using RequestHandler = std::function<void(Connection&, const HttpRequest&)>;

    // port 0: any free port. A server that cannot bind is not Listening().
    explicit TestServer(Handler handler, std::uint16_t port = 0);
    explicit TestServer(RequestHandler handler, std::uint16_t port = 0);
    virtual ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool Listening() const { return listen_ >= 0; }
    std::uint16_t Port() const { return port_; }
    std::string Url(std::string_view path) const;
    QString BaseUrl() const;  // "http://127.0.0.1:" + port
    // The requests so far as they came: head and the body Content-Length announced.
    std::vector<std::string> Requests() const;
    std::string LastRequest() const;
    std::vector<HttpRequest> ParsedRequests() const;
    size_t RequestCount() const;
    void ClearRequests();
    // Raised by a handler that wants to tell the test how far the client let it get.
    std::atomic<long long> progress{0};

    void Stop();
    int WakeFd() const { return wake_[0]; }

private:
    void Start(std::uint16_t port);
    void AcceptLoop();
    void Serve(int fd);

    RequestHandler handler_;
    int listen_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<HttpRequest> requests_;
    bool stopped_ = false;
};

// An answer: the bytes to send for a request.
using HttpHandler = std::function<std::string(const HttpRequest&)>;

class CameraServer : public TestServer {
public:
    explicit CameraServer(HttpHandler handler, std::uint16_t port = 0);
    std::vector<HttpRequest> Requests() const { return ParsedRequests(); }
};

// A canned answer with Content-Length and "Connection: close".
std::string Response(int status, std::string_view body, std::string_view extraHeaders = {});
// The same with a camera's content type and reason texts.
std::string HttpAnswer(int status, const std::string& body, const std::string& extraHeaders = {});

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
