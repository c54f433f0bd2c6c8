#include "net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <queue>
#include <set>
#include <tuple>

namespace lansim {

namespace {

volatile sig_atomic_t gSignal = 0;
void onSignal(int sig) { gSignal = sig; }

constexpr std::size_t kMaxDatagram = 2048;      // larger ones are cut by the kernel and dropped here
constexpr std::size_t kMaxPending = 200000;     // delayed answers waiting for their time
constexpr std::size_t kMaxBacklog = 200000;     // answers waiting for socket buffer space
constexpr std::size_t kMaxClients = 16;
constexpr std::size_t kMaxControlLine = 4096;
constexpr std::size_t kMaxControlOut = 4u << 20;
constexpr int kRecvBurst = 512;                 // datagrams per socket per loop turn
constexpr std::size_t kMaxTcp = 4096;           // camera connections at once
constexpr std::size_t kMaxTcpOut = 1u << 20;    // unsent answer bytes per connection
constexpr std::int64_t kCloseLingerMs = 3000;   // time to flush an answer before closing
constexpr const char *kWsdGroup = "239.255.255.250";

std::int64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void say(const std::string &s) { std::fprintf(stderr, "lan-sim: %s\n", s.c_str()); }

struct UdpPort {
  std::uint16_t port = 0;
  int fd = -1;
  std::deque<Outgoing> backlog;
};

struct Client {
  int fd = -1;
  std::string in, out;
  bool readClosed = false;
  bool closeAfterWrite = false;
};

struct Listener {
  Endpoint at;
  int fd = -1;
};

struct Conn {
  int fd = -1;
  std::uint64_t session = 0;
  std::string out;
  bool closing = false;  // no more reading; close once out is sent
  std::int64_t deadline = 0;
  bool sessionOpen = true;
};

struct Due {
  std::int64_t at;
  std::uint64_t seq;
  Outgoing o;
  bool operator>(const Due &b) const { return at != b.at ? at > b.at : seq > b.seq; }
};

int openUdp(std::uint16_t port) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  // Buffers large enough for a thousand answers to one search.
  int buf = 8 << 20;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
  if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &buf, sizeof buf) != 0)
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buf, sizeof buf);
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buf, sizeof buf) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buf, sizeof buf);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

// A listening TCP socket on one camera address; the local route of the
// simulated range lets it bind there.
int openTcp(const Ipv4 &ip, std::uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  std::memcpy(&a.sin_addr, ip.data(), 4);
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd, 64) != 0) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

// Many cameras mean many listening sockets.
void raiseFileLimit() {
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
    r.rlim_cur = r.rlim_max;
    setrlimit(RLIMIT_NOFILE, &r);
  }
}

// The device that limited broadcasts leave through: the local route for the
// simulated range sits on loopback, so the kernel would pick that otherwise.
bool pickInterface(const std::string &name, unsigned &index) {
  if (!name.empty()) {
    index = if_nametoindex(name.c_str());
    if (!index) say("no interface " + name);
    return index != 0;
  }
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  std::set<std::string> up;
  for (ifaddrs *p = list; p; p = p->ifa_next)
    if ((p->ifa_flags & IFF_UP) && !(p->ifa_flags & IFF_LOOPBACK)) up.insert(p->ifa_name);
  freeifaddrs(list);
  if (up.size() != 1) {
    say(up.empty() ? "no interface is up; give --interface"
                   : "several interfaces are up; give --interface");
    return false;
  }
  index = if_nametoindex(up.begin()->c_str());
  return index != 0;
}

