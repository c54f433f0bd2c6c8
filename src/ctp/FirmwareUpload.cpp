#include "FirmwareUpload.h"

#include "CtpMessage.h"
#include "Pk2Package.h"

#include <QCryptographicHash>
#include <QFile>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

// The longest stretch a wait goes without looking at the abort flag.
constexpr int kSliceMs = 100;
// Stale input beyond this is not drained; the next reply then decides.
constexpr int kMaxStaleBytes = 64 * 1024;

const QByteArray kGreeting = QByteArrayLiteral("CMD 10\r\necho hello");
const QByteArray kReplyPrefix = QByteArrayLiteral("REPLY ");

int NewSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return -1;
    // Every message waits for its reply: Nagle's algorithm would hold back each one.
    const int one = 1;
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool ParseAddress(const QString& ip, in_addr& out)
{
    const QByteArray text = ip.toLatin1();
    return !text.contains('\0') && ::inet_pton(AF_INET, text.constData(), &out) == 1;
}

qint64 LeftMs(Clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
}
}  // namespace

// ---- TSocketThread ------------------------------------------------------------------------

TSocketThread::TSocketThread(const QString& ip, qint32 port, const TUploadOptions& options, int fd)
    : ip_(ip), port_(port), options_(options), fd_(fd)
{
}

TSocketThread::~TSocketThread()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<TSocketThread> TSocketThread::Create(const QString& ip, qint32 port, const TUploadOptions& options)
{
    std::unique_ptr<TSocketThread> s = TryCreate(ip, port, options);
    if (!s)
        throw EUploadError(QStringLiteral("IDS_CREATESOCKETERR"));
    return s;
}

std::unique_ptr<TSocketThread> TSocketThread::TryCreate(const QString& ip, qint32 port, const TUploadOptions& options)
{
    const int fd = NewSocket();
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<TSocketThread>(new TSocketThread(ip, port, options, fd));
}

bool TSocketThread::CheckPackage(const QString& fileName)
{
    return Pk2::ReadPackageFile(fileName).has_value();
}

int TSocketThread::Wait(short events, int timeoutMs) const
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (Aborted())
            return -2;
        int slice = kSliceMs;
        if (timeoutMs >= 0)
            slice = int(std::clamp<qint64>(LeftMs(deadline), 0, kSliceMs));
        pollfd p{fd_, events, 0};
        const int ready = ::poll(&p, 1, slice);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (p.revents & POLLNVAL))
            return -1;
        if (ready > 0)
            return 1;
        if (timeoutMs >= 0 && LeftMs(deadline) <= 0)
            return 0;
    }
}

qint32 TSocketThread::Connect()
{
    in_addr address{};
    if (!ParseAddress(ip_, address))
        return UploadCode::kNoAddress;
    if (port_ < 0 || port_ > 65535)
        return UploadCode::kConnectFailed;
    // A socket whose connect has failed cannot be connected again.
    if (connectTried_ || fd_ < 0) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = NewSocket();
        if (fd_ < 0)
            return UploadCode::kConnectFailed;
    }
    connectTried_ = true;
    sockAddr_ = sockaddr_in{};
    sockAddr_.sin_family = AF_INET;
    sockAddr_.sin_port = htons(quint16(port_));
    sockAddr_.sin_addr = address;

    const auto failed = [this] {
        ::close(fd_);
        fd_ = -1;
        return UploadCode::kConnectFailed;
    };
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&sockAddr_), sizeof sockAddr_) == 0)
        return UploadCode::kOk;
    if (errno != EINPROGRESS && errno != EAGAIN && errno != EINTR)
        return failed();
    // Only an accepted connection counts: a camera that is still down refuses it or does not
    // answer at all, and neither may pass for a camera that is back.
    if (Wait(POLLOUT, options_.timing.connectMs) != 1)
        return failed();
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return failed();
    return UploadCode::kOk;
}

