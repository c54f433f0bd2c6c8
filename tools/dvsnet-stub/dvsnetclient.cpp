// The stand-in search library of family 4: one background search at a time,
// configure calls on the caller's thread, callbacks from the search thread.
#include "dvsnetclient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "dvsnet_wire.h"

#define DVSNET_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr std::size_t kMaxCamerasPerSearch = 4096;

std::int64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::uint16_t newTransaction() {
  static std::atomic<std::uint32_t> counter{0};
  static const std::uint32_t seed = std::random_device{}();
  return static_cast<std::uint16_t>((seed + counter.fetch_add(0x9E37)) & 0xFFFF);
}

int broadcastSocket() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The interfaces a broadcast goes out of: up, running, able to broadcast, not loopback, with
// an IPv4 address. A limited broadcast would otherwise leave only through the interface of the
// default route, and cameras behind a second network card would never be found.
std::vector<unsigned> broadcastInterfaces() {
  std::vector<unsigned> out;
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  for (const ifaddrs *i = list; i; i = i->ifa_next) {
    const unsigned need = IFF_UP | IFF_RUNNING | IFF_BROADCAST;
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & need) != need ||
        (i->ifa_flags & IFF_LOOPBACK))
      continue;
    const unsigned index = if_nametoindex(i->ifa_name);
    if (index != 0 && std::find(out.begin(), out.end(), index) == out.end()) out.push_back(index);
  }
  freeifaddrs(list);
  return out;
}

void sendBroadcast(int fd, std::uint16_t port, const std::vector<unsigned char> &data) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  auto sendOn = [&](unsigned index) {
    iovec iov{const_cast<unsigned char *>(data.data()), data.size()};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (index != 0) {
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      cmsghdr *c = CMSG_FIRSTHDR(&msg);
      c->cmsg_level = IPPROTO_IP;
      c->cmsg_type = IP_PKTINFO;
      c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
      in_pktinfo info{};
      info.ipi_ifindex = static_cast<int>(index);
      std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    // A lost probe is made good by the next one or the next search.
    (void)sendmsg(fd, &msg, MSG_NOSIGNAL);
  };
  const std::vector<unsigned> interfaces = broadcastInterfaces();
  if (interfaces.empty()) sendOn(0);
  for (unsigned index : interfaces) sendOn(index);
}

// One datagram into buf; the size, or -1 when there is none or it was cut.
ssize_t receive(int fd, unsigned char *buf, std::size_t size) {
  ssize_t n = recv(fd, buf, size, MSG_DONTWAIT | MSG_TRUNC);
  if (n < 0 || static_cast<std::size_t>(n) > size) return -1;
  return n;
}

std::atomic<int> gPort{dvsnet::kDefaultPort};

// The search, one per loaded library.
struct Search {
  std::mutex m;                // guards everything below
  std::condition_variable cv;  // signalled when the thread ends
  std::mutex control;          // one start or stop at a time, callers' threads only
  std::thread worker;
  std::thread::id workerId;
  bool running = false, stop = false, again = false;
  DVSNET_SEARCH_CALLBACK callback = nullptr;
  void *user = nullptr;
  int waitMs = 3000, probes = 1;
  std::uint16_t port = dvsnet::kDefaultPort;
  int fd = -1;
};

// Freed on unloading once its thread is gone; a thread stuck in a callback
// keeps it, so that it never finds it destroyed.
Search *gSearch = new Search;

Search &search() { return *gSearch; }

void runSearch() {
  Search &s = search();
  std::unique_lock<std::mutex> lock(s.m);
  const int fd = s.fd;
  for (;;) {
    s.again = false;
    const DVSNET_SEARCH_CALLBACK callback = s.callback;
    void *const user = s.user;
    const int waitMs = s.waitMs, probes = s.probes;
    const std::uint16_t port = s.port;
    lock.unlock();

    const std::uint16_t tx = newTransaction();
    const std::vector<unsigned char> probe = dvsnet::searchRequest(tx);
    const std::int64_t start = nowMs(), end = start + waitMs;
    const std::int64_t gap = std::min<std::int64_t>(500, waitMs / (2 * probes) + 1);
    std::int64_t nextProbe = start;
    int sent = 0;
    std::set<std::array<unsigned char, 6>> seen;
    unsigned char buf[dvsnet::kMaxDatagram];
    bool restart = false;
    for (std::int64_t now = start; now < end; now = nowMs()) {
      if (sent < probes && now >= nextProbe) {
        sendBroadcast(fd, port, probe);
        ++sent;
        nextProbe = now + gap;
      }
      std::int64_t wait = std::min<std::int64_t>(50, end - now);
      if (sent < probes) wait = std::min(wait, std::max<std::int64_t>(0, nextProbe - now));
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, static_cast<int>(wait));
      for (ssize_t n; (n = receive(fd, buf, sizeof buf)) >= 0;) {
        auto cam = dvsnet::parseSearchAnswer(buf, static_cast<std::size_t>(n), tx);
        if (!cam || seen.size() >= kMaxCamerasPerSearch || !seen.insert(cam->mac).second) continue;
        callback(cam->serial.c_str(), cam->name.c_str(), cam->version.c_str(), cam->ip.c_str(), cam->mac.data(),
                 cam->webPort, cam->dataPort, cam->mask.c_str(), cam->gateway.c_str(), cam->extraAddr.c_str(),
                 cam->dns.c_str(), cam->extraPort, cam->extraValue, cam->dhcp, user);
      }
      std::lock_guard<std::mutex> g(s.m);
      if (s.stop) break;
      if (s.again) {
        restart = true;
        break;
      }
    }
    lock.lock();
    if (s.stop || !(restart || s.again)) break;
  }
  s.running = false;
  close(s.fd);
  s.fd = -1;
  s.cv.notify_all();
}

