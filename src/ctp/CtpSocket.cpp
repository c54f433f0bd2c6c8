#include "CtpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
std::atomic<int> gWritableMs{TCTPSocket::TTimeouts{}.writableMs};
std::atomic<int> gReadableMs{TCTPSocket::TTimeouts{}.readableMs};

// A hostile peer could stream without end; past this much stale input the connection is
// given up instead of drained.
constexpr int kMaxStaleBytes = 16 * Ctp::kReplyMax;

struct TCTPSessionPool {
    std::mutex lock;
    std::map<QString, TCTPSession> sessions;
};

// Never destroyed: a worker thread that outlives main() still finds a valid (empty) pool.
TCTPSessionPool& Pool()
{
    static TCTPSessionPool* pool = new TCTPSessionPool;
    return *pool;
}

// Closes the pooled connections at program end.
struct TPoolTeardown {
    TPoolTeardown() { Pool(); }
    ~TPoolTeardown() { TCTPSocket::FreeCTPSessionPool(); }
} gPoolTeardown;

// Creates a connection under the pool's lock; null when Create fails.
TCTPSession CreateLocked(TCTPSessionPool& pool, const QString& key, const QString& ip, qint32 port)
{
    TCTPSession conn;
    try {
        conn = TCTPSocket::Create(ip, port);
    } catch (const std::exception&) {
        return nullptr;
    }
    pool.sessions[key] = conn;
    return conn;
}
}  // namespace

TCTPSocket::TCTPSocket(const QString& ip, qint32 port, const sockaddr_in& address, int fd)
    : ip_(ip), port_(port), address_(address.sin_addr.s_addr), sockAddr_(address), fd_(fd)
{
}

TCTPSession TCTPSocket::Create(const QString& ip, qint32 port)
{
    const QByteArray text = ip.toLatin1();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (port < 0 || port > 65535 || text.contains('\0')
        || ::inet_pton(AF_INET, text.constData(), &address.sin_addr) != 1)
        throw ECTPError();
    address.sin_port = htons(quint16(port));

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        throw ECTPError();
    TCTPSession conn;
    try {
        conn = TCTPSession(new TCTPSocket(ip, port, address, fd));
    } catch (...) {
        ::close(fd);
        throw;
    }
    // Usually EINPROGRESS; a refused or failed connect shows up in the first Exchange.
    (void)::connect(fd, reinterpret_cast<const sockaddr*>(&conn->sockAddr_), sizeof conn->sockAddr_);
    return conn;
}

TCTPSocket::~TCTPSocket() { ::close(fd_); }

void TCTPSocket::Close()
{
    closed_.store(true);
    // Wakes a poll of another thread on this socket; the descriptor itself stays valid until
    // the destructor, so no other thread can ever be left with a reused descriptor number.
    ::shutdown(fd_, SHUT_RDWR);
}

bool TCTPSocket::WaitFor(short events, int timeoutMs) const
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd_, events, 0};
        const int ready = ::poll(&p, 1, int(std::max<qint64>(0, left.count())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        if (events == POLLOUT)
            return (p.revents & POLLOUT) && !(p.revents & (POLLERR | POLLHUP | POLLNVAL));
        // Readable, closed or failed: the receive tells which.
        return !(p.revents & POLLNVAL);
    }
}

