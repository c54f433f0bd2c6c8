// Sockets of the stand-in: the HTTP listener (one thread per connection, so a silent or slow
// answer holds only its own connection), the control socket, and the fetch of checkurl.
#include "net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <thread>

namespace ddnscheck {

namespace {

constexpr std::size_t kMaxHead = 8192;        // longer request heads are refused
constexpr int kHeadTimeoutMs = 10000;         // a client that sends no complete head in time
constexpr int kSilentLimitMs = 600000;        // a silent answer holds the connection this long
constexpr std::size_t kMaxConnections = 64;   // more at once are closed unanswered
constexpr std::size_t kMaxControlLine = 4096;
constexpr std::size_t kMaxFetchRead = 4096;   // of the fetched page, only the status line counts

volatile sig_atomic_t gSignal = 0;
void OnSignal(int sig) { gSignal = sig; }

// Readable once the service stops: every wait polls it too.
int gStopPipe[2] = {-1, -1};
bool gVerbose = false;

std::int64_t NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void Say(const std::string& s) { std::fprintf(stderr, "ddns-check: %s\n", s.c_str()); }

// Waits until fd has events or the deadline passes; false on time-out or stop.
bool WaitFd(int fd, short events, std::int64_t deadline)
{
    for (;;) {
        const std::int64_t left = deadline - NowMs();
        if (left <= 0)
            return false;
        pollfd p[2] = {{fd, events, 0}, {gStopPipe[0], POLLIN, 0}};
        const int n = poll(p, 2, int(std::min<std::int64_t>(left, 1000)));
        if (n < 0 && errno != EINTR)
            return false;
        if (p[1].revents)
            return false;
        if (n > 0 && p[0].revents)
            return true;
    }
}

bool SendAll(int fd, const std::string& data, std::int64_t deadline)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += std::size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!WaitFd(fd, POLLOUT, deadline))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// Pauses ms, or less when the service stops; false when it stopped.
bool Pause(int ms)
{
    if (ms <= 0)
        return true;
    pollfd p{gStopPipe[0], POLLIN, 0};
    const std::int64_t deadline = NowMs() + ms;
    for (;;) {
        const std::int64_t left = deadline - NowMs();
        if (left <= 0)
            return true;
        const int n = poll(&p, 1, int(std::min<std::int64_t>(left, 1000)));
        if (n > 0)
            return false;
    }
}

std::string PeerOf(const sockaddr_in& a)
{
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
    return buf;
}

// checkurl's fetch: "http://A.B.C.D[:PORT][/path]". Names are not resolved: the namespace has
// no resolver of its own, and a lookup must not leave it. Returns the HTTP status, 0 for none.
int FetchStatus(const std::string& url, int timeoutMs, std::string& detail)
{
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0) {
        detail = "not an http URL";
        return 0;
    }
    const std::string rest = url.substr(scheme.size());
    const std::size_t slash = rest.find_first_of("/?#");
    const std::string authority = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
    if (path[0] != '/')
        path = "/" + path;
    std::string host = authority;
    int port = 80;
    if (const auto colon = authority.rfind(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        const std::string p = authority.substr(colon + 1);
        port = 0;
        for (char c : p) {
            if (c < '0' || c > '9' || port > 65535) {
                port = 0;
                break;
            }
            port = port * 10 + (c - '0');
        }
        if (p.empty() || port < 1 || port > 65535) {
            detail = "bad port";
            return 0;
        }
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(std::uint16_t(port));
    if (inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1) {
        detail = "not an IPv4 address";
        return 0;
    }
    for (char c : path) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            detail = "bad path";
            return 0;
        }
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        detail = "no socket";
        return 0;
    }
    const std::int64_t deadline = NowMs() + timeoutMs;
    int status = 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
        detail = std::string("connect: ") + std::strerror(errno);
    } else if (!WaitFd(fd, POLLOUT, deadline)) {
        detail = "connect timed out";
    } else {
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            detail = std::string("connect: ") + std::strerror(err);
        } else if (!SendAll(fd, "GET " + path + " HTTP/1.0\r\nHost: " + authority +
                                    "\r\nUser-Agent: ddns-check\r\nConnection: close\r\n\r\n",
                            deadline)) {
            detail = "send failed";
        } else {
            std::string in;
            while (in.find('\n') == std::string::npos && in.size() < kMaxFetchRead) {
                if (!WaitFd(fd, POLLIN, deadline))
                    break;
                char buf[1024];
                const ssize_t n = recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                in.append(buf, std::size_t(n));
            }
            // "HTTP/1.x NNN ..."
            if (in.size() >= 12 && in.compare(0, 7, "HTTP/1.") == 0 && in[8] == ' ' &&
                std::isdigit(static_cast<unsigned char>(in[9])) &&
                std::isdigit(static_cast<unsigned char>(in[10])) &&
                std::isdigit(static_cast<unsigned char>(in[11]))) {
                status = (in[9] - '0') * 100 + (in[10] - '0') * 10 + (in[11] - '0');
                detail = authority + " status " + std::to_string(status);
            } else {
                detail = in.empty() ? "no answer" : "not HTTP";
            }
        }
    }
    close(fd);
    return status;
}

