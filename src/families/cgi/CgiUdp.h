#pragma once
// The plain UDP sockets of the family-9 driver. The search binds its reply port without
// address sharing, so that a second search cannot take the port while a receive thread still
// listens on it.

#include <QByteArray>
#include <QString>

class TCgiUdpSocket {
public:
    TCgiUdpSocket() = default;
    ~TCgiUdpSocket() { Close(); }
    TCgiUdpSocket(const TCgiUdpSocket&) = delete;
    TCgiUdpSocket& operator=(const TCgiUdpSocket&) = delete;
    TCgiUdpSocket(TCgiUdpSocket&& other) noexcept : fd_(other.Release()) {}
    TCgiUdpSocket& operator=(TCgiUdpSocket&& other) noexcept;

    bool Open();
    bool IsOpen() const { return fd_ >= 0; }
    // On all local addresses.
    bool Bind(quint16 port);
    // Only on 127.0.0.1.
    bool BindLoopback(quint16 port);
    bool AllowBroadcast();
    // The whole datagram or nothing.
    // Out of the interface with index ifindex when it is not 0, else as the routing table
    // sends it.
    bool SendTo(const QByteArray& bytes, const QString& address, quint16 port, quint32 ifindex = 0);
    bool SendBroadcast(const QByteArray& bytes, quint16 port, quint32 ifindex = 0);
    // Received datagrams tell the interface they came in on.
    bool EnableArrivalInterface();
    enum class TWait { Ready, TimedOut, Error };
    TWait WaitReadable(int ms);
    // One datagram, cut to at most maxBytes; empty on error. ifindex receives the interface it
    // came in on (0 unless EnableArrivalInterface was called).
    QByteArray Receive(int maxBytes, quint32* ifindex = nullptr);
    quint16 LocalPort() const;
    void Close();
    int Release();

private:
    int fd_ = -1;
};
