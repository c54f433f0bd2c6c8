#pragma once
// Firmware upload to a CTP/1.0 camera: log in, leave the command mode, reconnect and stream a
// package's records in the upload dialect, then wait until the camera is back.
//
// TSocketThread is one TCP connection of that session; despite the name it is no thread.
// UploadFirmware runs on its caller's thread from start to end, for a minute and more: the
// dialog calls it on a worker thread and follows the progress callback, which runs on that
// same worker thread. Setting the abort flag ends every wait within about 100 ms.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>

class QFile;

// The fixed waits of an upload. Tests shorten them; the program keeps the defaults.
struct TUploadTiming {
    int connectMs = 1000;       // for the camera to accept a connection
    int replyMs = 8000;         // for the first reply to a message or request
    int receiveRetryMs = 1000;  // between receives while the camera is busy ("Continue")
    int modeSwitchMs = 5000;    // before the upload connection: the camera switches modes
    int afterCloseMs = 5000;    // after closing the upload and the probe connection
    int restartMs = 40000;      // before looking for the restarted camera
    int retryMs = 10000;        // between connection tries to the restarted camera
    int retries = 10;
};

enum class TUploadPhase {
    LeaveCommandMode = 1,  // log in, "CMD exit"
    SendPackage = 2,       // the records
    WaitForCamera = 3,     // the restart
};

struct TUploadProgress {
    TUploadPhase phase = TUploadPhase::LeaveCommandMode;
    qint64 bytesSent = 0;   // file data and command payloads the camera has acknowledged
    qint64 bytesTotal = 0;  // of the whole package; 0 until the package is read
    int secondsLeft = -1;   // during a fixed wait: its whole seconds left, rounded up; else -1
};
using TUploadProgressFn = std::function<void(const TUploadProgress&)>;

struct TUploadOptions {
    TUploadTiming timing;
    TUploadProgressFn progress;          // optional
    std::atomic<bool>* abort = nullptr;  // optional; true ends the upload with false
};

// Raised by TSocketThread::Create when no socket can be made; what() is the key of the
// message the user gets ("IDS_CREATESOCKETERR"): the window looks its text up.
class EUploadError : public std::runtime_error {
public:
    explicit EUploadError(const QString& key) : std::runtime_error(key.toStdString()), key_(key) {}
    const QString& MessageKey() const { return key_; }

private:
    QString key_;
};

// Result codes of the session operations.
namespace UploadCode {
inline constexpr qint32 kOk = 0;
inline constexpr qint32 kRefused = 1;       // a reply that is neither "OK" nor "Continue"; CTP: no "200"
inline constexpr qint32 kNoAddress = 4;     // Connect: not a dotted IPv4 address
inline constexpr qint32 kConnectFailed = 5; // Connect: refused, unanswered or failed
inline constexpr qint32 kReceiveError = -1; // SendUpgrade; SendRecord: no full record header
inline constexpr qint32 kNoReply = -2;
inline constexpr qint32 kNotReply = -3;     // the text does not start with "REPLY "
inline constexpr qint32 kClosed = -4;
inline constexpr qint32 kShortSend = -5;    // also CloseSocket's failure
inline constexpr qint32 kBadRecord = -6;    // SendRecord: a record that cannot be sent as it is
inline constexpr qint32 kAborted = -7;
}  // namespace UploadCode

class TSocketThread {
public:
    static constexpr int kReceiveSize = 199;  // at most this much per receive

    // A new non-blocking TCP socket with TCP_NODELAY for ip:port, not connected yet. Raises
    // EUploadError("IDS_CREATESOCKETERR") when no socket can be made.
    static std::unique_ptr<TSocketThread> Create(const QString& ip, qint32 port, const TUploadOptions& options = {});
    // The same without the error: null when no socket can be made.
    static std::unique_ptr<TSocketThread> TryCreate(const QString& ip, qint32 port, const TUploadOptions& options = {});
    ~TSocketThread();
    TSocketThread(const TSocketThread&) = delete;
    TSocketThread& operator=(const TSocketThread&) = delete;

