#include "FakeCamera.h"

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

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool SendAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
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
            r.query.emplace(key, value);  // the first occurrence counts
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
        const std::string line = head.substr(at + 2, end == std::string::npos ? std::string::npos : end - at - 2);
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

CameraServer::CameraServer(HttpHandler handler, std::uint16_t port) : handler_(std::move(handler))
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

CameraServer::~CameraServer()
{
    if (listen_ < 0)
        return;
    (void)!::write(wake_[1], "x", 1);
    acceptor_.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(connections_);
    }
    for (auto& t : threads)
        t.join();
    ::close(listen_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

QString CameraServer::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

std::vector<HttpRequest> CameraServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

size_t CameraServer::RequestCount() const
{
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void CameraServer::ClearRequests()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void CameraServer::AcceptLoop()
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

void CameraServer::Serve(int fd)
{
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
                probe.head = data.substr(0, headEnd);
                const std::string length = probe.Header("Content-Length");
                want = headEnd + 4 + (length.empty() ? 0 : std::stoul(length));
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
        r.head = data.substr(0, headEnd);
        r.body = data.substr(headEnd + 4);
        ParseHead(r);
    } else {
        r.head = data;
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(r);
    }
    SendAll(fd, handler_(r));
    ::shutdown(fd, SHUT_WR);
    // Let the client read the answer before the socket goes away.
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 200) > 0 && ::recv(fd, buf, sizeof buf, 0) > 0) {
    }
    ::close(fd);
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
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);  // bound but never listening: nothing else takes it in our namespace
    return ntohs(a.sin_port);
}

HttpHandler Family9Pages::Handler()
{
    return [this](const HttpRequest& r) { return Answer(r); };
}

bool Family9Pages::QueryCredentialsOk(const HttpRequest& r, const char* userKey,
                                      const char* pwdKey) const
{
    return r.query.count(userKey) && r.Param(userKey) == user && r.Param(pwdKey) == password;
}

bool Family9Pages::BasicOk(const HttpRequest& r) const
{
    return r.hasBasic && r.basicUser == user && r.basicPassword == password;
}

std::string Family9Pages::Answer(const HttpRequest& r)
{
    static const std::string kAuthFailed = "Auth Failed\r\n";
    static const std::string kUnauthorized = "WWW-Authenticate: Basic realm=\"ipcam\"\r\n";
    const std::string& p = r.path;
    // Some firmware serves its pages under a doubled slash as well.
    const std::string page = p.substr(p.find_first_not_of('/') == std::string::npos
                                          ? p.size()
                                          : p.find_first_not_of('/'));
    if (page == "get_params.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? params : kAuthFailed);
    if (page == "wifi_scan.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? "ok.\r\n" : kAuthFailed);
    if (page == "get_wifi_scan_result.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? scanResult : kAuthFailed);
    if (page == "set_wifi.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? setWiFiAnswer : kAuthFailed);
    if (page == "reboot.cgi")
        return BasicOk(r) ? HttpAnswer(200, "<html>reboot</html>")
                          : HttpAnswer(401, "Unauthorized", kUnauthorized);
    if (page == "get_factory_param.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? factory : kAuthFailed);
    if (page == "set_ddns.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "loginuse", "loginpas") ? setDdnsAnswer
                                                                             : kAuthFailed);
    if (page == "get_status.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd")
                                   ? "var sys_ver=\"" + version + "\";\r\nvar id=\"T1\";\r\n"
                                   : kAuthFailed);
    if (page == "upgrade_firmware.cgi" || page == "upgrade_htmls.cgi") {
        if (r.method != "POST" || !BasicOk(r) || !QueryCredentialsOk(r, "loginuse", "loginpas"))
            return HttpAnswer(401, "Unauthorized", kUnauthorized);
        return HttpAnswer(uploadStatus, "<html>upgrading</html>");
    }
    return HttpAnswer(404, "Not Found");
}
