// plugin-server: the router plug-in download server for tests and demos. Serves the files of
// one folder over HTTP/1.0 under /router/<name> (names matched without regard to case, as the
// program's platform did); anything else is 404. Runs only inside a private network namespace.
//
//   plugin-server --root DIR [--bind ADDR] [--port N] [--log FILE]
//
// Prints "listening on ADDR:PORT" once it accepts connections (port 0 picks a free one) and
// serves until it is killed. The log file gets one line per request: "GET /router/x 200".

#include "NetnsGuard.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <strings.h>

namespace {

constexpr int kRequestTimeoutMs = 5000;
constexpr std::size_t kMaxRequest = 8192;

std::string g_root;
std::string g_log;

void Log(const std::string& line) {
    if (g_log.empty())
        return;
    std::ofstream f(g_log, std::ios::app);
    f << line << "\n";
}

bool SendAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

void Respond(int fd, int status, const std::string& body) {
    const char* reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Bad Request";
    std::string head = "HTTP/1.0 " + std::to_string(status) + " " + reason +
                       "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    SendAll(fd, head.data(), head.size()) && SendAll(fd, body.data(), body.size());
}

// The file of root whose name equals name without regard to case; empty when none.
std::string FindFile(const std::string& name) {
    DIR* d = ::opendir(g_root.c_str());
    if (!d)
        return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            break;
        }
        if (found.empty() && ::strcasecmp(e->d_name, name.c_str()) == 0)
            found = e->d_name;
    }
    ::closedir(d);
    return found.empty() ? found : g_root + "/" + found;
}

void Serve(int fd) {
    std::string req;
    char chunk[1024];
    while (req.find("\r\n\r\n") == std::string::npos && req.size() < kMaxRequest) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kRequestTimeoutMs) <= 0)
            return;
        const ssize_t r = ::recv(fd, chunk, sizeof chunk, 0);
        if (r <= 0)
            return;
        req.append(chunk, std::size_t(r));
    }
    const std::string line = req.substr(0, req.find("\r\n"));
    std::istringstream in(line);
    std::string method, target;
    in >> method >> target;
    const std::string prefix = "/router/";
    const std::string name = target.rfind(prefix, 0) == 0 ? target.substr(prefix.size()) : std::string();
    int status = 404;
    std::string body;
    if (method != "GET") {
        status = 400;
    } else if (!name.empty() && name.find('/') == std::string::npos && name.find("..") == std::string::npos &&
               name.find('%') == std::string::npos && name.find('?') == std::string::npos) {
        const std::string path = FindFile(name);
        std::ifstream f(path, std::ios::binary);
        if (!path.empty() && f) {
            std::ostringstream s;
            s << f.rdbuf();
            body = s.str();
            status = 200;
        }
    }
    Log(method + " " + target + " " + std::to_string(status));
    Respond(fd, status, status == 200 ? body : std::string("not found\n"));
}

}  // namespace

int main(int argc, char** argv) {
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    std::string bind = "127.0.0.1";
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--root" && more) g_root = argv[++i];
        else if (a == "--bind" && more) bind = argv[++i];
        else if (a == "--port" && more) port = std::atoi(argv[++i]);
        else if (a == "--log" && more) g_log = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s --root DIR [--bind ADDR] [--port N] [--log FILE]\n", argv[0]);
            return 2;
        }
    }
    if (g_root.empty() || port < 0 || port > 65535) {
        std::fprintf(stderr, "%s: --root is needed, the port must be 0 to 65535\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    if (::inet_pton(AF_INET, bind.c_str(), &a.sin_addr) != 1 ||
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 16) != 0) {
        std::fprintf(stderr, "%s: cannot listen on %s:%d: %s\n", argv[0], bind.c_str(), port, std::strerror(errno));
        return 1;
    }
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    std::printf("listening on %s:%d\n", bind.c_str(), int(ntohs(a.sin_port)));
    std::fflush(stdout);
    for (;;) {
        const int c = ::accept4(s, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return 1;
        }
        Serve(c);
        ::close(c);
    }
}
