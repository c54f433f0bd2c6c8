// The stand-in library of family 4, loaded the way the program loads it:
// dlopen() from the "909" folder beside the executable, each entry point
// looked up by name where it is used. Runs inside scripts/simlan against
// cameras.ini, whose family-4 cameras answer it.
#include <dlfcn.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "simlan_support.h"
#include "TestTiming.h"

namespace {

using namespace simlan;

using Callback = void (*)(const char *, const char *, const char *, const char *, const unsigned char *, int, int,
                          const char *, const char *, const char *, const char *, int, int, int, void *);
using SearchFn = int (*)(int, int, Callback, void *, int);
using ConfigFn = int (*)(const unsigned char *, const char *, const char *, const char *, const char *, int, int,
                         const char *, const char *, const char *, const char *, int, int);
using StopFn = int (*)();

std::string libraryPath() {
  char exe[4096] = {};
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string dir(exe, n > 0 ? static_cast<std::size_t>(n) : 0);
  return dir.substr(0, dir.rfind('/') + 1) + "909/libdvsnetclient.so";
}

struct Found {
  std::string serial, name, version, ip, mask, gateway, extraAddr, dns;
  Bytes mac;
  int webPort, dataPort, extraPort, extraValue, dhcp;
  std::thread::id thread;
};

void *gLibrary = nullptr;

void stopSearchNow() {
  if (!gLibrary) return;
  if (auto stop = reinterpret_cast<StopFn>(dlsym(gLibrary, "DVSNET_StopSearch"))) stop();
}

// What the callbacks of one search reported. It ends the search before it
// goes, so that no callback finds it gone.
struct Reports {
  Reports() = default;
  Reports(const Reports &) = delete;
  ~Reports() { stopSearchNow(); }
  std::mutex m;
  std::condition_variable cv;
  std::vector<Found> all;
  std::function<void(Reports &)> onReport;  // runs on the library's thread

  static void callback(const char *serial, const char *name, const char *version, const char *ip,
                       const unsigned char *mac, int webPort, int dataPort, const char *mask, const char *gateway,
                       const char *extraAddr, const char *dns, int extraPort, int extraValue, int dhcp, void *user) {
    auto *self = static_cast<Reports *>(user);
    {
      std::lock_guard<std::mutex> lock(self->m);
      self->all.push_back(Found{serial, name, version, ip, mask, gateway, extraAddr, dns, Bytes(mac, mac + 6), webPort,
                                dataPort, extraPort, extraValue, dhcp, std::this_thread::get_id()});
    }
    self->cv.notify_all();
    if (self->onReport) self->onReport(*self);
  }
  bool waitFor(std::size_t n, int ms) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return all.size() >= n; });
  }
  std::size_t count() {
    std::lock_guard<std::mutex> lock(m);
    return all.size();
  }
  std::map<std::string, Found> byIp() {
    std::lock_guard<std::mutex> lock(m);
    std::map<std::string, Found> out;
    for (const auto &f : all) out[f.ip] = f;
    return out;
  }
};

class StubLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gLibrary = handle_ = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL); }
  static void TearDownTestSuite() {
    if (handle_) {
      stopSearchNow();
      dlclose(handle_);
    }
    gLibrary = handle_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(handle_, nullptr) << dlerror();
    if (std::string(env("SIMLAN_CONTROL")).empty()) GTEST_SKIP() << "runs only inside scripts/simlan";
    ASSERT_EQ(control("reset all"), "ok 14\n");
  }
  void TearDown() override {
    if (handle_) stopSearch();
    if (!std::string(env("SIMLAN_CONTROL")).empty()) control("reset all");
  }
  template <typename F>
  static F entry(const char *name) {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }
  static int searchServers(int ms, int probes, Reports &r, int port = 0) {
    auto f = entry<SearchFn>("DVSNET_SearchServers");
    return f ? f(ms, probes, &Reports::callback, &r, port) : -100;
  }
  static int stopSearch() {
    auto f = entry<StopFn>("DVSNET_StopSearch");
    return f ? f() : -100;
  }
  static int configServer(const Bytes &mac, const char *user, const char *pwd, const char *ip, int web = 80,
                          const char *name = "Yard", int dhcp = 0) {
    auto f = entry<ConfigFn>("DVSNET_ConfigServer");
    return f ? f(mac.data(), user, pwd, name, ip, web, 8002, "255.255.255.0", "192.168.7.1", "0.0.0.0", "8.8.8.8", 0,
                 dhcp)
             : -100;
  }
  static void *handle_;
};
void *StubLibrary::handle_ = nullptr;

