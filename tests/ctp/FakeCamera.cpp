#include "FakeCamera.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kPollMs = 20;

// A list of its own for the caller: handing out a shared copy would let a connection thread
// append into storage the caller still reads.
QList<QByteArray> Detached(const QList<QByteArray>& list)
{
    QList<QByteArray> copy;
    copy.reserve(list.size());
    for (const QByteArray& item : list)
        copy.append(QByteArray(item.constData(), item.size()));
    return copy;
}
constexpr int kMaxRequest = 64 * 1024;

// The argument value of "-name value" in a body, or empty.
QByteArray ArgValue(const QByteArray& body, const QByteArray& name)
{
    for (const QByteArray& line : body.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        if (l.startsWith("-" + name + " "))
            return l.mid(name.size() + 2);
    }
    return {};
}
}  // namespace

TFakeCamera::TFakeCamera()
{
    wifi_ = TDEVWiFi{1, "home net", "WPA2PSK", "AES", "s3cret", 1};
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("socket");
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 64) != 0)
        throw std::runtime_error("bind/listen");
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

TFakeCamera::~TFakeCamera()
{
    stop_ = true;
    acceptor_.join();
    ::close(listenFd_);
    std::vector<std::thread> threads;
    {
        const std::lock_guard<std::mutex> guard(lock_);
        for (int fd : open_)
            ::shutdown(fd, SHUT_RDWR);
        threads.swap(threads_);
    }
    for (std::thread& t : threads)
        t.join();
}

void TFakeCamera::SetHandler(THandler handler)
{
    const std::lock_guard<std::mutex> guard(lock_);
    handler_ = std::move(handler);
}

void TFakeCamera::SetSilentVerb(const QByteArray& verb)
{
    const std::lock_guard<std::mutex> guard(lock_);
    silentVerbs_.append(verb);
}

void TFakeCamera::DropConnections()
{
    const std::lock_guard<std::mutex> guard(lock_);
    for (int fd : open_)
        ::shutdown(fd, SHUT_RDWR);
}

QList<QByteArray> TFakeCamera::Requests() const
{
    const std::lock_guard<std::mutex> guard(lock_);
    return Detached(requests_);
}

QList<QByteArray> TFakeCamera::Verbs() const
{
    const std::lock_guard<std::mutex> guard(lock_);
    return Detached(verbs_);
}

TDEVWiFi TFakeCamera::StoredWiFi() const
{
    const std::lock_guard<std::mutex> guard(lock_);
    return wifi_;
}

