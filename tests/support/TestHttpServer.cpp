#include "TestHttpServer.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {

// A request head longer than this is taken as it is; nobody's client sends such heads.
constexpr size_t kMaxHead = 65536;

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int BoundSocket(std::uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in a = Loopback(0);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        throw std::runtime_error("bind failed");
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

void ParseHead(HttpRequest& r)
{
    const size_t lineEnd = r.head.find("\r\n");
    const std::string line = r.head.substr(0, lineEnd);
    const size_t sp1 = line.find(' ');
    const size_t sp2 = line.find(' ', sp1 == std::string::npos ? 0 : sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos)
        return;
    r.method = line.substr(0, sp1);
    r.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const size_t q = r.target.find('?');
    r.path = r.target.substr(0, q);
    if (q != std::string::npos) {
        const std::string query = r.target.substr(q + 1);
        size_t at = 0;
        while (at <= query.size()) {
            size_t amp = query.find('&', at);
            if (amp == std::string::npos)
                amp = query.size();
            const std::string pair = query.substr(at, amp - at);
            const size_t eq = pair.find('=');
            const std::string key = PercentDecode(pair.substr(0, eq));
            const std::string value = eq == std::string::npos ? "" : PercentDecode(pair.substr(eq + 1));
            r.query.emplace(key, value);
            at = amp + 1;
        }
    }
    const std::string auth = r.Header("Authorization");
    if (auth.rfind("Basic ", 0) == 0) {
        const QByteArray decoded = QByteArray::fromBase64(QByteArray::fromStdString(auth.substr(6)));
        const qsizetype colon = decoded.indexOf(':');
        if (colon >= 0) {
            r.hasBasic = true;
            r.basicUser = decoded.left(colon).toStdString();
            r.basicPassword = decoded.mid(colon + 1).toStdString();
        }
    }
}

}  // namespace

std::string HttpRequest::Header(const std::string& name) const
{
    const std::string want = Lower(name) + ":";
    size_t at = head.find("\r\n");
    while (at != std::string::npos && at + 2 < head.size()) {
        const size_t end = head.find("\r\n", at + 2);
        const std::string line =
            head.substr(at + 2, end == std::string::npos ? std::string::npos : end - at - 2);
        if (Lower(line.substr(0, want.size())) == want) {
            size_t v = want.size();
            while (v < line.size() && line[v] == ' ')
                ++v;
            return line.substr(v);
        }
        at = end;
    }
    return std::string();
}

std::string HttpRequest::Param(const std::string& name) const
{
    const auto it = query.find(name);
    return it == query.end() ? std::string() : it->second;
}

