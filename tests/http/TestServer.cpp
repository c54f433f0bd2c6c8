#include "TestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <stdexcept>

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int BoundSocket(std::uint16_t& port) {
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

// True when fd became readable within ms; false on time-out or when wake fired first.
bool WaitReadable(int fd, int wakeFd, int ms) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int n = ::poll(p, 2, ms);
    return n > 0 && !(p[1].revents & POLLIN) && (p[0].revents & (POLLIN | POLLHUP | POLLERR));
}

}  // namespace

bool Connection::Send(std::string_view bytes) {
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

bool Connection::Pause(int ms) {
    pollfd p{server_.WakeFd(), POLLIN, 0};
    return ::poll(&p, 1, ms) == 0;
}

void Connection::HoldUntilStop() {
    while (Pause(1000)) {
    }
}

TestServer::TestServer(Handler handler) : handler_(std::move(handler)) {
    listen_ = BoundSocket(port_);
    if (::listen(listen_, 64) != 0 || ::pipe2(wake_, O_CLOEXEC) != 0)
        throw std::runtime_error("listen failed");
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

TestServer::~TestServer() {
    Stop();
    ::close(listen_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void TestServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopped_)
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

std::string TestServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> TestServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string TestServer::LastRequest() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? std::string() : requests_.back();
}

void TestServer::AcceptLoop() {
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

void TestServer::Serve(int fd) {
    std::string request;
    char buf[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !WaitReadable(fd, wake_[0], int(left)))
            break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        request.append(buf, size_t(n));
    }
    // A body announced by Content-Length belongs to the request too (POST tests look at it).
    const size_t head = request.find("\r\n\r\n");
    size_t want = 0;
    if (head != std::string::npos) {
        std::string lower = request.substr(0, head);
        for (char& ch : lower)
            ch = char(std::tolower(static_cast<unsigned char>(ch)));
        const size_t at = lower.find("\r\ncontent-length:");
        if (at != std::string::npos)
            want = head + 4 + std::strtoul(lower.c_str() + at + 17, nullptr, 10);
    }
    while (want > request.size() && request.size() < (1u << 20)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !WaitReadable(fd, wake_[0], int(left)))
            break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        request.append(buf, size_t(n));
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    Connection c(fd, *this);
    handler_(c, request);
    ::close(fd);
}

std::string Response(int status, std::string_view body, std::string_view extraHeaders) {
    std::string r = "HTTP/1.1 " + std::to_string(status) + " Canned\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n";
    r += extraHeaders;
    r += "\r\n";
    r += body;
    return r;
}

std::uint16_t RefusedPort() {
    std::uint16_t port = 0;
    ::close(BoundSocket(port));  // bound but never listening: nothing else takes it in our namespace
    return port;
}

BlackHoleListener::BlackHoleListener() {
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

BlackHoleListener::~BlackHoleListener() {
    for (const int fd : fillers_)
        ::close(fd);
    ::close(listen_);
}