QByteArray TFakeCamera::Ok(const QByteArray& body)
{
    return "CTP/1.0 200 OK\r\nContent-Length:" + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray TFakeCamera::ScanBody()
{
    return "home,00:11:22:33:44:55,1,0,2,2, 80\r\n"
           "cafe,66:77:88:99:AA:BB,0,0,0,0,35\r\n"
           ",00:00:00:00:00:01,1,0,1,1,10\r\n"
           "office,CC:DD:EE:FF:00:11,1,1,1,1,52\r\n";
}

TFakeCamera::TAnswer TFakeCamera::CameraAnswer(const TRequest& request)
{
    const std::lock_guard<std::mutex> guard(lock_);
    if (request.verb == "keepalive")
        return {Ok()};
    if (request.verb == "cfgusr") {
        const QByteArray expected = QByteArray(kUser) + ':' + kPassword;
        if (ArgValue(request.body, "login") == expected)
            return {Ok()};
        return {"CTP/1.0 401 Unauthorized\r\n\r\n"};
    }
    if (request.verb == "getoraystate")
        return {Ok("-status 3\r\n")};
    if (request.verb == "cfgwnic") {
        if (request.body.startsWith("-list\r\n")) {
            return {Ok("-enable " + QByteArray::number(wifi_.enable) + "\r\n-ssid " + wifi_.ssid.toUtf8()
                       + "\r\n-authmode " + wifi_.authmode.toUtf8() + "\r\n-encryptype "
                       + wifi_.encryptype.toUtf8() + "\r\n-key " + wifi_.key.toUtf8() + "\r\n-dhcpen "
                       + QByteArray::number(wifi_.dhcpen) + "\r\n")};
        }
        wifi_.enable = ArgValue(request.body, "enable").toInt();
        wifi_.ssid = QString::fromUtf8(ArgValue(request.body, "ssid"));
        wifi_.authmode = QString::fromUtf8(ArgValue(request.body, "authmode"));
        wifi_.encryptype = QString::fromUtf8(ArgValue(request.body, "encryptype"));
        wifi_.key = QString::fromUtf8(ArgValue(request.body, "key"));
        return {Ok()};
    }
    if (request.verb == "iwlist")
        return {Ok(ScanBody())};
    if (request.verb == "restart") {
        ++restarts_;
        TAnswer answer{Ok()};
        answer.closeAfter = true;
        return answer;
    }
    return {"CTP/1.0 400 Bad Request\r\n\r\n"};
}

bool TFakeCamera::SleepUnlessStopped(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (stop_)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !stop_;
}

bool TFakeCamera::Send(int fd, const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

void TFakeCamera::AcceptLoop()
{
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++accepted_;
        if (closeOnAccept_) {
            ::close(fd);
            continue;
        }
        const std::lock_guard<std::mutex> guard(lock_);
        open_.insert(fd);
        threads_.emplace_back([this, fd] { Serve(fd); });
    }
}

void TFakeCamera::Serve(int fd)
{
    QByteArray buffer;
    bool open = true;
    while (open && !stop_) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kPollMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        buffer.append(chunk, n);
        if (buffer.size() > kMaxRequest) {
            ++malformed_;
            break;
        }
        // Take every complete request: header, empty line, Content-Length bytes of body.
        for (;;) {
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                break;
            const QList<QByteArray> head = buffer.left(end).split('\n');
            const QByteArray first = head.value(0).trimmed();
            const QList<QByteArray> words = first.split(' ');
            qsizetype length = -1;
            for (qsizetype i = 1; i < head.size(); ++i) {
                const QByteArray h = head.at(i).trimmed();
                if (h.startsWith("Content-Length:"))
                    length = h.mid(15).toLongLong();
            }
            if (words.size() != 3 || words.at(0) != "CMD" || words.at(2) != "CTP/1.0" || length < 0) {
                ++malformed_;
                open = false;
                break;
            }
            if (buffer.size() < end + 4 + length)
                break;
            TRequest request{buffer.left(end + 4 + length), words.at(1), buffer.mid(end + 4, length)};
            buffer.remove(0, end + 4 + length);
            if (!buffer.isEmpty())
                ++pipelined_;

            THandler handler;
            bool silent;
            {
                const std::lock_guard<std::mutex> guard(lock_);
                requests_.append(request.raw);
                verbs_.append(request.verb);
                handler = handler_;
                silent = silentVerbs_.contains(request.verb);
            }
            if (silent)
                continue;
            const TAnswer answer = handler ? handler(request) : CameraAnswer(request);
            if (answer.silent)
                continue;
            if (answer.delayMs && !SleepUnlessStopped(answer.delayMs)) {
                open = false;
                break;
            }
            if (!Send(fd, answer.bytes)) {
                open = false;
                break;
            }
            if (!answer.more.isEmpty()) {
                if (!SleepUnlessStopped(answer.moreDelayMs) || !Send(fd, answer.more)) {
                    open = false;
                    break;
                }
            }
            ++answersSent_;
            if (answer.closeAfter) {
                if (request.verb == "restart" && !handler)
                    DropConnections();
                open = false;
                break;
            }
        }
    }
    const std::lock_guard<std::mutex> guard(lock_);
    open_.erase(fd);
    ::close(fd);
}