const Bytes kGateMac = {0x00, 0x1A, 0x2B, 0x00, 0x04, 0x01};
const Bytes kFactoryMac = {0x00, 0x1A, 0x2B, 0x00, 0x04, 0x02};

TEST_F(StubLibrary, ExportsTheThreeEntryPoints) {
  for (const char *name : {"DVSNET_SearchServers", "DVSNET_ConfigServer", "DVSNET_StopSearch"})
    EXPECT_NE(dlsym(handle_, name), nullptr) << name;
}

// The search as the program starts it: (3000, 1, callback, user data, 0).
TEST_F(StubLibrary, SearchReportsEachFamily4CameraOnceFromItsOwnThread) {
  Reports r;
  ASSERT_EQ(searchServers(3000, 1, r), 0);
  ASSERT_TRUE(r.waitFor(2, 2500));
  EXPECT_EQ(stopSearch(), 0);
  const std::size_t after = r.count();
  usleep(300 * 1000);
  EXPECT_EQ(r.count(), after) << "no callback after StopSearch returned";
  EXPECT_EQ(after, 2u) << "each camera once per search";
  auto got = r.byIp();
  ASSERT_TRUE(got.count("192.168.7.41"));
  const Found &gate = got["192.168.7.41"];
  EXPECT_EQ(gate.serial, "H4A0000041");
  EXPECT_EQ(gate.name, "Gate");
  EXPECT_EQ(gate.version, "D4-2.0");
  EXPECT_EQ(gate.mac, kGateMac);
  EXPECT_EQ(gate.webPort, 81);
  EXPECT_EQ(gate.dataPort, 8001);
  EXPECT_EQ(gate.mask, "255.255.255.0");
  EXPECT_EQ(gate.gateway, "192.168.7.1");
  EXPECT_EQ(gate.extraAddr, "192.168.7.240");
  EXPECT_EQ(gate.dns, "192.168.7.2");
  EXPECT_EQ(gate.extraPort, 9000);
  EXPECT_EQ(gate.extraValue, 77);
  EXPECT_EQ(gate.dhcp, 1);
  EXPECT_NE(gate.thread, std::this_thread::get_id());
  ASSERT_TRUE(got.count("10.0.0.44"));
  EXPECT_EQ(got["10.0.0.44"].dhcp, 0);
  EXPECT_EQ(got["10.0.0.44"].mac, kFactoryMac);

  // A camera that is switched off is not reported by the next search.
  // Three probes, and still one report per camera; a camera that is
  // switched off is not reported.
  ASSERT_EQ(control("stop dvs-a"), "ok 1\n");
  Reports again;
  ASSERT_EQ(searchServers(600, 3, again), 0);
  usleep(800 * 1000);
  EXPECT_EQ(again.count(), 1u);
  EXPECT_TRUE(again.byIp().count("10.0.0.44"));
}

TEST_F(StubLibrary, ConfigServerMovesACameraOnlyWithItsLogin) {
  EXPECT_EQ(configServer(kGateMac, "admin", "wrong", "192.168.7.42"), 2);
  EXPECT_EQ(configServer(kFactoryMac, "admin", "", "192.168.7.44", 8080, "Yard", 1), 0);
  EXPECT_NE(control("show dvs-b").find("ip = 192.168.7.44\n"), std::string::npos);
  Reports r;
  ASSERT_EQ(searchServers(1000, 2, r), 0);
  ASSERT_TRUE(r.waitFor(2, 1500));
  auto got = r.byIp();
  ASSERT_TRUE(got.count("192.168.7.44")) << "found at its new address";
  EXPECT_EQ(got["192.168.7.44"].name, "Yard");
  EXPECT_EQ(got["192.168.7.44"].webPort, 8080);
  EXPECT_EQ(got["192.168.7.44"].dataPort, 8002);
  EXPECT_EQ(got["192.168.7.44"].dhcp, 1);
  EXPECT_EQ(got["192.168.7.44"].dns, "8.8.8.8");
  EXPECT_TRUE(got.count("192.168.7.41")) << "the other camera is where it was";
  EXPECT_FALSE(got.count("10.0.0.44"));
}