// 0 sent, 1 try again later, -1 dropped.
int sendOne(int fd, const Outgoing &o, unsigned ifindex) {
  sockaddr_in dst{};
  dst.sin_family = AF_INET;
  dst.sin_port = htons(o.dstPort);
  std::memcpy(&dst.sin_addr, o.dst.data(), 4);
  iovec iov{const_cast<std::uint8_t *>(o.data->data()), o.data->size()};
  alignas(cmsghdr) char ctrl[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr m{};
  m.msg_name = &dst;
  m.msg_namelen = sizeof dst;
  m.msg_iov = &iov;
  m.msg_iovlen = 1;
  m.msg_control = ctrl;
  m.msg_controllen = sizeof ctrl;
  cmsghdr *c = CMSG_FIRSTHDR(&m);
  c->cmsg_level = IPPROTO_IP;
  c->cmsg_type = IP_PKTINFO;
  c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo pi{};
  const bool broadcast = o.dst == Ipv4{255, 255, 255, 255};
  pi.ipi_ifindex = broadcast ? static_cast<int>(ifindex) : 0;
  std::memcpy(&pi.ipi_spec_dst, o.src.data(), 4);
  std::memcpy(CMSG_DATA(c), &pi, sizeof pi);
  if (sendmsg(fd, &m, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) return 0;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return 1;
  return -1;
}

int openControl(const std::string &path) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (path.size() >= sizeof a.sun_path) {
    say("control path too long: " + path);
    return -1;
  }
  std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      say(path + " exists and is not a socket");
      return -1;
    }
    unlink(path.c_str());
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd, 16) != 0) {
    say("cannot listen on " + path + ": " + std::strerror(errno));
    close(fd);
    return -1;
  }
  chmod(path.c_str(), 0666);  // the directory around it decides who may connect
  return fd;
}

}  // namespace