bool TCTPSocket::DiscardStale()
{
    char scrap[4096];
    for (int discarded = 0; discarded <= kMaxStaleBytes;) {
        const ssize_t n = ::recv(fd_, scrap, sizeof scrap, MSG_DONTWAIT);
        if (n > 0) {
            discarded += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return false;
}

QByteArray TCTPSocket::Exchange(const QByteArray& request)
{
    const std::lock_guard<std::mutex> guard(exchangeLock_);
    if (closed_.load())
        return {};
    const TTimeouts timeouts = Timeouts();

    qsizetype sent = 0;
    bool discarded = false;
    do {
        if (!WaitFor(POLLOUT, timeouts.writableMs))
            return {};
        if (!discarded) {
            if (!DiscardStale())
                return {};
            discarded = true;
        }
        const ssize_t n = ::send(fd_, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return {};
        }
        sent += n;
    } while (sent < request.size());

    if (!WaitFor(POLLIN, timeouts.readableMs))
        return {};
    char buffer[Ctp::kReplyMax];
    ssize_t n;
    do {
        n = ::recv(fd_, buffer, sizeof buffer, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return {};
    return QByteArray(buffer, qsizetype(n));
}

bool TCTPSocket::KeepAlive() { return Ctp::ReplyAlive(Exchange(Ctp::KeepAliveRequest())); }

bool TCTPSocket::Login(const QString& user, const QString& password)
{
    return Ctp::ReplyOk(Exchange(Ctp::LoginRequest(user, password)));
}

qint32 TCTPSocket::GetOrayState() { return Ctp::ParseOrayState(Exchange(Ctp::OrayStateRequest())); }

std::optional<TDEVWiFi> TCTPSocket::GetWiFi() { return Ctp::ParseWiFi(Exchange(Ctp::GetWiFiRequest())); }

bool TCTPSocket::SetWiFi(const TDEVWiFi& wifi) { return Ctp::ReplyOk(Exchange(Ctp::SetWiFiRequest(wifi))); }

bool TCTPSocket::ScanWiFi(TWiFi2List* list)
{
    TWiFi2List own;
    return Ctp::ParseWiFiScanInto(Exchange(Ctp::ScanWiFiRequest()), list ? *list : own);
}

void TCTPSocket::Restart() { (void)Exchange(Ctp::RestartRequest()); }

QString TCTPSocket::SessionKey(const QString& ip, qint32 port)
{
    return ip + QLatin1Char('|') + QString::number(port);
}

TCTPSession TCTPSocket::GetCTPSession(const QString& ip, qint32 port)
{
    TCTPSessionPool& pool = Pool();
    const QString key = SessionKey(ip, port);
    TCTPSession pooled;
    {
        const std::lock_guard<std::mutex> guard(pool.lock);
        const auto it = pool.sessions.find(key);
        if (it == pool.sessions.end())
            return CreateLocked(pool, key, ip, port);
        pooled = it->second;
    }
    // The liveness test may take a minute; other keys must not wait for it.
    if (pooled->KeepAlive())
        return pooled;
    pooled->Close();

    const std::lock_guard<std::mutex> guard(pool.lock);
    const auto it = pool.sessions.find(key);
    if (it != pool.sessions.end()) {
        if (it->second != pooled)
            return it->second;  // another thread has replaced it already
        pool.sessions.erase(it);
    }
    return CreateLocked(pool, key, ip, port);
}

QByteArray TCTPSocket::CTPRequest(const QString& ip, qint32 port, const QByteArray& request)
{
    try {
        const TCTPSession conn = GetCTPSession(ip, port);
        return conn ? conn->Exchange(request) : QByteArray();
    } catch (const std::exception&) {
        return {};
    }
}

void TCTPSocket::ReleaseCTPSession(TCTPSession& conn)
{
    if (!conn)
        return;
    {
        TCTPSessionPool& pool = Pool();
        const std::lock_guard<std::mutex> guard(pool.lock);
        const auto it = pool.sessions.find(conn->Key());
        if (it != pool.sessions.end() && it->second == conn)
            pool.sessions.erase(it);
    }
    conn->Close();
    conn.reset();
}

void TCTPSocket::FreeCTPSessionPool()
{
    std::map<QString, TCTPSession> dropped;
    {
        TCTPSessionPool& pool = Pool();
        const std::lock_guard<std::mutex> guard(pool.lock);
        dropped.swap(pool.sessions);
    }
    for (auto& entry : dropped)
        entry.second->Close();
}

void TCTPSocket::SetTimeouts(const TTimeouts& timeouts)
{
    gWritableMs.store(timeouts.writableMs);
    gReadableMs.store(timeouts.readableMs);
}

TCTPSocket::TTimeouts TCTPSocket::Timeouts()
{
    return TTimeouts{gWritableMs.load(), gReadableMs.load()};
}