TEST_F(StubLibrary, ConfigServerRefusesArgumentsItCannotSend) {
  auto f = entry<ConfigFn>("DVSNET_ConfigServer");
  ASSERT_NE(f, nullptr);
  const std::string longName(64, 'n');
  EXPECT_EQ(f(nullptr, "admin", "", "n", "192.168.7.44", 80, 0, "255.255.255.0", "192.168.7.1", "", "8.8.8.8", 0, 0), -1);
  EXPECT_EQ(f(kGateMac.data(), "admin", nullptr, "n", "192.168.7.44", 80, 0, "255.255.255.0", "192.168.7.1", "", "8.8.8.8", 0, 0), -1);
  EXPECT_EQ(configServer(kGateMac, "admin", "qelvo", "192.168.7.256"), -1);
  EXPECT_EQ(configServer(kGateMac, "admin", "qelvo", "192.168.7.45", 0), -1);
  EXPECT_EQ(configServer(kGateMac, "admin", "qelvo", "192.168.7.45", 70000), -1);
  EXPECT_EQ(configServer(kGateMac, "admin", "qelvo", "192.168.7.45", 80, longName.c_str()), -1);
  EXPECT_EQ(configServer(kGateMac, "admin", "qelvo", "192.168.7.45", 80, "n", 2), -1);
  EXPECT_EQ(configServer({0x02, 0, 0, 0, 0, 0x99}, "admin", "qelvo", "192.168.7.45"), 1) << "nobody answers";
  EXPECT_NE(control("show dvs-a").find("ip = 192.168.7.41\n"), std::string::npos);
}

// Datagrams sent to the library's socket by anybody: only a well-formed
// answer to its own search becomes a callback, each camera once.
TEST_F(StubLibrary, HostileAnswersAreDroppedAndTheSearchGoesOn) {
  PcSocket spy(9909);
  ASSERT_TRUE(spy.bound());
  Reports r;
  ASSERT_EQ(searchServers(2000, 1, r), 0);
  std::vector<Datagram> probes;
  ASSERT_TRUE(eventually([&] {
    for (auto &d : spy.collectOwn(100)) probes.push_back(d);
    return !probes.empty();
  }, 1000));
  const Datagram &probe = probes[0];
  ASSERT_EQ(probe.data.size(), 8u);
  ASSERT_EQ(hex(Bytes(probe.data.begin(), probe.data.begin() + 6)), hex(Bytes{'D', 'V', 'S', 'N', 1, 0x01}));
  const std::uint8_t tx0 = probe.data[6], tx1 = probe.data[7];

  Bytes good(236, 0);
  auto put = [&good](std::size_t off, std::string_view s) { std::copy(s.begin(), s.end(), good.begin() + static_cast<long>(off)); };
  put(0, "DVSN");
  good[4] = 1;
  good[5] = 0x81;
  good[6] = tx0;
  good[7] = tx1;
  const Bytes fakeMac = {0x02, 0xEE, 0xEE, 0xEE, 0xEE, 0x01};
  std::copy(fakeMac.begin(), fakeMac.end(), good.begin() + 8);
  good[16] = 0x50;
  put(28, "FAKE");
  put(60, "Fake");
  put(124, "V9");
  put(156, "192.168.7.240");
  put(172, "255.255.255.0");
  put(188, "192.168.7.1");
  put(204, "0.0.0.0");
  put(220, "192.168.7.1");

  std::vector<Bytes> hostile;
  for (std::size_t len : {0, 1, 7, 8, 100, 235}) hostile.push_back(Bytes(good.begin(), good.begin() + static_cast<long>(len)));
  auto variant = [&](auto edit) {
    Bytes b = good;
    edit(b);
    hostile.push_back(b);
  };
  variant([](Bytes &b) { b[0] = 'X'; });
  variant([](Bytes &b) { b[4] = 2; });
  variant([](Bytes &b) { b[5] = 0x82; });
  variant([](Bytes &b) { b[6] ^= 1; });                                      // another search's answer
  variant([](Bytes &b) { std::fill(b.begin() + 60, b.begin() + 124, 'n'); });  // name without its NUL
  variant([](Bytes &b) { std::fill(b.begin() + 220, b.end(), '9'); });         // DNS text runs to the end
  variant([](Bytes &b) { b[156 + 3] = 'x'; });                               // an address that is none
  variant([](Bytes &b) { b.resize(3000, 0xAB); });                           // larger than any answer
  Bytes noise(700);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 131 + 7);
  hostile.push_back(noise);

  PcSocket sender(0);
  auto sendTo = [&](const Bytes &b) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(probe.fromPort);
    inet_pton(AF_INET, env("SIMLAN_PC_IP"), &to.sin_addr);
    sendto(fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    close(fd);
  };
  for (const Bytes &b : hostile) sendTo(b);
  sendTo(good);
  sendTo(good);
  ASSERT_TRUE(r.waitFor(3, 1500));
  usleep(300 * 1000);
  stopSearch();
  auto got = r.byIp();
  EXPECT_EQ(r.count(), 3u) << "two cameras and the one good answer, once";
  ASSERT_TRUE(got.count("192.168.7.240"));
  EXPECT_EQ(got["192.168.7.240"].mac, fakeMac);
  EXPECT_EQ(got["192.168.7.240"].name, "Fake");
  EXPECT_EQ(got["192.168.7.240"].webPort, 0x50);
}