int runNetwork(Simulator &sim, const NetOptions &opt) {
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  sigset_t blocked, waitMask;
  sigemptyset(&blocked);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&blocked, s);
  sigprocmask(SIG_BLOCK, &blocked, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGHUP);

  if (opt.verbose) sim.log = [](const std::string &s) { say(s); };

  unsigned ifindex = 0;
  bool onvif = false;
  for (std::size_t i = 0; i < sim.size(); ++i) onvif = onvif || sim.camera(i).family == 10;
  // Broadcast answers leave through the device; ONVIF cameras hear the
  // discovery group on it.
  if ((sim.config().reply == ReplyMode::Broadcast || onvif) && !pickInterface(opt.interface, ifindex)) return 2;

  std::vector<UdpPort> ports;
  raiseFileLimit();
  for (std::uint16_t p : {kPortMoI, kPortCtp, kPortBin8, kPortT9, kPortDvs, kPortWsd}) {
    UdpPort u;
    u.port = p;
    u.fd = openUdp(p);
    if (u.fd < 0) {
      say("cannot bind UDP port " + std::to_string(p) + ": " + std::strerror(errno));
      return 2;
    }
    if (p == kPortWsd && onvif) {
      ip_mreqn m{};
      inet_pton(AF_INET, kWsdGroup, &m.imr_multiaddr);
      m.imr_ifindex = static_cast<int>(ifindex);
      if (setsockopt(u.fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0) {
        say(std::string("cannot join the WS-Discovery group: ") + std::strerror(errno));
        return 2;
      }
    }
    ports.push_back(std::move(u));
  }

  int controlFd = -1;
  if (!opt.controlPath.empty()) {
    controlFd = openControl(opt.controlPath);
    if (controlFd < 0) return 2;
  }
  say(std::to_string(sim.size()) + " cameras ready" +
      (opt.controlPath.empty() ? std::string() : ", control socket " + opt.controlPath));

  std::priority_queue<Due, std::vector<Due>, std::greater<Due>> pending;
  std::uint64_t seq = 0;
  std::vector<Client> clients;
  std::vector<Outgoing> out;
  std::uint64_t dropped = 0;
  bool quit = false;

  auto portIndex = [&ports](std::uint16_t p) -> UdpPort * {
    for (auto &u : ports)
      if (u.port == p) return &u;
    return nullptr;
  };
  auto transmit = [&](Outgoing &&o) {
    if (!sim.deliverable(o)) return;
    UdpPort *u = portIndex(o.localPort);
    if (!u) return;
    if (!u->backlog.empty()) {
      if (u->backlog.size() < kMaxBacklog) u->backlog.push_back(std::move(o));
      else ++dropped;
      return;
    }
    int r = sendOne(u->fd, o, ifindex);
    if (r == 1) u->backlog.push_back(std::move(o));
    else if (r < 0) ++dropped;
  };

  // TCP: listeners where the cameras serve, and the connections to them.
  std::map<std::pair<std::uint32_t, std::uint16_t>, Listener> listeners;
  std::vector<Conn> conns;
  std::uint64_t seenGeneration = 0;
  std::set<std::tuple<std::uint32_t, std::uint16_t, std::size_t>> reportedFailures;  // said once each
  sim.tick(nowMs());

  auto closeConn = [&](Conn &c) {
    shutdown(c.fd, SHUT_WR);
    close(c.fd);
    c.fd = -1;
    if (c.sessionOpen) sim.sessionClosed(c.session);
    c.sessionOpen = false;
  };
  auto startClosing = [&](Conn &c) {
    if (c.closing) return;
    c.closing = true;
    c.deadline = nowMs() + kCloseLingerMs;
  };
  // Brings the listeners in line with the cameras' present addresses and
  // lets go of connections whose camera moved, restarted or stopped.
  auto reconcile = [&]() {
    seenGeneration = sim.generation();
    std::map<std::pair<std::uint32_t, std::uint16_t>, Endpoint> want;
    for (const Endpoint &e : sim.endpoints()) want.emplace(std::make_pair(ipv4ToHost(e.ip), e.port), e);
    for (auto it = listeners.begin(); it != listeners.end();) {
      auto w = want.find(it->first);
      if (w != want.end() && w->second == it->second.at) {
        want.erase(w);
        ++it;
        continue;
      }
      close(it->second.fd);
      it = listeners.erase(it);
    }
    for (auto &[key, e] : want) {
      int fd = openTcp(e.ip, e.port);
      if (fd < 0) {
        if (reportedFailures.emplace(key.first, key.second, e.camera).second)
          say("camera " + sim.camera(e.camera).id + " cannot serve TCP " + ipv4Text(e.ip) + ":" +
              std::to_string(e.port) + ": " + std::strerror(errno));
        continue;
      }
      listeners.emplace(key, Listener{e, fd});
    }
    for (auto &c : conns)
      if (!sim.sessionCurrent(c.session)) startClosing(c);
  };

  std::uint8_t buf[kMaxDatagram];
  std::vector<std::uint8_t> tcpBuf(64 * 1024);
  while (!quit && !gSignal) {
    sim.tick(nowMs());
    if (sim.generation() != seenGeneration) reconcile();

    std::vector<pollfd> fds;
    for (auto &u : ports)
      fds.push_back({u.fd, static_cast<short>(POLLIN | (u.backlog.empty() ? 0 : POLLOUT)), 0});
    const std::size_t controlAt = fds.size();
    if (controlFd >= 0) fds.push_back({controlFd, static_cast<short>(clients.size() < kMaxClients ? POLLIN : 0), 0});
    const std::size_t clientsAt = fds.size();
    for (auto &c : clients)
      fds.push_back({c.fd, static_cast<short>((c.readClosed ? 0 : POLLIN) | (c.out.empty() ? 0 : POLLOUT)), 0});
    const std::size_t listenersAt = fds.size();
    std::vector<Listener *> listenerOf;
    for (auto &[key, l] : listeners) {
      fds.push_back({l.fd, static_cast<short>(conns.size() < kMaxTcp ? POLLIN : 0), 0});
      listenerOf.push_back(&l);
    }
    const std::size_t connsAt = fds.size();
    for (auto &c : conns)
      fds.push_back({c.fd, static_cast<short>((c.closing ? 0 : POLLIN) | (c.out.empty() ? 0 : POLLOUT)), 0});

    std::int64_t wake = pending.empty() ? -1 : pending.top().at;
    if (std::int64_t w = sim.nextWakeMs(); w >= 0 && (wake < 0 || w < wake)) wake = w;
    for (auto &c : conns)
      if (c.closing && (wake < 0 || c.deadline < wake)) wake = c.deadline;
    timespec timeout{1, 0};
    timespec *tp = nullptr;
    if (wake >= 0) {
      std::int64_t wait = std::max<std::int64_t>(0, wake - nowMs());
      timeout = {static_cast<time_t>(wait / 1000), static_cast<long>(wait % 1000) * 1000000};
      tp = &timeout;
    }
    int n = ppoll(fds.data(), fds.size(), tp, &waitMask);
    if (n < 0 && errno != EINTR) {
      say(std::string("poll: ") + std::strerror(errno));
      break;
    }
    sim.tick(nowMs());

    for (std::size_t i = 0; i < ports.size() && n > 0; ++i) {
      UdpPort &u = ports[i];
      if (fds[i].revents & POLLOUT) {
        while (!u.backlog.empty()) {
          if (!sim.deliverable(u.backlog.front())) {
            u.backlog.pop_front();
            continue;
          }
          int r = sendOne(u.fd, u.backlog.front(), ifindex);
          if (r == 1) break;
          if (r < 0) ++dropped;
          u.backlog.pop_front();
        }
      }
      if (!(fds[i].revents & POLLIN)) continue;
      for (int burst = 0; burst < kRecvBurst; ++burst) {
        sockaddr_in from{};
        iovec iov{buf, sizeof buf};
        alignas(cmsghdr) char ctrl[256];
        msghdr m{};
        m.msg_name = &from;
        m.msg_namelen = sizeof from;
        m.msg_iov = &iov;
        m.msg_iovlen = 1;
        m.msg_control = ctrl;
        m.msg_controllen = sizeof ctrl;
        ssize_t got = recvmsg(u.fd, &m, MSG_DONTWAIT);
        if (got < 0) break;
        if (m.msg_flags & MSG_TRUNC) {
          if (opt.verbose) say("ignored an oversized datagram on port " + std::to_string(u.port));
          continue;
        }
        Incoming in;
        in.localPort = u.port;
        std::memcpy(in.src.data(), &from.sin_addr, 4);
        in.srcPort = ntohs(from.sin_port);
        in.data = ByteView(buf, static_cast<std::size_t>(got));
        out.clear();
        sim.onDatagram(in, out);
        for (auto &o : out) {
          if (o.delayMs <= 0) {
            transmit(std::move(o));
          } else if (pending.size() < kMaxPending) {
            std::int64_t at = nowMs() + o.delayMs;
            pending.push(Due{at, seq++, std::move(o)});
          } else {
            ++dropped;
          }
        }
      }
    }

    const std::int64_t now = nowMs();
    while (!pending.empty() && pending.top().at <= now) {
      Outgoing o = pending.top().o;
      pending.pop();
      transmit(std::move(o));
    }

    // New connections; the camera behind a listener is the one it was opened for.
    for (std::size_t i = 0; i < listenerOf.size(); ++i) {
      if (!(fds[listenersAt + i].revents & POLLIN)) continue;
      for (int k = 0; k < 64 && conns.size() < kMaxTcp; ++k) {
        int c = accept4(listenerOf[i]->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (c < 0) break;
        int one = 1;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        conns.push_back(Conn{c, sim.openSession(listenerOf[i]->at), {}, false, 0, true});
      }
    }
    const std::size_t polledConns = std::min(conns.size(), fds.size() - connsAt);
    for (std::size_t i = 0; i < polledConns; ++i) {
      Conn &c = conns[i];
      const short ev = fds[connsAt + i].revents;
      bool fed = false;
      if (!c.closing && (ev & (POLLIN | POLLHUP | POLLERR))) {
        for (int k = 0; k < 16 && !c.closing; ++k) {
          ssize_t r = read(c.fd, tcpBuf.data(), tcpBuf.size());
          if (r > 0) {
            fed = true;
            if (!sim.sessionInput(c.session, ByteView(tcpBuf.data(), static_cast<std::size_t>(r)), c.out))
              startClosing(c);
            if (c.out.size() > kMaxTcpOut) startClosing(c);
            // A short read took all there was: answer now rather than spend a read on
            // learning that nothing more has come.
            if (static_cast<std::size_t>(r) < tcpBuf.size()) break;
            continue;
          }
          if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            // The peer is done: an upload counts once its sender has closed.
            if (c.sessionOpen) sim.sessionClosed(c.session);
            c.sessionOpen = false;
            startClosing(c);
          }
          break;
        }
      }
      if (!c.out.empty()) {
        ssize_t w = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) c.out.erase(0, static_cast<std::size_t>(w));
        else if (w < 0 && errno != EAGAIN && errno != EINTR) c.out.clear(), startClosing(c);
      }
      if (fed && c.out.empty() && c.sessionOpen) sim.sessionIdle(c.session);
      if (ev & POLLNVAL) c.out.clear(), startClosing(c);
    }
    // A session may have moved its camera or ended a restart: look again.
    if (sim.generation() != seenGeneration) reconcile();
    const std::int64_t after = nowMs();
    for (std::size_t i = conns.size(); i-- > 0;) {
      Conn &c = conns[i];
      if (c.closing && (c.out.empty() || after >= c.deadline)) {
        closeConn(c);
        conns.erase(conns.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }

    if (controlFd >= 0 && (fds[controlAt].revents & POLLIN)) {
      int c = accept4(controlFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (c >= 0) clients.push_back(Client{c, {}, {}, false, false});
    }
    for (std::size_t i = 0; i < clients.size() && clientsAt + i < fds.size() && clientsAt + i < listenersAt; ++i) {
      Client &c = clients[i];
      const short ev = fds[clientsAt + i].revents;
      if (ev & (POLLIN | POLLHUP)) {
        char tmp[1024];
        ssize_t r = read(c.fd, tmp, sizeof tmp);
        if (r > 0) c.in.append(tmp, static_cast<std::size_t>(r));
        else if (r == 0 || (errno != EAGAIN && errno != EINTR)) c.readClosed = true;
        std::size_t nl;
        while (!c.closeAfterWrite && (nl = c.in.find('\n')) != std::string::npos && nl <= kMaxControlLine) {
          std::string line = c.in.substr(0, nl);
          c.in.erase(0, nl + 1);
          c.out += sim.control(line, quit);
        }
        if (!c.closeAfterWrite && c.in.size() > kMaxControlLine) {
          c.out += "error line too long\n";
          c.in.clear();
          c.readClosed = c.closeAfterWrite = true;
        }
        if (c.out.size() > kMaxControlOut) c.readClosed = c.closeAfterWrite = true;
      }
      if (!c.out.empty()) {
        ssize_t w = write(c.fd, c.out.data(), c.out.size());
        if (w > 0) c.out.erase(0, static_cast<std::size_t>(w));
        else if (w < 0 && errno != EAGAIN && errno != EINTR) c.out.clear(), c.readClosed = true;
      }
      if (ev & (POLLERR | POLLNVAL)) c.out.clear(), c.readClosed = true;
    }
    // A client that has said all it wanted and got its answers is done.
    for (std::size_t i = clients.size(); i-- > 0;) {
      if (clients[i].readClosed && clients[i].out.empty()) {
        close(clients[i].fd);
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }

  for (auto &c : conns) closeConn(c);
  for (auto &[key, l] : listeners) close(l.fd);
  // Let the answer to "quit" reach its client.
  for (auto &c : clients) {
    if (!c.out.empty()) {
      ssize_t w = write(c.fd, c.out.data(), c.out.size());
      (void)w;
    }
    close(c.fd);
  }
  if (controlFd >= 0) {
    close(controlFd);
    unlink(opt.controlPath.c_str());
  }
  for (auto &u : ports) close(u.fd);
  say("stopped" + (gSignal ? " by signal " + std::to_string(gSignal) : std::string()) +
      (dropped ? ", " + std::to_string(dropped) + " answers dropped" : std::string()));
  return 0;
}

int runControlClient(const std::string &path, const std::string &command) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (path.size() >= sizeof a.sun_path) {
    say("control path too long");
    return 2;
  }
  std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    say("cannot connect to " + path + ": " + std::strerror(errno));
    if (fd >= 0) close(fd);
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  std::string line = command + "\n";
  std::size_t off = 0;
  while (off < line.size()) {
    ssize_t w = write(fd, line.data() + off, line.size() - off);
    if (w <= 0) break;
    off += static_cast<std::size_t>(w);
  }
  shutdown(fd, SHUT_WR);
  std::string answer;
  char tmp[4096];
  ssize_t r;
  while ((r = read(fd, tmp, sizeof tmp)) > 0) answer.append(tmp, static_cast<std::size_t>(r));
  close(fd);
  std::fwrite(answer.data(), 1, answer.size(), stdout);
  auto last = answer.rfind('\n', answer.size() >= 2 ? answer.size() - 2 : 0);
  std::string lastLine = last == std::string::npos ? answer : answer.substr(last + 1);
  return lastLine.starts_with("ok") ? 0 : 1;
}

}  // namespace lansim