    // Whether the file is a package the upload can send: the "PK2" header, and every record
    // within the file and sendable (see Pk2::ReadPackage).
    static bool CheckPackage(const QString& fileName);

    // Connects and waits up to connectMs until the camera has accepted: 0, 4 for an address
    // that is not dotted IPv4, 5 when the connection is refused, fails or does not come up
    // in time. A later call starts again on a fresh socket.
    qint32 Connect();
    // "cfgusr" with "-login user:password" (both trimmed); 0 when the reply holds "200", 1
    // otherwise or without a reply, -5 on a short send.
    qint32 Login(const QString& user, const QString& password);
    // "CMD exit CTP/1.0"; codes as Login.
    qint32 LeaveCtp();
    // 0, or -5 when closing fails. The socket is gone afterwards either way.
    qint32 CloseSocket();

    // Sets the send buffer to line followed by size raw bytes; false (buffer unchanged) when
    // that does not fit its 2048 bytes.
    bool SetMessage(const QByteArray& line, const char* raw = nullptr, qsizetype size = 0);
    QByteArray Message() const { return QByteArray(sendBuffer_, sendLength_); }
    // Sends the send buffer and waits for the camera's "REPLY " answer: 0 "OK", 1 refused,
    // -1 receive error, -2 no reply within replyMs, -3 not a "REPLY ", -4 closed, -5 short
    // send, -7 aborted. "Continue" means the camera is busy: the wait goes on without limit.
    qint32 SendUpgrade();
    // Sends the record at package's position: 0 when every message of it was taken (or the
    // tag is unknown and the record skipped), else the first failing code; -1 when no full
    // record header is left, -6 for a record that cannot be sent as it stands.
    qint32 SendRecord(QFile& package);

    // Acknowledged payload bytes so far on this connection, and the total they count towards.
    qint64 BytesSent() const { return bytesSent_; }
    void SetBytesTotal(qint64 total) { bytesTotal_ = total; }

    const QString& IP() const { return ip_; }
    qint32 Port() const { return port_; }
    bool Aborted() const { return options_.abort && options_.abort->load(); }

private:
    TSocketThread(const QString& ip, qint32 port, const TUploadOptions& options, int fd);
    // Waits for events on the socket, in slices so that the abort flag is seen: 1 ready,
    // 0 time-out, -1 failure, -2 aborted. timeoutMs < 0 waits without limit.
    int Wait(short events, int timeoutMs) const;
    // The two halves of SendUpgrade: the send, and the wait for the reply to it.
    qint32 SendBuffer();
    qint32 AwaitReply();
    // Drops input the camera sent beyond an earlier reply, so it is not taken as the next one.
    void DiscardStale();
    qint32 CtpRequest(const QByteArray& request);
    void Report() const;

    const QString ip_;
    const qint32 port_;
    const TUploadOptions options_;
    int fd_ = -1;
    bool connectTried_ = false;
    sockaddr_in sockAddr_{};
    char receiveBuffer_[kReceiveSize + 1] = {};
    char sendBuffer_[2048] = {};
    qint32 sendLength_ = 0;
    bool mayHaveStale_ = false;  // the last reply may have left input behind: drain first
    qint64 bytesSent_ = 0;
    qint64 bytesTotal_ = 0;
};

// The whole upload. messageKey is set only when the first phase fails ("IDS_ERRFILE",
// "IDS_CANTCONNECT", "IDS_ERRACCESS", "IDS_EXITCURMODE" or "IDS_CLOSEIPCAMERA";
// "IDS_CREATESOCKETERR" when no socket can be made): the key of the message, whose text the
// caller looks up. It is empty otherwise. True only when the package was taken and the camera
// accepts connections again.
bool UploadFirmware(const QString& fileName, const QString& ip, qint32 port, const QString& user,
                    const QString& password, QString& messageKey, const TUploadOptions& options = {});