// A receiver may call back into the library from the callback: stopping the
// search there must not wait for itself, and a new search replaces the old.
TEST_F(StubLibrary, CallbacksMayStopOrRestartTheSearch) {
  Reports r;
  r.onReport = [](Reports &) { EXPECT_EQ(stopSearch(), 0); };
  ASSERT_EQ(searchServers(3000, 1, r), 0);
  ASSERT_TRUE(r.waitFor(1, 2000));
  const auto start = nowMs();
  EXPECT_EQ(stopSearch(), 0);
  EXPECT_LT(nowMs() - start, testsupport::Slack(500)) << "the search ends soon after the callback stopped it";
  EXPECT_LE(r.count(), 2u);

  Reports again;
  std::atomic<int> restarts{0};
  again.onReport = [&restarts, &again](Reports &) {
    if (restarts++ == 0) {
      EXPECT_EQ(searchServers(800, 1, again), 0);
    }
  };
  ASSERT_EQ(searchServers(800, 1, again), 0);
  EXPECT_TRUE(again.waitFor(3, 2000)) << "the restarted search reports the cameras again";
}

// Searches started and stopped from several threads while others configure.
TEST_F(StubLibrary, IsSafeToUseFromSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::atomic<int> wrongResults{0};
  Reports shared;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 3; ++i)
        if (configServer(kGateMac, "admin", "wrong", "192.168.7.42") != 2) ++wrongResults;
    });
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(searchServers(200, 1, shared), 0);
        usleep(static_cast<useconds_t>(20000 + 15000 * t));
        if (i % 3 == t) stopSearch();
      }
    });
  for (auto &th : threads) th.join();
  EXPECT_EQ(wrongResults, 0);
  stopSearch();
  EXPECT_NE(control("show dvs-a").find("ip = 192.168.7.41\n"), std::string::npos);
}

// Unloading after StopSearch and loading again works, as each run of the
// advanced window does.
TEST_F(StubLibrary, CanBeUnloadedAfterStopSearchAndLoadedAgain) {
  Reports r;
  ASSERT_EQ(searchServers(3000, 1, r), 0);
  ASSERT_TRUE(r.waitFor(1, 2000));
  EXPECT_EQ(stopSearch(), 0);
  EXPECT_EQ(dlclose(handle_), 0);
  gLibrary = handle_ = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle_, nullptr);
  Reports again;
  ASSERT_EQ(searchServers(600, 1, again), 0);
  EXPECT_TRUE(again.waitFor(2, 1500));
}

}  // namespace
