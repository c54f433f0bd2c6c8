#include "FakeUploadCamera.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int kPollMs = 20;
constexpr int kMaxHead = 64 * 1024;

// Copies that share nothing with the lists the server thread appends to.
template <typename T>
QList<T> Detached(const QList<T>& list)
{
    QList<T> copy;
    copy.reserve(list.size());
    for (const T& item : list)
        copy.append(item);
    return copy;
}
}  // namespace

TFakeUploadCamera::TFakeUploadCamera(TMode firstMode) : mode_(firstMode)
{
    exitAnswer_ = Ok();
    if (!Listen(64))
        throw std::runtime_error("bind/listen");
    server_ = std::thread([this] { Run(); });
}

TFakeUploadCamera::~TFakeUploadCamera()
{
    stop_ = true;
    server_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

bool TFakeUploadCamera::Listen(int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port_);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listenFd_ = fd;
    return true;
}

void TFakeUploadCamera::SetLoginAnswer(std::optional<QByteArray> answer)
{
    const std::lock_guard<std::mutex> guard(lock_);
    loginDefault_ = false;
    loginAnswer_ = std::move(answer);
}

void TFakeUploadCamera::SetExitAnswer(std::optional<QByteArray> answer)
{
    const std::lock_guard<std::mutex> guard(lock_);
    exitAnswer_ = std::move(answer);
}

void TFakeUploadCamera::SetUploadHandler(TUploadHandler handler)
{
    const std::lock_guard<std::mutex> guard(lock_);
    uploadHandler_ = std::move(handler);
}

void TFakeUploadCamera::SetRestart(TRestart how, int downMs)
{
    const std::lock_guard<std::mutex> guard(lock_);
    restart_ = how;
    downMs_ = downMs;
}

QList<QByteArray> TFakeUploadCamera::CtpRequests() const
{
    const std::lock_guard<std::mutex> guard(lock_);
    return Detached(ctpRequests_);
}

QList<TFakeUploadCamera::TMessage> TFakeUploadCamera::UploadMessages() const
{
    const std::lock_guard<std::mutex> guard(lock_);
    return Detached(messages_);
}

std::optional<std::chrono::steady_clock::time_point> TFakeUploadCamera::BackAt() const
{
    const std::lock_guard<std::mutex> guard(lock_);
    return backAt_;
}

int TFakeUploadCamera::WaitReadable(int fd, int ms) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kPollMs);
        if (ready < 0 && errno != EINTR)
            return -1;
        if (ready > 0)
            return 1;
        if (ms >= 0 && std::chrono::steady_clock::now() >= until)
            return 0;
    }
    return -1;
}

bool TFakeUploadCamera::Sleep(int ms) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && (ms < 0 || std::chrono::steady_clock::now() < until))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return !stop_;
}

bool TFakeUploadCamera::SendAll(int fd, const QByteArray& bytes)
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

void TFakeUploadCamera::Run()
{
    while (!stop_) {
        if (WaitReadable(listenFd_, kPollMs) != 1)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++accepted_;
        switch (mode_) {
        case TMode::Ctp:
            ServeCtp(fd);
            break;
        case TMode::Upload:
            ServeUpload(fd);
            uploadEnded_ = true;
            mode_ = TMode::Probe;
            Restart();
            break;
        case TMode::Probe:
            ServeProbe(fd);
            break;
        }
        if (fd >= 0)
            ::close(fd);
    }
}