std::string PercentDecode(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit((unsigned char)s[i + 1]) &&
            std::isxdigit((unsigned char)s[i + 2])) {
            out.push_back(char(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else if (s[i] == '+') {
            out.push_back(' ');
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

bool Connection::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

bool Connection::Pause(int ms)
{
    pollfd p{server_.WakeFd(), POLLIN, 0};
    return ::poll(&p, 1, ms) == 0;
}

void Connection::HoldUntilStop()
{
    while (Pause(1000)) {
    }
}

void Connection::Finish()
{
    ::shutdown(fd_, SHUT_WR);
    char buf[4096];
    pollfd p{fd_, POLLIN, 0};
    while (::poll(&p, 1, 200) > 0 && ::recv(fd_, buf, sizeof buf, 0) > 0) {
    }
}

TestServer::TestServer(Handler handler, std::uint16_t port)
    : handler_([h = std::move(handler)](Connection& c, const HttpRequest& r) { h(c, r.head); })
{
    Start(port);
}

TestServer::TestServer(RequestHandler handler, std::uint16_t port) : handler_(std::move(handler))
{
    Start(port);
}

void TestServer::Start(std::uint16_t port)
{
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = Loopback(port);
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 64) != 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
        if (listen_ >= 0)
            ::close(listen_);
        listen_ = -1;
        return;
    }
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

TestServer::~TestServer()
{
    if (listen_ < 0)
        return;
    Stop();
    ::close(listen_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void TestServer::Stop()
{
    {
        std::lock_guard lock(mutex_);
        if (stopped_ || listen_ < 0)
            return;
        stopped_ = true;
    }
    // Never read, so the pipe stays readable and every waiter sees it.
    (void)!::write(wake_[1], "x", 1);
    acceptor_.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(connections_);
    }
    for (auto& t : threads)
        t.join();
}

std::string TestServer::Url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

QString TestServer::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

std::vector<std::string> TestServer::Requests() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> raw;
    for (const HttpRequest& r : requests_)
        raw.push_back(r.head + r.body);
    return raw;
}

std::string TestServer::LastRequest() const
{
    std::lock_guard lock(mutex_);
    return requests_.empty() ? std::string() : requests_.back().head + requests_.back().body;
}

std::vector<HttpRequest> TestServer::ParsedRequests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

size_t TestServer::RequestCount() const
{
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void TestServer::ClearRequests()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void TestServer::AcceptLoop()
{
    for (;;) {
        pollfd p[2] = {{listen_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR)
            return;
        if (p[1].revents & POLLIN)
            return;
        if (!(p[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd] { Serve(fd); });
    }
}

void TestServer::Serve(int fd)
{
    // The head, then as much body as its Content-Length announces.
    std::string data;
    char buf[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    size_t headEnd = std::string::npos;
    size_t want = 0;
    for (;;) {
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                HttpRequest probe;
                probe.head = data.substr(0, headEnd + 4);
                const std::string length = probe.Header("Content-Length");
                want = headEnd + 4 + (length.empty() ? 0 : std::stoul(length));
            } else if (data.size() >= kMaxHead) {
                break;
            }
        }
        if (headEnd != std::string::npos && data.size() >= want)
            break;
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   deadline - std::chrono::steady_clock::now())
                                   .count();
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (left <= 0 || ::poll(p, 2, int(left)) <= 0 || (p[1].revents & POLLIN))
            break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        data.append(buf, size_t(n));
    }
    HttpRequest r;
    if (headEnd != std::string::npos) {
        r.head = data.substr(0, headEnd + 4);
        r.body = data.substr(headEnd + 4);
        ParseHead(r);
    } else {
        r.head = data;
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(r);
    }
    Connection c(fd, *this);
    handler_(c, r);
    ::close(fd);
}

CameraServer::CameraServer(HttpHandler handler, std::uint16_t port)
    : TestServer(RequestHandler([h = std::move(handler)](Connection& c, const HttpRequest& r) {
                     c.Send(h(r));
                     c.Finish();
                 }),
                 port)
{
}

std::string Response(int status, std::string_view body, std::string_view extraHeaders)
{
    std::string r = "HTTP/1.1 " + std::to_string(status) + " Canned\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n";
    r += extraHeaders;
    r += "\r\n";
    r += body;
    return r;
}

std::string HttpAnswer(int status, const std::string& body, const std::string& extraHeaders)
{
    std::string r = "HTTP/1.1 " + std::to_string(status) + (status < 400 ? " OK" : " Error") +
                    "\r\nContent-Type: text/html\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n";
    r += extraHeaders;
    r += "\r\n";
    r += body;
    return r;
}

std::uint16_t RefusedPort()
{
    std::uint16_t port = 0;
    ::close(BoundSocket(port));  // bound but never listening: nothing else takes it in our namespace
    return port;
}

BlackHoleListener::BlackHoleListener()
{
    listen_ = BoundSocket(port_);
    if (::listen(listen_, 0) != 0)
        throw std::runtime_error("listen failed");
    // Two non-blocking connects fill the queue of a backlog-0 listener; SYNs beyond it are
    // dropped, so the next client waits for its connect time-out.
    for (int i = 0; i < 2; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(port_);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers_.push_back(fd);
    }
    ::usleep(50 * 1000);
}

BlackHoleListener::~BlackHoleListener()
{
    for (const int fd : fillers_)
        ::close(fd);
    ::close(listen_);
}
