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
    bool SendTo(const QByteArray& bytes, const QString& address, quint16 port);
    bool SendBroadcast(const QByteArray& bytes, quint16 port);
    enum class TWait { Ready, TimedOut, Error };
    TWait WaitReadable(int ms);
    // One datagram, cut to at most maxBytes; empty on error.
    QByteArray Receive(int maxBytes);
    quint16 LocalPort() const;
    void Close();
    int Release();

private:
    int fd_ = -1;
};