void TFakeUploadCamera::ServeCtp(int fd)
{
    QByteArray buffer;
    while (WaitReadable(fd, -1) == 1) {
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        buffer.append(chunk, n);
        for (;;) {
            QByteArray request, verb, body;
            const QByteArray exit = QByteArrayLiteral("CMD exit CTP/1.0\r\n");
            if (buffer.startsWith(exit)) {
                request = exit;
                verb = "exit";
            } else {
                const qsizetype end = buffer.indexOf("\r\n\r\n");
                if (end < 0) {
                    if (buffer.size() > kMaxHead) {
                        ++malformed_;
                        return;
                    }
                    break;
                }
                const QList<QByteArray> head = buffer.left(end).split('\n');
                const QList<QByteArray> words = head.value(0).trimmed().split(' ');
                qsizetype length = -1;
                for (qsizetype i = 1; i < head.size(); ++i) {
                    if (head.at(i).startsWith("Content-Length:"))
                        length = head.at(i).mid(15).trimmed().toLongLong();
                }
                if (words.size() != 3 || words.at(0) != "CMD" || words.at(2) != "CTP/1.0" || length < 0) {
                    ++malformed_;
                    return;
                }
                if (buffer.size() < end + 4 + length)
                    break;
                request = buffer.left(end + 4 + length);
                verb = words.at(1);
                body = buffer.mid(end + 4, length);
            }
            buffer.remove(0, request.size());

            std::optional<QByteArray> answer;
            {
                const std::lock_guard<std::mutex> guard(lock_);
                ctpRequests_.append(request);
                if (verb == "cfgusr") {
                    const QByteArray expected = QByteArray("-login ") + kUser + ':' + kPassword + "\r\n\r\n";
                    answer = loginDefault_ ? std::optional(body == expected ? Ok() : Unauthorized()) : loginAnswer_;
                } else if (verb == "exit") {
                    answer = exitAnswer_;
                } else {
                    answer = QByteArrayLiteral("CTP/1.0 404 Not Found\r\n\r\n");
                }
            }
            if (answer && !SendAll(fd, *answer))
                return;
            // The next connection speaks the upload dialect.
            if (verb == "exit" && answer && answer->contains("200"))
                mode_ = TMode::Upload;
        }
    }
}

void TFakeUploadCamera::ServeUpload(int fd)
{
    QByteArray buffer;
    int index = 0;
    while (WaitReadable(fd, -1) == 1) {
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        buffer.append(chunk, n);
        for (;;) {
            const qsizetype eol = buffer.indexOf("\r\n");
            if (eol < 0) {
                if (buffer.size() > kMaxHead) {
                    ++malformed_;
                    return;
                }
                break;
            }
            const QList<QByteArray> words = buffer.left(eol).split(' ');
            bool number = false;
            const qsizetype length = words.size() == 2 ? words.at(1).toLongLong(&number) : -1;
            if (!number || length < 0) {
                ++malformed_;
                return;
            }
            if (buffer.size() < eol + 2 + length)
                break;
            const TMessage message{buffer.left(eol + 2), buffer.mid(eol + 2, length)};
            buffer.remove(0, eol + 2 + length);

            TUploadHandler handler;
            {
                const std::lock_guard<std::mutex> guard(lock_);
                messages_.append(message);
                handler = uploadHandler_;
            }
            const TAnswer answer = handler ? handler(index++, message) : TAnswer{{{"REPLY OK\r\n"}}};
            for (const TWrite& w : answer.writes) {
                if (!Sleep(w.delayMs) || !SendAll(fd, w.bytes))
                    return;
            }
            if (answer.reset) {
                const linger hard{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            }
            if (answer.close || answer.reset)
                return;
        }
    }
}

void TFakeUploadCamera::ServeProbe(int fd)
{
    ++probes_;
    char chunk[256];
    while (WaitReadable(fd, -1) == 1) {
        if (::recv(fd, chunk, sizeof chunk, 0) <= 0)
            return;
    }
}

void TFakeUploadCamera::Restart()
{
    TRestart how;
    int downMs;
    {
        const std::lock_guard<std::mutex> guard(lock_);
        how = restart_;
        downMs = downMs_;
    }
    if (how == TRestart::Stay)
        return;
    ::close(listenFd_);
    listenFd_ = -1;
    std::vector<int> fillers;
    if (how == TRestart::Unanswered && Listen(0)) {
        // A queue of one that is full: further handshakes are dropped, so connects hang.
        for (int i = 0; i < 2; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(port_);
            (void)::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
            pollfd p{c, POLLOUT, 0};
            (void)::poll(&p, 1, i == 0 ? 1000 : 50);
            fillers.push_back(c);
        }
    }
    const bool running = Sleep(downMs);
    for (int c : fillers)
        ::close(c);
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
    if (!running || !Listen(64))
        return;
    const std::lock_guard<std::mutex> guard(lock_);
    backAt_ = std::chrono::steady_clock::now();
}
