#pragma once
// A CTP/1.0 camera on 127.0.0.1 that takes firmware the way the upload expects: a CTP
// connection with "cfgusr" and "CMD exit", then one connection in the upload dialect, then
// (optionally after a restart during which nothing listens) connections that only show the
// camera is back. One server thread takes the connections one after the other, as the upload
// makes them; every byte received is kept for the tests to compare.

#include <QByteArray>
#include <QList>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class TFakeUploadCamera {
public:
    // One message of the upload dialect as received: its line (with CR LF) and its bytes.
    struct TMessage {
        QByteArray line;
        QByteArray payload;
        QByteArray Raw() const { return line + payload; }
    };
    // What the camera writes back to one upload message.
    struct TWrite {
        QByteArray bytes;
        int delayMs = 0;  // before these bytes
    };
    struct TAnswer {
        QList<TWrite> writes;
        bool close = false;  // closes the connection after the writes
        bool reset = false;  // ... with a reset instead of an orderly close
    };
    using TUploadHandler = std::function<TAnswer(int index, const TMessage& message)>;

    enum class TMode { Ctp, Upload, Probe };
    // After the upload connection: whether and when the camera listens again.
    enum class TRestart { Stay, Refuse, Unanswered };

    static constexpr const char* kUser = "admin";
    static constexpr const char* kPassword = "fwpw";

    explicit TFakeUploadCamera(TMode firstMode = TMode::Ctp);
    ~TFakeUploadCamera();
    TFakeUploadCamera(const TFakeUploadCamera&) = delete;
    TFakeUploadCamera& operator=(const TFakeUploadCamera&) = delete;

    quint16 Port() const { return port_; }

    // Answers; none given means silence. Defaults: a login of kUser/kPassword is taken, any
    // other gets 401; "exit" gets 200 OK; every upload message "REPLY OK\r\n".
    void SetLoginAnswer(std::optional<QByteArray> answer);
    void SetExitAnswer(std::optional<QByteArray> answer);
    void SetUploadHandler(TUploadHandler handler);
    // After the upload connection has closed: stay (Stay), stop listening for downMs so that
    // connections are refused (Refuse), or keep a listener whose queue is full so that they
    // go unanswered (Unanswered); downMs < 0: for good.
    void SetRestart(TRestart how, int downMs);

    int Accepted() const { return accepted_.load(); }
    int ProbeConnections() const { return probes_.load(); }
    int Malformed() const { return malformed_.load(); }
    QList<QByteArray> CtpRequests() const;
    QList<TMessage> UploadMessages() const;
    // Whether the upload connection has ended (the program closed it or the camera did).
    bool UploadEnded() const { return uploadEnded_.load(); }
    // When the camera came back after its restart (listening again), if it has.
    std::optional<std::chrono::steady_clock::time_point> BackAt() const;

    // The normal CTP answers, for handlers and tests.
    static QByteArray Ok() { return QByteArrayLiteral("CTP/1.0 200 OK\r\nContent-Length:2\r\n\r\n\r\n"); }
    static QByteArray Unauthorized() { return QByteArrayLiteral("CTP/1.0 401 Unauthorized\r\n\r\n"); }

private:
    void Run();
    bool Listen(int backlog);
    void ServeCtp(int fd);
    void ServeUpload(int fd);
    void ServeProbe(int fd);
    void Restart();
    // Waits up to ms for fd to become readable; false when stopping.
    int WaitReadable(int fd, int ms) const;
    bool Sleep(int ms) const;
    static bool SendAll(int fd, const QByteArray& bytes);

    int listenFd_ = -1;
    quint16 port_ = 0;
    TMode mode_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> probes_{0};
    std::atomic<int> malformed_{0};
    std::atomic<bool> uploadEnded_{false};

    mutable std::mutex lock_;  // everything below
    std::optional<QByteArray> loginAnswer_;
    bool loginDefault_ = true;
    std::optional<QByteArray> exitAnswer_;
    TUploadHandler uploadHandler_;
    TRestart restart_ = TRestart::Stay;
    int downMs_ = 0;
    QList<QByteArray> ctpRequests_;
    QList<TMessage> messages_;
    std::optional<std::chrono::steady_clock::time_point> backAt_;
    std::thread server_;
};