void Respond(int fd, int status, const std::string& body)
{
    const std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
                             "\r\nContent-Type: text/html\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    SendAll(fd, head + body, NowMs() + kHeadTimeoutMs);
    shutdown(fd, SHUT_WR);
    // Let the client read the answer before the socket goes: wait for its close briefly.
    char buf[512];
    const std::int64_t deadline = NowMs() + 2000;
    while (WaitFd(fd, POLLIN, deadline) && recv(fd, buf, sizeof buf, 0) > 0) {
    }
}

// Value of a header of the request head (name without regard to case), trimmed; empty if none.
std::string HeaderValue(const std::string& head, const std::string& name)
{
    std::size_t pos = head.find('\n');
    while (pos != std::string::npos && pos + 1 < head.size()) {
        const std::size_t start = pos + 1;
        const std::size_t end = head.find('\n', start);
        std::string line = head.substr(start, end == std::string::npos ? std::string::npos
                                                                        : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto colon = line.find(':');
        if (colon != std::string::npos && colon == name.size()) {
            bool same = true;
            for (std::size_t i = 0; i < colon && same; ++i)
                same = std::tolower(static_cast<unsigned char>(line[i])) == name[i];
            if (same) {
                const auto b = line.find_first_not_of(" \t", colon + 1);
                return b == std::string::npos ? std::string() : line.substr(b);
            }
        }
        pos = end;
    }
    return std::string();
}

void ServeHttp(Service& service, int fd, std::string peer)
{
    std::string head;
    const std::int64_t deadline = NowMs() + kHeadTimeoutMs;
    while (head.find("\r\n\r\n") == std::string::npos && head.find("\n\n") == std::string::npos) {
        if (head.size() > kMaxHead || !WaitFd(fd, POLLIN, deadline)) {
            close(fd);
            return;
        }
        char buf[2048];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            close(fd);
            return;
        }
        head.append(buf, std::size_t(n));
    }
    const std::string line = head.substr(0, head.find_first_of("\r\n"));
    const auto sp1 = line.find(' ');
    const auto sp2 = line.find(' ', sp1 == std::string::npos ? 0 : sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos) {
        Respond(fd, 400, "<html><body>Bad Request</body></html>");
        close(fd);
        return;
    }
    const std::string method = line.substr(0, sp1);
    const std::string target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    Decision d = service.Handle(method, target, HeaderValue(head, "host"), peer);
    if (gVerbose)
        Say(peer + " " + Printable(line));

    switch (d.action) {
    case Answer::Kind::Silent: {
        // Hold the connection without a byte until the client gives up.
        char buf[512];
        const std::int64_t until = NowMs() + kSilentLimitMs;
        while (WaitFd(fd, POLLIN, until) && recv(fd, buf, sizeof buf, 0) > 0) {
        }
        close(fd);
        return;
    }
    case Answer::Kind::Close:
        close(fd);
        return;
    case Answer::Kind::Reset: {
        linger l{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close(fd);
        return;
    }
    default:
        break;
    }
    if (!d.fetchUrl.empty()) {
        std::string detail;
        const int status = FetchStatus(d.fetchUrl, service.Snapshot().fetchTimeoutMs, detail);
        service.Fetched(d, status, detail);
    }
    if (Pause(d.delayMs))
        Respond(fd, d.status, d.body);
    close(fd);
}

void ServeControl(Service& service, int fd, std::atomic<bool>& quit)
{
    std::string in;
    for (;;) {
        const auto nl = in.find('\n');
        if (nl != std::string::npos) {
            bool q = false;
            const std::string out = service.Control(in.substr(0, nl), q);
            in.erase(0, nl + 1);
            SendAll(fd, out, NowMs() + 5000);
            if (q) {
                quit = true;
                break;
            }
            continue;
        }
        if (in.size() > kMaxControlLine || !WaitFd(fd, POLLIN, NowMs() + 60000))
            break;
        char buf[1024];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        in.append(buf, std::size_t(n));
    }
    close(fd);
}

struct Worker {
    std::thread thread;
    std::atomic<bool> done{false};
};

int OpenControl(const std::string& path)
{
    sockaddr_un a{};
    if (path.size() >= sizeof a.sun_path) {
        Say("control path too long: " + path);
        return -1;
    }
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, path.c_str(), path.size());
    unlink(path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0) {
        Say("cannot open control socket " + path + ": " + std::strerror(errno));
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

// The last complete line of in, without its line break.
std::string LastLine(const std::string& in)
{
    const auto end = in.rfind('\n');
    if (end == std::string::npos)
        return std::string();
    const auto prev = end == 0 ? std::string::npos : in.rfind('\n', end - 1);
    const std::size_t start = prev == std::string::npos ? 0 : prev + 1;
    return in.substr(start, end - start);
}

}  // namespace

int RunService(Service& service, const Options& opt)
{
    gVerbose = opt.verbose;
    const Config cfg = service.Snapshot();
    if (pipe2(gStopPipe, O_CLOEXEC) != 0)
        return 2;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(std::uint16_t(cfg.port));
    if (inet_pton(AF_INET, cfg.listen.c_str(), &at.sin_addr) != 1) {
        Say("listen must be a dotted IPv4 address: " + cfg.listen);
        return 2;
    }
    const int lfd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (lfd >= 0)
        setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (lfd < 0 || bind(lfd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        listen(lfd, 64) != 0) {
        Say("cannot listen on " + cfg.listen + ":" + std::to_string(cfg.port) + ": " +
            std::strerror(errno));
        return 2;
    }
    int cfd = -1;
    if (!opt.controlPath.empty() && (cfd = OpenControl(opt.controlPath)) < 0)
        return 2;
    Say("listening on " + cfg.listen + ":" + std::to_string(cfg.port) +
        (cfg.fetchMode ? " (checkurl fetches)" : ""));

    std::list<std::unique_ptr<Worker>> workers;
    std::atomic<bool> quit{false};
    auto spawn = [&](auto&& fn) {
        auto w = std::make_unique<Worker>();
        Worker* raw = w.get();
        w->thread = std::thread([raw, fn]() mutable {
            fn();
            raw->done = true;
        });
        workers.push_back(std::move(w));
    };
    while (!gSignal && !quit) {
        pollfd p[2] = {{lfd, POLLIN, 0}, {cfd, POLLIN, 0}};
        const int n = poll(p, cfd >= 0 ? 2 : 1, 200);
        for (auto it = workers.begin(); it != workers.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = workers.erase(it);
            } else {
                ++it;
            }
        }
        if (n <= 0)
            continue;
        if (p[0].revents & POLLIN) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const int fd = accept4(lfd, reinterpret_cast<sockaddr*>(&from), &len,
                                   SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                if (workers.size() >= kMaxConnections) {
                    close(fd);
                } else {
                    const std::string peer = PeerOf(from);
                    spawn([&service, fd, peer] { ServeHttp(service, fd, peer); });
                }
            }
        }
        if (cfd >= 0 && (p[1].revents & POLLIN)) {
            const int fd = accept4(cfd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                if (workers.size() >= kMaxConnections)
                    close(fd);
                else
                    spawn([&service, fd, &quit] { ServeControl(service, fd, quit); });
            }
        }
    }
    // Wake every waiting connection, then wait for all of them.
    (void)!write(gStopPipe[1], "x", 1);
    for (auto& w : workers)
        w->thread.join();
    close(lfd);
    if (cfd >= 0) {
        close(cfd);
        unlink(opt.controlPath.c_str());
    }
    Say(gSignal ? "stopped by signal" : "stopped");
    return 0;
}

int RunControlClient(const std::string& path, const std::string& command)
{
    sockaddr_un a{};
    if (path.size() >= sizeof a.sun_path) {
        std::fputs("ddns-check: control path too long\n", stderr);
        return 2;
    }
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, path.c_str(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::fprintf(stderr, "ddns-check: cannot connect to %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return 2;
    }
    const std::string line = command + "\n";
    if (write(fd, line.data(), line.size()) != ssize_t(line.size())) {
        close(fd);
        return 2;
    }
    std::string in;
    int rc = 2;
    for (;;) {
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        in.append(buf, std::size_t(n));
        // The answer ends with its "ok" or "error" line.
        const std::string last = LastLine(in);
        if (last.compare(0, 2, "ok") == 0) {
            rc = 0;
            break;
        }
        if (last.compare(0, 5, "error") == 0) {
            rc = 1;
            break;
        }
    }
    close(fd);
    std::fputs(in.c_str(), stdout);
    return rc;
}

}  // namespace ddnscheck
