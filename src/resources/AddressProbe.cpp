// Address-in-use probe on Linux: an unprivileged ICMP echo socket (SOCK_DGRAM, IPPROTO_ICMP;
// allowed by net.ipv4.ping_group_range), a UDP datagram to the discard port, and the kernel's
// neighbour table read over rtnetlink. None of them needs a capability.

#include "AddressProbe.h"

#include <QFile>

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kEchoIntervalMs = 250;  // echo requests go out this often within the limit
constexpr int kSliceMs = 50;          // the neighbour table is read this often
constexpr std::uint16_t kDiscardPort = 9;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Whether one of our groups lies in net.ipv4.ping_group_range ("LOW HIGH"; "1 0" admits none).
bool PingGroupAllowed()
{
    QFile f(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> parts = f.read(128).simplified().split(' ');
    if (parts.size() != 2)
        return false;
    bool okLow = false, okHigh = false;
    const qulonglong low = parts[0].toULongLong(&okLow);
    const qulonglong high = parts[1].toULongLong(&okHigh);
    if (!okLow || !okHigh || low > high)
        return false;
    auto inRange = [&](gid_t g) { return qulonglong(g) >= low && qulonglong(g) <= high; };
    if (inRange(getegid()))
        return true;
    const int n = getgroups(0, nullptr);
    if (n <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    const int got = getgroups(n, groups.data());
    for (int i = 0; i < got; ++i) {
        if (inRange(groups[static_cast<size_t>(i)]))
            return true;
    }
    return false;
}

// The neighbour state (NUD_*) of addr in the kernel's IPv4 table, 0 when it has no entry.
// The reply is the kernel's, but it is still walked with its own length checks.
unsigned NeighbourState(in_addr addr)
{
    Fd fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (fd.get() < 0)
        return 0;
    timeval tv{0, 200000};
    setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    struct {
        nlmsghdr nh;
        ndmsg ndm;
    } req{};
    req.nh.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    req.nh.nlmsg_type = RTM_GETNEIGH;
    req.nh.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    req.nh.nlmsg_seq = 1;
    req.ndm.ndm_family = AF_INET;
    if (send(fd.get(), &req, req.nh.nlmsg_len, 0) < 0)
        return 0;
    unsigned state = 0;
    alignas(nlmsghdr) char buf[16384];
    for (;;) {
        const ssize_t n = recv(fd.get(), buf, sizeof buf, 0);
        if (n <= 0)
            return state;
        int len = int(n);
        for (auto* nh = reinterpret_cast<nlmsghdr*>(buf); NLMSG_OK(nh, len);
             nh = NLMSG_NEXT(nh, len)) {
            if (nh->nlmsg_type == NLMSG_DONE || nh->nlmsg_type == NLMSG_ERROR)
                return state;
            if (nh->nlmsg_type != RTM_NEWNEIGH || nh->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
                continue;
            const auto* ndm = static_cast<const ndmsg*>(NLMSG_DATA(nh));
            if (ndm->ndm_family != AF_INET)
                continue;
            int attrLen = int(nh->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
            for (auto* rta = reinterpret_cast<rtattr*>(
                     reinterpret_cast<char*>(const_cast<ndmsg*>(ndm)) + NLMSG_ALIGN(sizeof(ndmsg)));
                 RTA_OK(rta, attrLen); rta = RTA_NEXT(rta, attrLen)) {
                if (rta->rta_type == NDA_DST && RTA_PAYLOAD(rta) == sizeof(in_addr) &&
                    std::memcmp(RTA_DATA(rta), &addr, sizeof(in_addr)) == 0) {
                    state |= ndm->ndm_state;
                }
            }
        }
    }
}

bool SendEcho(int fd, const sockaddr_in& to, std::uint16_t seq)
{
    struct {
        icmphdr h;
        char payload[16];
    } msg{};
    msg.h.type = ICMP_ECHO;
    msg.h.code = 0;
    msg.h.un.echo.sequence = htons(seq);  // the kernel sets the identifier and the checksum
    std::memcpy(msg.payload, "ipcam-addr-probe", sizeof msg.payload);
    return sendto(fd, &msg, sizeof msg, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           ssize_t(sizeof msg);
}

// True when an echo reply to one of our requests is waiting.
bool ReadEchoReply(int fd, std::uint16_t lastSeq)
{
    for (;;) {
        char buf[512];
        const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0)
            return false;  // nothing more (or an ICMP error, which is no reply)
        if (size_t(n) < sizeof(icmphdr))
            continue;
        icmphdr h;
        std::memcpy(&h, buf, sizeof h);
        const std::uint16_t seq = ntohs(h.un.echo.sequence);
        if (h.type == ICMP_ECHOREPLY && seq >= 1 && seq <= lastSeq)
            return true;
    }
}

}  // namespace

TAddressProbe ProbeAddress(const QString& address, int timeLimitMs)
{
    TAddressProbe r;
    in_addr addr{};
    const QByteArray text = address.trimmed().toLatin1();
    if (inet_pton(AF_INET, text.constData(), &addr) != 1)
        return r;
    const std::uint32_t host = ntohl(addr.s_addr);
    // No unicast address: nothing single can answer there.
    if (host == 0 || host == 0xFFFFFFFFu || (host >> 28) == 0xE || (host >> 28) == 0xF)
        return r;
    r.Valid = true;

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = addr;

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeLimitMs);
    auto msLeft = [&] {
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                       .count());
    };

    Fd icmp(PingGroupAllowed()
                ? socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP)
                : -1);
    r.IcmpAllowed = icmp.get() >= 0;

    // The datagram makes the kernel resolve the address (a neighbour entry when it is on the
    // link) and draws a port-unreachable from a host that does not filter its ICMP.
    Fd udp(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (udp.get() >= 0) {
        sockaddr_in discard = to;
        discard.sin_port = htons(kDiscardPort);
        if (::connect(udp.get(), reinterpret_cast<sockaddr*>(&discard), sizeof discard) == 0)
            (void)send(udp.get(), "ipcam-addr-probe", 16, MSG_DONTWAIT);
    }

    std::uint16_t seq = 0;
    auto nextEcho = start;
    for (;;) {
        if (r.IcmpAllowed && Clock::now() >= nextEcho) {
            if (SendEcho(icmp.get(), to, std::uint16_t(seq + 1)))
                ++seq;
            nextEcho += std::chrono::milliseconds(kEchoIntervalMs);
        }
        // A direct answer comes within the first slice on a LAN; the neighbour table is read
        // after it, so that a device that answers is reported by its answer.
        if (Clock::now() >= start + std::chrono::milliseconds(kSliceMs) &&
            (NeighbourState(addr) & NUD_REACHABLE)) {
            r.InUse = true;
            r.Method = TAddressProbe::TMethod::Neighbour;
            return r;
        }
        const int left = msLeft();
        if (left <= 0)
            return r;
        pollfd fds[2] = {{icmp.get(), POLLIN, 0}, {udp.get(), POLLIN, 0}};
        const int n = poll(fds, 2, std::min(left, kSliceMs));
        if (n < 0 && errno != EINTR)
            return r;
        if (n <= 0)
            continue;
        if ((fds[0].revents & (POLLIN | POLLERR)) && ReadEchoReply(icmp.get(), seq)) {
            r.InUse = true;
            r.Method = TAddressProbe::TMethod::IcmpEcho;
            return r;
        }
        if (fds[1].revents & (POLLIN | POLLERR)) {
            char buf[64];
            if (recv(udp.get(), buf, sizeof buf, MSG_DONTWAIT) >= 0 || errno == ECONNREFUSED) {
                // An answer, or the host's port-unreachable: something is there.
                r.InUse = true;
                r.Method = TAddressProbe::TMethod::Refused;
                return r;
            }
        }
    }
}
