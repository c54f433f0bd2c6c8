#pragma once
// One CTP/1.0 TCP connection to a camera, its commands, and the process-wide pool of such
// connections keyed by "IP|port".
//
// Threads: the pool and its connections are shared by the user-interface thread and worker
// threads. Lookup, insert and removal run under the pool's lock; each connection runs one
// exchange at a time under a lock of its own, so a second caller of the same connection waits
// for the first one's reply. Connections are handed out as std::shared_ptr: a connection that
// is released or replaced while another thread still holds it is closed at once (that thread's
// exchange ends with an empty reply) but stays valid until its last holder lets it go.

#include "CtpMessage.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <stdexcept>

// Raised by TCTPSocket::Create; carries an empty message.
class ECTPError : public std::runtime_error {
public:
    ECTPError() : std::runtime_error(std::string()) {}
};

class TCTPSocket;
using TCTPSession = std::shared_ptr<TCTPSocket>;

class TCTPSocket {
public:
    // How long an exchange waits for the socket to take the request and for the reply.
    struct TTimeouts {
        int writableMs = 1000;
        int readableMs = 60000;
    };

    // Starts a non-blocking connection; the first Exchange waits for it to complete. Raises
    // ECTPError when ip is not a dotted IPv4 address, port is outside 0..65535 or no socket
    // can be made.
    static TCTPSession Create(const QString& ip, qint32 port);
    ~TCTPSocket();
    TCTPSocket(const TCTPSocket&) = delete;
    TCTPSocket& operator=(const TCTPSocket&) = delete;

    // Sends request and returns what one receive of at most Ctp::kReplyMax bytes brings, or
    // empty text on any failure (no connection in time, send error, no reply in time, receive
    // error, peer closed, connection closed by Close). Bytes still pending from an earlier
    // reply are discarded before the request goes out, so they are never taken as its reply.
    QByteArray Exchange(const QByteArray& request);

    bool KeepAlive();
    bool Login(const QString& user, const QString& password);
    // The DDNS status; Ctp::kOrayUnknown (5) when the camera gives none.
    qint32 GetOrayState();
    std::optional<TDEVWiFi> GetWiFi();
    bool SetWiFi(const TDEVWiFi& wifi);
    // Appends the networks the camera sees to list (a list of its own when list is null).
    bool ScanWiFi(TWiFi2List* list = nullptr);
    // Asks the camera to restart; the reply is not looked at.
    void Restart();

    // Ends the connection for every holder: an exchange in progress returns at once, later
    // ones fail. The socket itself is freed with the object. Callable from any thread.
    void Close();
    bool Closed() const { return closed_.load(); }

    const QString& IP() const { return ip_; }
    qint32 Port() const { return port_; }
    QString Key() const { return SessionKey(ip_, port_); }
    // "192.168.1.20|81"
    static QString SessionKey(const QString& ip, qint32 port);

    // A live connection to ip:port: the pooled one when it still answers keepalive, else a
    // new one that takes its place in the pool; null when none can be made.
    static TCTPSession GetCTPSession(const QString& ip, qint32 port);
    // One exchange over the connection GetCTPSession gives; empty text on any failure.
    static QByteArray CTPRequest(const QString& ip, qint32 port, const QByteArray& request);
    // Takes conn out of the pool (when it is the pooled connection of its key), closes it and
    // clears the caller's handle. Nothing happens for null.
    static void ReleaseCTPSession(TCTPSession& conn);
    // Closes and drops every pooled connection. Runs by itself at program end; the pool stays
    // usable afterwards, so a late worker thread finds it empty rather than destroyed.
    static void FreeCTPSessionPool();

    static void SetTimeouts(const TTimeouts& timeouts);
    static TTimeouts Timeouts();

private:
    TCTPSocket(const QString& ip, qint32 port, const sockaddr_in& address, int fd);
    // Waits for POLLOUT or POLLIN; false on time-out or failure.
    bool WaitFor(short events, int timeoutMs) const;
    bool DiscardStale();

    const QString ip_;
    const qint32 port_;
    const in_addr_t address_;  // network byte order
    const sockaddr_in sockAddr_;
    const int fd_;
    std::atomic<bool> closed_{false};
    std::mutex exchangeLock_;
};
