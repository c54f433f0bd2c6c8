// Helpers of the simulated-LAN tests: a UDP socket of the PC that sees where
// answers were sent, TCP with time-outs, and lan-sim's control socket.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace simlan {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline std::string hex(const Bytes &b) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < b.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", b[i]);
    s += buf;
    s += (i % 16 == 15) ? '\n' : ' ';
  }
  return s;
}

inline std::int64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

inline const char *env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "";
}

struct Datagram {
  std::string from;  // sender address
  std::uint16_t fromPort = 0;
  std::string to;    // destination address as received
  Bytes data;
};

// A UDP socket of the PC that broadcasts and sees where answers were sent.
class PcSocket {
 public:
  explicit PcSocket(std::uint16_t port) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    int one = 1;
    setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    bound_ = bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
  }
  ~PcSocket() { close(fd_); }
  bool bound() const { return bound_; }

  void broadcast(std::uint16_t port, const Bytes &data) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    ASSERT_EQ(sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to),
              static_cast<ssize_t>(data.size()));
  }

  // Everything that arrives within ms, except the PC's own broadcasts.
  // collectOwn: those only, as a spy on the PC's own sends.
  std::vector<Datagram> collectOwn(int ms) {
    std::vector<Datagram> out;
    for (auto &d : collect(ms, true))
      if (d.from == env("SIMLAN_PC_IP")) out.push_back(std::move(d));
    return out;
  }
  std::vector<Datagram> collect(int ms, bool own = false) {
    std::vector<Datagram> out;
    const std::int64_t end = nowMs() + ms;
    for (std::int64_t left; (left = end - nowMs()) > 0;) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      std::uint8_t buf[4096];
      sockaddr_in from{};
      alignas(cmsghdr) char ctrl[256];
      iovec iov{buf, sizeof buf};
      msghdr m{};
      m.msg_name = &from;
      m.msg_namelen = sizeof from;
      m.msg_iov = &iov;
      m.msg_iovlen = 1;
      m.msg_control = ctrl;
      m.msg_controllen = sizeof ctrl;
      ssize_t n = recvmsg(fd_, &m, 0);
      if (n < 0) continue;
      Datagram d;
      char text[INET_ADDRSTRLEN];
      d.from = inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
      d.fromPort = ntohs(from.sin_port);
      for (cmsghdr *c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
          in_pktinfo pi{};
          std::memcpy(&pi, CMSG_DATA(c), sizeof pi);
          d.to = inet_ntop(AF_INET, &pi.ipi_addr, text, sizeof text);
        }
      d.data.assign(buf, buf + n);
      if (!own && d.from == env("SIMLAN_PC_IP")) continue;
      out.push_back(std::move(d));
    }
    return out;
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
};

// One command to lan-sim's control socket; returns the whole answer.
inline std::string control(const std::string &line) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", env("SIMLAN_CONTROL"));
  if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    close(fd);
    return "error cannot connect";
  }
  std::string msg = line + "\n";
  if (write(fd, msg.data(), msg.size()) != static_cast<ssize_t>(msg.size())) return "error write";
  shutdown(fd, SHUT_WR);
  std::string answer;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) answer.append(buf, static_cast<std::size_t>(n));
  close(fd);
  return answer;
}

// A TCP connection of the PC with time-outs on every step.
class TcpClient {
 public:
  TcpClient(const std::string &ip, std::uint16_t port, int timeoutMs = 1000) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    if (connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
      error_ = errno;
      return;
    }
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, timeoutMs) != 1) {
      error_ = ETIMEDOUT;
      return;
    }
    socklen_t len = sizeof error_;
    getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error_, &len);
    connected_ = error_ == 0;
  }
  ~TcpClient() {
    if (fd_ >= 0) close(fd_);
  }
  TcpClient(const TcpClient &) = delete;
  TcpClient &operator=(const TcpClient &) = delete;
  bool connected() const { return connected_; }
  int error() const { return error_; }
  bool peerClosed() const { return closed_; }

  bool send(std::string_view data) {
    std::size_t off = 0;
    const std::int64_t end = nowMs() + 2000;
    while (off < data.size() && nowMs() < end) {
      ssize_t n = ::send(fd_, data.data() + off, data.size() - off, MSG_NOSIGNAL);
      if (n > 0) {
        off += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, 50);
      } else {
        return false;
      }
    }
    return off == data.size();
  }
  void shutdownWrite() { shutdown(fd_, SHUT_WR); }

  // Reads until done() accepts the text, the peer closes, or ms have passed.
  std::string readUntil(const std::function<bool(const std::string &)> &done, int ms) {
    std::string got;
    const std::int64_t end = nowMs() + ms;
    while (!closed_ && !(done && done(got))) {
      const std::int64_t left = end - nowMs();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[8192];
      ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EAGAIN) closed_ = true;
    }
    return got;
  }
  std::string readAll(int ms) { return readUntil(nullptr, ms); }

 private:
  int fd_ = -1;
  int error_ = 0;
  bool connected_ = false, closed_ = false;
};

// One HTTP request on a new connection; the whole answer, up to the close.
inline std::string httpRequest(const std::string &ip, std::uint16_t port, const std::string &request) {
  TcpClient c(ip, port);
  if (!c.connected() || !c.send(request)) return "";
  return c.readAll(3000);
}

inline int httpStatus(const std::string &response) {
  return response.rfind("HTTP/1.", 0) == 0 && response.size() > 12 ? std::atoi(response.c_str() + 9) : 0;
}

inline std::string httpBody(const std::string &response) {
  auto p = response.find("\r\n\r\n");
  return p == std::string::npos ? "" : response.substr(p + 4);
}

// Polls until cond holds or ms have passed.
inline bool eventually(const std::function<bool()> &cond, int ms) {
  const std::int64_t end = nowMs() + ms;
  while (nowMs() < end) {
    if (cond()) return true;
    usleep(50 * 1000);
  }
  return cond();
}

}  // namespace simlan