void TSocketThread::DiscardStale()
{
    mayHaveStale_ = false;
    char scrap[4096];
    for (int discarded = 0; discarded < kMaxStaleBytes;) {
        const ssize_t n = ::recv(fd_, scrap, sizeof scrap, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        discarded += int(n);
    }
}

qint32 TSocketThread::CtpRequest(const QByteArray& request)
{
    if (fd_ < 0)
        return UploadCode::kShortSend;
    if (Wait(POLLOUT, options_.timing.replyMs) != 1)
        return UploadCode::kShortSend;
    DiscardStale();
    ssize_t n;
    do {
        n = ::send(fd_, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n != ssize_t(request.size()))
        return UploadCode::kShortSend;

    if (Wait(POLLIN, options_.timing.replyMs) != 1)
        return UploadCode::kRefused;
    std::memset(receiveBuffer_, 0, sizeof receiveBuffer_);
    do {
        n = ::recv(fd_, receiveBuffer_, kReceiveSize, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return UploadCode::kRefused;
    return QByteArray(receiveBuffer_, qsizetype(n)).contains("200") ? UploadCode::kOk : UploadCode::kRefused;
}

qint32 TSocketThread::Login(const QString& user, const QString& password)
{
    return CtpRequest(Ctp::LoginRequest(user, password));
}

qint32 TSocketThread::LeaveCtp() { return CtpRequest(Ctp::ExitRequest()); }

qint32 TSocketThread::CloseSocket()
{
    if (fd_ < 0)
        return UploadCode::kOk;
    const int r = ::close(fd_);
    fd_ = -1;
    // EINTR leaves the descriptor closed on Linux; only a real error counts.
    return r != 0 && errno != EINTR ? UploadCode::kShortSend : UploadCode::kOk;
}

bool TSocketThread::SetMessage(const QByteArray& line, const char* raw, qsizetype size)
{
    if (size < 0 || line.size() > qsizetype(sizeof sendBuffer_) || size > qsizetype(sizeof sendBuffer_) - line.size())
        return false;
    std::memset(sendBuffer_, 0, sizeof sendBuffer_);
    std::memcpy(sendBuffer_, line.constData(), size_t(line.size()));
    if (size > 0)
        std::memcpy(sendBuffer_ + line.size(), raw, size_t(size));
    sendLength_ = qint32(line.size() + size);
    return true;
}

qint32 TSocketThread::SendBuffer()
{
    if (fd_ < 0)
        return UploadCode::kShortSend;
    if (mayHaveStale_)
        DiscardStale();
    for (bool waited = false;;) {
        const ssize_t n = ::send(fd_, sendBuffer_, size_t(sendLength_), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        // Nothing taken because the socket is full: wait until it is writable, once. Each
        // message waits for its reply, so this is rare; a partial send is a failure.
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !waited) {
            const int writable = Wait(POLLOUT, options_.timing.replyMs);
            if (writable == -2)
                return UploadCode::kAborted;
            if (writable != 1)
                return UploadCode::kShortSend;
            waited = true;
            continue;
        }
        return n == ssize_t(sendLength_) ? UploadCode::kOk : UploadCode::kShortSend;
    }
}

qint32 TSocketThread::SendUpgrade()
{
    if (const qint32 sent = SendBuffer(); sent != UploadCode::kOk)
        return sent;
    return AwaitReply();
}

qint32 TSocketThread::AwaitReply()
{
    switch (Wait(POLLIN, options_.timing.replyMs)) {
    case 1:
        break;
    case 0:
        return UploadCode::kNoReply;
    case -2:
        return UploadCode::kAborted;
    default:
        return UploadCode::kReceiveError;
    }

    // The reply text not judged yet. Normally one receive brings exactly one reply; when a
    // "Continue" and the reply after it come in one receive, the second is judged from there.
    QByteArray text;
    qsizetype lastReceived = 0;
    // A reply is the text's first line. Bytes after it, or a receive that filled the buffer,
    // may leave input behind that must not pass for the next reply.
    const auto judged = [&](qint32 code) {
        const qsizetype eol = text.indexOf("\r\n");
        mayHaveStale_ = lastReceived >= kReceiveSize || (eol >= 0 && eol + 2 < text.size());
        return code;
    };
    for (;;) {
        if (text.isEmpty() || (text.size() < kReplyPrefix.size() && kReplyPrefix.startsWith(text))) {
            std::memset(receiveBuffer_, 0, sizeof receiveBuffer_);
            const ssize_t n = ::recv(fd_, receiveBuffer_, kReceiveSize, 0);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    return UploadCode::kReceiveError;
                // Nothing yet: the camera is still busy. No time limit, only the abort flag.
                const int ready = Wait(POLLIN, options_.timing.receiveRetryMs);
                if (ready == -2)
                    return UploadCode::kAborted;
                if (ready == -1)
                    return UploadCode::kReceiveError;
                continue;
            }
            if (n == 0)
                return UploadCode::kClosed;
            text += QByteArray(receiveBuffer_, qsizetype(n));
            lastReceived = n;
            continue;
        }
        if (!text.startsWith(kReplyPrefix))
            return judged(UploadCode::kNotReply);
        const QByteArray after = text.mid(kReplyPrefix.size());
        if (after.startsWith("OK"))
            return judged(UploadCode::kOk);
        if (!after.startsWith("Continue"))
            return judged(UploadCode::kRefused);
        // "REPLY Continue 0": nothing more is coming, the camera is done with the message.
        if (text.size() > 15 && text.at(15) == '0')
            return judged(UploadCode::kOk);
        const qsizetype eol = text.indexOf("\r\n");
        text = eol < 0 ? QByteArray() : text.mid(eol + 2);
    }
}

qint32 TSocketThread::SendRecord(QFile& package)
{
    const std::optional<Pk2::TRecordHeader> header = Pk2::ReadRecordHeader(package);
    if (!header) {
        package.close();
        return UploadCode::kReceiveError;
    }
    switch (header->Kind()) {
    case Pk2::TKind::File: {
        const std::optional<Pk2::TFileHead> head = Pk2::ReadFileHead(package);
        if (!head)
            return UploadCode::kBadRecord;
        const QByteArray text = head->name + ' ' + QByteArray::number(head->dataLength);
        if (!SetMessage("FILE " + QByteArray::number(text.size()) + "\r\n", text.constData(), text.size()))
            return UploadCode::kBadRecord;
        if (const qint32 code = SendUpgrade(); code != UploadCode::kOk)
            return code;

        // Each chunk waits for its acknowledgement. The work on the data (the digest of this
        // chunk, reading and unscrambling the next one) is done while the camera takes it, so
        // that as little as possible stands between two chunks besides the round trip.
        QCryptographicHash md5(QCryptographicHash::Md5);
        const qint64 dataLength = head->dataLength;  // within the file: checked by ReadFileHead
        char chunks[2][Pk2::kChunkSize];
        const auto readChunk = [&package, dataLength](char* into, qint64 offset) {
            const qint64 size = std::min<qint64>(Pk2::kChunkSize, dataLength - offset);
            if (size <= 0)
                return true;
            for (qint64 got = 0; got < size;) {
                const qint64 n = package.read(into + got, size - got);
                if (n <= 0)
                    return false;
                got += n;
            }
            Pk2::Scramble(into, size);
            return true;
        };
        bool readOk = readChunk(chunks[0], 0);
        int current = 0;
        for (qint64 sent = 0; sent < dataLength;) {
            if (!readOk)
                return UploadCode::kBadRecord;
            const qint64 size = std::min<qint64>(Pk2::kChunkSize, dataLength - sent);
            const char* chunk = chunks[current];
            SetMessage("DATA " + QByteArray::number(size) + "\r\n", chunk, size);
            if (const qint32 code = SendBuffer(); code != UploadCode::kOk)
                return code;
            md5.addData(QByteArrayView(chunk, size));
            current ^= 1;
            readOk = readChunk(chunks[current], sent + size);
            if (const qint32 code = AwaitReply(); code != UploadCode::kOk)
                return code;
            sent += size;
            bytesSent_ += size;
            Report();
        }
        const QByteArray digest = md5.result();
        SetMessage(QByteArrayLiteral("MD5 16\r\n"), digest.constData(), digest.size());
        return SendUpgrade();
    }
    case Pk2::TKind::Command: {
        if (!Pk2::CommandFits(qsizetype(header->length)))
            return UploadCode::kBadRecord;
        std::optional<QByteArray> payload = Pk2::ReadExactly(package, header->length);
        if (!payload)
            return UploadCode::kBadRecord;
        Pk2::Scramble(payload->data(), payload->size());
        if (!SetMessage(Pk2::CommandLine(payload->size()), payload->constData(), payload->size()))
            return UploadCode::kBadRecord;
        const qint32 code = SendUpgrade();
        if (code == UploadCode::kOk) {
            bytesSent_ += payload->size();
            Report();
        }
        return code;
    }
    case Pk2::TKind::Other:
        if (qint64(header->length) > package.size() - package.pos() || !package.seek(package.pos() + header->length))
            return UploadCode::kBadRecord;
        return UploadCode::kOk;
    }
    return UploadCode::kBadRecord;
}

void TSocketThread::Report() const
{
    if (options_.progress)
        options_.progress({TUploadPhase::SendPackage, bytesSent_, bytesTotal_, -1});
}

// ---- UploadFirmware -----------------------------------------------------------------------

namespace {
// The state of one upload that outlives its connections: what the progress reports say and
// the fixed waits.
class TUploadRun {
public:
    explicit TUploadRun(const TUploadOptions& options) : options_(options) {}

    bool Aborted() const { return options_.abort && options_.abort->load(); }
    const TUploadTiming& Timing() const { return options_.timing; }

    void Report(TUploadPhase phase, int secondsLeft = -1)
    {
        if (options_.progress)
            options_.progress({phase, sent_, total_, secondsLeft});
    }
    // No socket could be made: the upload ends with "IDS_CREATESOCKETERR".
    std::unique_ptr<TSocketThread> Session(const QString& ip, qint32 port)
    {
        std::unique_ptr<TSocketThread> s = TSocketThread::TryCreate(ip, port, options_);
        noSocket_ = noSocket_ || !s;
        return s;
    }
    bool NoSocket() const { return noSocket_; }

    void SetTotal(qint64 total) { total_ = total; }
    qint64 Total() const { return total_; }
    void SetSent(qint64 sent) { sent_ = sent; }

    // A fixed wait with its seconds left in the reports; false when aborted.
    bool Pause(TUploadPhase phase, int ms)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
        int reported = -1;
        for (;;) {
            if (Aborted())
                return false;
            const qint64 left = LeftMs(deadline);
            if (left <= 0)
                return true;
            const int seconds = int((left + 999) / 1000);
            if (seconds != reported) {
                Report(phase, seconds);
                reported = seconds;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(left, kSliceMs)));
        }
    }

private:
    const TUploadOptions& options_;
    bool noSocket_ = false;
    qint64 sent_ = 0;
    qint64 total_ = 0;
};

// Phase 2: the package over a new connection in the upload dialect.
bool SendPackage(TUploadRun& run, const QString& fileName, const QString& ip, qint32 port)
{
    QFile package(fileName);
    if (!package.open(QIODevice::ReadOnly))
        return false;
    const std::optional<QByteArray> header = Pk2::ReadExactly(package, Pk2::kHeaderSize);
    if (!header || !Pk2::IsPackageHeader(*header))
        return false;
    const quint32 count = Pk2::ReadLe32(header->constData() + Pk2::kCountOffset);

    run.Report(TUploadPhase::SendPackage);
    if (!run.Pause(TUploadPhase::SendPackage, run.Timing().modeSwitchMs))
        return false;
    const std::unique_ptr<TSocketThread> session = run.Session(ip, port);
    if (!session)
        return false;
    bool ok = session->Connect() == UploadCode::kOk;
    if (ok) {
        session->SetMessage(kGreeting);
        ok = session->SendUpgrade() == UploadCode::kOk;
    }
    if (ok) {
        session->SetBytesTotal(run.Total());
        for (quint32 i = 0; i < count && ok; ++i)
            ok = session->SendRecord(package) == UploadCode::kOk;
    }
    run.SetSent(session->BytesSent());
    session->CloseSocket();
    if (!run.Pause(TUploadPhase::SendPackage, run.Timing().afterCloseMs))
        return false;
    return ok;
}

// Phase 3: true once the restarted camera accepts a connection again.
bool WaitForCamera(TUploadRun& run, const QString& ip, qint32 port)
{
    if (!run.Pause(TUploadPhase::WaitForCamera, run.Timing().restartMs))
        return false;
    const std::unique_ptr<TSocketThread> probe = run.Session(ip, port);
    if (!probe)
        return false;
    bool back = false;
    for (int retries = 0;; ++retries) {
        run.Report(TUploadPhase::WaitForCamera);
        if (probe->Connect() == UploadCode::kOk) {
            back = true;
            break;
        }
        if (retries >= run.Timing().retries || !run.Pause(TUploadPhase::WaitForCamera, run.Timing().retryMs))
            break;
    }
    probe->CloseSocket();
    if (!run.Pause(TUploadPhase::WaitForCamera, run.Timing().afterCloseMs))
        return false;
    return back && !run.Aborted();
}
}  // namespace

bool UploadFirmware(const QString& fileName, const QString& ip, qint32 port, const QString& user,
                    const QString& password, QString& messageKey, const TUploadOptions& options)
{
    QString& message = messageKey;
    message.clear();
    TUploadRun run(options);
    const auto fail = [&message](const char* key) {
        message = QLatin1String(key);
        return false;
    };
    // Phase 1: log in and make the camera leave the command mode.
    {
        run.Report(TUploadPhase::LeaveCommandMode);
        const std::unique_ptr<TSocketThread> session = run.Session(ip, port);
        if (!session)
            return fail("IDS_CREATESOCKETERR");
        // The whole package is checked here, before anything reaches the camera.
        const std::optional<Pk2::TPackage> package = Pk2::ReadPackageFile(fileName);
        if (!package)
            return fail("IDS_ERRFILE");
        run.SetTotal(package->payloadTotal);
        run.Report(TUploadPhase::LeaveCommandMode);
        if (session->Connect() != UploadCode::kOk)
            return run.Aborted() ? false : fail("IDS_CANTCONNECT");
        if (session->Login(user, password) != UploadCode::kOk)
            return run.Aborted() ? false : fail("IDS_ERRACCESS");
        if (session->LeaveCtp() != UploadCode::kOk)
            return run.Aborted() ? false : fail("IDS_EXITCURMODE");
        if (session->CloseSocket() != UploadCode::kOk)
            return fail("IDS_CLOSEIPCAMERA");
    }
    const bool ok = SendPackage(run, fileName, ip, port) && WaitForCamera(run, ip, port);
    return run.NoSocket() ? fail("IDS_CREATESOCKETERR") : ok;
}