// Waits for a finished or stopping thread; the caller holds s.control.
void joinWorker(Search &s) {
  if (s.worker.joinable()) s.worker.join();
}

// Unloading without StopSearch: end the search, but do not wait for ever
// for a callback that never returns.
__attribute__((destructor)) void unload() {
  Search &s = search();
  std::unique_lock<std::mutex> lock(s.m);
  s.stop = true;
  if (s.worker.joinable()) {
    if (!s.cv.wait_for(lock, std::chrono::seconds(2), [&s] { return !s.running; })) {
      s.worker.detach();
      return;
    }
    lock.unlock();
    s.worker.join();
  } else {
    lock.unlock();
  }
  delete gSearch;
  gSearch = nullptr;
}

}  // namespace

DVSNET_EXPORT int DVSNET_SearchServers(int waitMs, int probes, DVSNET_SEARCH_CALLBACK callback, void *userData,
                                       int port) {
  if (!callback || port < 0 || port > 65535) return -1;
  Search &s = search();
  auto configure = [&] {
    s.callback = callback;
    s.user = userData;
    s.waitMs = std::clamp(waitMs, 100, 60000);
    s.probes = std::clamp(probes, 1, 10);
    s.port = static_cast<std::uint16_t>(port ? port : dvsnet::kDefaultPort);
    gPort = s.port;
  };
  {
    // A search that is still running takes the new arguments and starts afresh.
    std::lock_guard<std::mutex> lock(s.m);
    if (s.running && !s.stop) {
      configure();
      s.again = true;
      return 0;
    }
    if (s.running && std::this_thread::get_id() == s.workerId) return -2;
  }
  std::lock_guard<std::mutex> control(s.control);
  joinWorker(s);
  std::lock_guard<std::mutex> lock(s.m);
  if (s.running) {  // another caller started one meanwhile
    configure();
    s.again = true;
    return 0;
  }
  const int fd = broadcastSocket();
  if (fd < 0) return -2;
  configure();
  s.fd = fd;
  s.stop = s.again = false;
  s.running = true;
  s.worker = std::thread(runSearch);
  s.workerId = s.worker.get_id();
  return 0;
}

DVSNET_EXPORT int DVSNET_StopSearch(void) {
  Search &s = search();
  {
    std::lock_guard<std::mutex> lock(s.m);
    s.stop = true;
    // From inside a callback: the thread ends when the callback returns.
    if (std::this_thread::get_id() == s.workerId) return 0;
  }
  std::lock_guard<std::mutex> control(s.control);
  joinWorker(s);
  return 0;
}

DVSNET_EXPORT int DVSNET_ConfigServer(const unsigned char *mac, const char *user, const char *password,
                                      const char *name, const char *ip, int webPort, int dataPort, const char *mask,
                                      const char *gateway, const char *extraAddr, const char *dns, int extraPort,
                                      int dhcp) {
  if (!mac || !user || !password || !name || !ip || !mask || !gateway || !extraAddr || !dns) return -1;
  dvsnet::Settings st;
  std::copy(mac, mac + 6, st.mac.begin());
  // Texts are read up to a bound, so that a missing terminator cannot run on.
  auto text = [](const char *p, std::size_t max) { return std::string(p, strnlen(p, max)); };
  st.user = text(user, 64);
  st.password = text(password, 64);
  st.name = text(name, 128);
  st.ip = text(ip, 32);
  st.mask = text(mask, 32);
  st.gateway = text(gateway, 32);
  st.extraAddr = *extraAddr ? text(extraAddr, 32) : "0.0.0.0";
  st.dns = text(dns, 32);
  st.webPort = webPort;
  st.dataPort = dataPort;
  st.extraPort = extraPort;
  st.dhcp = dhcp;
  const std::uint16_t tx = newTransaction();
  const auto request = dvsnet::configRequest(st, tx);
  if (!request) return -1;

  const int fd = broadcastSocket();
  if (fd < 0) return -2;
  const std::uint16_t port = static_cast<std::uint16_t>(gPort.load());
  int result = 1;
  unsigned char buf[dvsnet::kMaxDatagram];
  for (int attempt = 0; attempt < 3 && result == 1; ++attempt) {
    sendBroadcast(fd, port, *request);
    const std::int64_t end = nowMs() + 500;
    for (std::int64_t now = nowMs(); now < end && result == 1; now = nowMs()) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, static_cast<int>(end - now));
      for (ssize_t n; result == 1 && (n = receive(fd, buf, sizeof buf)) >= 0;) {
        auto answer = dvsnet::parseConfigAnswer(buf, static_cast<std::size_t>(n), tx, st.mac);
        if (!answer) continue;
        result = *answer == 0 ? 0 : *answer == 1 ? 2 : 3;
      }
    }
  }
  close(fd);
  return result;
}
