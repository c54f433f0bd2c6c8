#include "CgiUdp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

bool BindTo(int fd, in_addr_t address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(address);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

}  // namespace

TCgiUdpSocket& TCgiUdpSocket::operator=(TCgiUdpSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

bool TCgiUdpSocket::Open()
{
    Close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return fd_ >= 0;
}

bool TCgiUdpSocket::Bind(quint16 port)
{
    return fd_ >= 0 && BindTo(fd_, INADDR_ANY, port);
}

bool TCgiUdpSocket::BindLoopback(quint16 port)
{
    return fd_ >= 0 && BindTo(fd_, INADDR_LOOPBACK, port);
}

bool TCgiUdpSocket::AllowBroadcast()
{
    const int on = 1;
    return fd_ >= 0 && ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

bool TCgiUdpSocket::SendTo(const QByteArray& bytes, const QString& address, quint16 port,
                           quint32 ifindex)
{
    if (fd_ < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr) != 1)
        return false;
    iovec iov{const_cast<char*>(bytes.constData()), size_t(bytes.size())};
    msghdr msg{};
    msg.msg_name = &a;
    msg.msg_namelen = sizeof a;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    // The outgoing interface of this datagram: a limited broadcast would otherwise leave only
    // through the adapter of the default route.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (ifindex != 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = int(ifindex);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    ssize_t n;
    do {
        n = ::sendmsg(fd_, &msg, 0);
    } while (n < 0 && errno == EINTR);
    return n == bytes.size();
}

bool TCgiUdpSocket::SendBroadcast(const QByteArray& bytes, quint16 port, quint32 ifindex)
{
    return SendTo(bytes, QStringLiteral("255.255.255.255"), port, ifindex);
}

bool TCgiUdpSocket::EnableArrivalInterface()
{
    const int on = 1;
    return fd_ >= 0 && ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0;
}

TCgiUdpSocket::TWait TCgiUdpSocket::WaitReadable(int ms)
{
    if (fd_ < 0)
        return TWait::Error;
    pollfd p{fd_, POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, ms);
    } while (n < 0 && errno == EINTR);
    if (n < 0 || (n > 0 && (p.revents & (POLLERR | POLLNVAL)) && !(p.revents & POLLIN)))
        return TWait::Error;
    return n == 0 ? TWait::TimedOut : TWait::Ready;
}

QByteArray TCgiUdpSocket::Receive(int maxBytes, quint32* ifindex)
{
    if (ifindex)
        *ifindex = 0;
    if (fd_ < 0 || maxBytes <= 0)
        return QByteArray();
    QByteArray buf(maxBytes, '\0');
    iovec iov{buf.data(), size_t(maxBytes)};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo)) + 64] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = ::recvmsg(fd_, &msg, MSG_DONTWAIT);  // longer datagrams are cut
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return QByteArray();
    buf.truncate(qsizetype(n));
    if (ifindex && !(msg.msg_flags & MSG_CTRUNC)) {
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO &&
                c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                *ifindex = info.ipi_ifindex > 0 ? quint32(info.ipi_ifindex) : 0;
            }
        }
    }
    return buf;
}

quint16 TCgiUdpSocket::LocalPort() const
{
    if (fd_ < 0)
        return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

void TCgiUdpSocket::Close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int TCgiUdpSocket::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}
