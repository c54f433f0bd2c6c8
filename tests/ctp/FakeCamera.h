#pragma once
// A CTP/1.0 camera on 127.0.0.1 for the socket tests: POSIX sockets, one thread per
// connection. By default it answers like a camera (credentials, wireless settings, scan list,
// DDNS state, restart); a handler replaces that with any behaviour, hostile ones included.

#include "CtpMessage.h"

#include <QByteArray>
#include <QList>
#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class TFakeCamera {
public:
    struct TRequest {
        QByteArray raw;   // the whole request as received
        QByteArray verb;  // "keepalive", "cfgusr", ...
        QByteArray body;  // after the empty line
    };
    struct TAnswer {
        TAnswer(const QByteArray& reply = {}) : bytes(reply) {}
        static TAnswer Silent()
        {
            TAnswer a;
            a.silent = true;
            return a;
        }
        static TAnswer Hangup()
        {
            TAnswer a;
            a.closeAfter = true;
            return a;
        }

        QByteArray bytes;        // written in one send
        bool silent = false;     // never answers this request
        bool closeAfter = false; // closes the connection after answering
        int delayMs = 0;         // before bytes
        QByteArray more;         // a second write, moreDelayMs after the first
        int moreDelayMs = 0;
    };
    using THandler = std::function<TAnswer(const TRequest&)>;

    TFakeCamera();
    ~TFakeCamera();
    TFakeCamera(const TFakeCamera&) = delete;
    TFakeCamera& operator=(const TFakeCamera&) = delete;

    quint16 Port() const { return port_; }

    // Called on connection threads, possibly several at once.
    void SetHandler(THandler handler);
    // Closes every accepted connection at once, before reading anything.
    void SetCloseOnAccept(bool on) { closeOnAccept_ = on; }
    // The camera does not answer this verb at all.
    void SetSilentVerb(const QByteArray& verb);
    // Closes every open connection, as a camera that restarts. The camera's own answer to
    // "restart" does this too, right after its "200 OK".
    void DropConnections();

    int Accepted() const { return accepted_.load(); }
    int Malformed() const { return malformed_.load(); }
    // Requests that arrived while an earlier one on the same connection was unanswered.
    int Pipelined() const { return pipelined_.load(); }
    QList<QByteArray> Requests() const;
    QList<QByteArray> Verbs() const;
    TDEVWiFi StoredWiFi() const;
    int Restarts() const { return restarts_.load(); }
    // Answers written in full (over loopback they are then in the client's socket).
    int AnswersSent() const { return answersSent_.load(); }

    static QByteArray Ok(const QByteArray& body = {});

    static constexpr const char* kUser = "admin";
    static constexpr const char* kPassword = "qelvo";
    // The scan list the camera reports.
    static QByteArray ScanBody();

private:
    TAnswer CameraAnswer(const TRequest& request);
    void AcceptLoop();
    void Serve(int fd);
    bool Send(int fd, const QByteArray& bytes);
    bool SleepUnlessStopped(int ms);

    int listenFd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closeOnAccept_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> malformed_{0};
    std::atomic<int> pipelined_{0};
    std::atomic<int> restarts_{0};
    std::atomic<int> answersSent_{0};

    mutable std::mutex lock_;  // everything below
    THandler handler_;
    QList<QByteArray> silentVerbs_;
    QList<QByteArray> requests_;
    QList<QByteArray> verbs_;
    TDEVWiFi wifi_;
    std::set<int> open_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};
