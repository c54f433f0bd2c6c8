// lan-sim without sockets: hostile datagrams, configuration errors and the
// timing of answers. Built into the ASan+UBSan run like every test.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "config.h"
#include "sim.h"

namespace {

using lansim::Bytes;

const char *kConfig = R"(
[sim]
strict = %STRICT%
spread_ms = 300

[camera m]
family = 2
mac = 001A2B000201
ip = 192.168.7.21

[camera c]
family = 5
mac = 00:1a:2b:00:05:01
ip = 192.168.7.51

[camera b]
family = 8
mac = 00:1A:2B:00:08:01
ip = 192.168.7.81

[cameras g]
count = 3
family = 8
ip = 192.168.7.90
mac = 02:00:00:00:00:01

[camera t]
family = 9
mac = 00:1A:2B:00:09:01
ip = 192.168.7.91

[camera d]
family = 4
mac = 00:1A:2B:00:04:01
ip = 192.168.7.41
)";

lansim::Simulator makeSim(bool strict) {
  std::string text = kConfig;
  text.replace(text.find("%STRICT%"), 8, strict ? "yes" : "no");
  lansim::SimConfig cfg;
  std::vector<std::string> errors;
  EXPECT_TRUE(lansim::parseConfig(text, cfg, errors)) << (errors.empty() ? "" : errors[0]);
  return lansim::Simulator(std::move(cfg));
}

std::vector<lansim::Outgoing> feed(lansim::Simulator &sim, std::uint16_t port, const Bytes &data,
                                   std::uint16_t srcPort = 40000) {
  lansim::Incoming in;
  in.localPort = port;
  in.src = {192, 168, 7, 10};
  in.srcPort = srcPort;
  in.data = lansim::ByteView(data.data(), data.size());
  std::vector<lansim::Outgoing> out;
  sim.onDatagram(in, out);
  return out;
}

const Bytes kMoIProbe = {'M', 'O', '_', 'I', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
const Bytes kCtpProbe = [] {
  std::string s = "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n";
  return Bytes(s.begin(), s.end());
}();
const Bytes kBin8Probe = {0x10, 0x10, 0x01, 0x0F, 0, 0, 0, 0};
const Bytes kT9Probe = {0x44, 0x48, 0x01, 0x01};
const Bytes kDvsProbe = {'D', 'V', 'S', 'N', 1, 0x01, 0x34, 0x12};

struct Probe {
  const char *name;
  std::uint16_t port;
  Bytes data;
  std::size_t answers;
};

// Every truncation and every single-byte change of a probe: the strict
// simulator answers only the probe itself, and nothing reads out of bounds.
TEST(LanSimHostileInput, MutatedProbesAreIgnoredAndNeverReadPastTheEnd) {
  auto sim = makeSim(true);
  const std::vector<Probe> probes = {{"MO_I", 10000, kMoIProbe, 1}, {"CTP", 7999, kCtpProbe, 1},
                                     {"family 8", 6801, kBin8Probe, 4}, {"family 9", 8600, kT9Probe, 1}};
  for (const auto &p : probes) {
    SCOPED_TRACE(p.name);
    ASSERT_EQ(feed(sim, p.port, p.data).size(), p.answers);
    for (std::size_t len = 0; len < p.data.size(); ++len)
      EXPECT_TRUE(feed(sim, p.port, Bytes(p.data.begin(), p.data.begin() + len)).empty()) << "length " << len;
    for (std::size_t i = 0; i < p.data.size(); ++i)
      for (std::uint8_t delta : {1, 0x80, 0xFF}) {
        Bytes m = p.data;
        m[i] = static_cast<std::uint8_t>(m[i] + delta);
        EXPECT_TRUE(feed(sim, p.port, m).empty()) << "byte " << i;
      }
    Bytes longer = p.data;
    longer.push_back(0);
    EXPECT_TRUE(feed(sim, p.port, longer).empty());
  }
}

// The family-8 follow-ups carry a block whose MAC picks the camera; a
// follow-up that is cut, or names no camera, must not be answered.
TEST(LanSimHostileInput, Bin8FollowUpsAreCheckedBeforeTheMacIsRead) {
  for (bool strict : {true, false}) {
    SCOPED_TRACE(strict ? "strict" : "lenient");
    auto sim = makeSim(strict);
    auto search = feed(sim, 6801, kBin8Probe);
    ASSERT_EQ(search.size(), 4u);
    const Bytes &reply = *search[0].data;
    ASSERT_GE(reply.size(), 140u);
    Bytes follow(reply.begin(), reply.begin() + 8);
    follow.insert(follow.end(), reply.begin() + 12, reply.begin() + 140);
    follow[2] = 0x12;
    follow[3] = 0x0F;
    follow[6] = 128;
    follow[7] = 0;
    ASSERT_EQ(feed(sim, 6801, follow).size(), 1u);
    for (std::size_t len = 0; len < follow.size(); ++len)
      EXPECT_TRUE(feed(sim, 6801, Bytes(follow.begin(), follow.begin() + len)).empty()) << "length " << len;
    Bytes stranger = follow;
    stranger[8 + 88] ^= 0x55;
    EXPECT_TRUE(feed(sim, 6801, stranger).empty());
  }
}

TEST(LanSimHostileInput, RandomDatagramsOnEveryPortGetNoAnswer) {
  for (bool strict : {true, false}) {
    auto sim = makeSim(strict);
    std::mt19937 rng(strict ? 1 : 2);
    for (int i = 0; i < 60000; ++i) {
      Bytes d(rng() % 700);
      for (auto &b : d) b = static_cast<std::uint8_t>(rng());
      // Half of them start like a real message, so the deeper checks run.
      if (i % 2 && d.size() >= 4) {
        static const Bytes starts[] = {{'M', 'O', '_', 'I'}, {'S', 'E', 'A', 'R'}, {0x10, 0x10, 0x12, 0x0F},
                                       {0x10, 0x10, 0x0F, 0x0F}, {'R', 'E', 'P', 'L'}, {0x10, 0x10, 0x02, 0x0F},
                                       {0x44, 0x48, 0x02, 0x01}, {'D', 'V', 'S', 'N', 1, 2},
                                       {'C', 'M', 'D', ' ', 's', 'e', 't', 'i', 'p', ' '}};
        const Bytes &s = starts[rng() % 9];
        if (d.size() < s.size()) continue;
        std::copy(s.begin(), s.end(), d.begin());
        if (d.size() > 5 && s[0] == 'M') d[4] = d[5] = 0;
      }
      for (std::uint16_t port : {10000, 7999, 6801, 8600, 9909}) {
        auto out = feed(sim, port, d);
        if (strict) {
          EXPECT_TRUE(out.empty()) << "port " << port << " size " << d.size();
        }
        for (const auto &o : out) ASSERT_NE(o.data, nullptr);
      }
    }
  }
}

TEST(LanSimHostileInput, OwnAnswersAndSourcePortZeroAreIgnored) {
  auto sim = makeSim(true);
  auto out = feed(sim, 10000, kMoIProbe);
  ASSERT_EQ(out.size(), 1u);
  // The kernel loops our broadcast answers back; they come from a camera.
  lansim::Incoming in;
  in.localPort = 10000;
  in.src = out[0].src;
  in.srcPort = 10000;
  in.data = lansim::ByteView(kMoIProbe.data(), kMoIProbe.size());
  std::vector<lansim::Outgoing> again;
  sim.onDatagram(in, again);
  EXPECT_TRUE(again.empty());
  EXPECT_TRUE(feed(sim, 10000, kMoIProbe, 0).empty());
}

// A thousand cameras must not answer in the same instant: the answers to one
// search are spread evenly over spread_ms, counting only running cameras,
// and each goes to the port the search came from.
TEST(LanSimTiming, AnswersAreSpreadOverTheConfiguredTimeAmongRunningCameras) {
  auto sim = makeSim(true);
  bool quit = false;
  ASSERT_EQ(sim.control("stop g-2", quit), "ok 1\n");
  auto out = feed(sim, 6801, kBin8Probe, 6805);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].delayMs, 0);
  EXPECT_EQ(out[1].delayMs, 100);
  EXPECT_EQ(out[2].delayMs, 200);
  for (const auto &o : out) {
    EXPECT_EQ(o.dstPort, 6805);
    EXPECT_EQ(o.dst, (lansim::Ipv4{255, 255, 255, 255}));
    EXPECT_EQ(o.localPort, 6801);
  }
}

struct BadConfig {
  const char *text;
  const char *message;
};

class LanSimConfigErrors : public ::testing::TestWithParam<BadConfig> {};

TEST_P(LanSimConfigErrors, AreReportedWithTheirLine) {
  lansim::SimConfig cfg;
  std::vector<std::string> errors;
  EXPECT_FALSE(lansim::parseConfig(GetParam().text, cfg, errors));
  std::string all;
  for (const auto &e : errors) all += e + "\n";
  EXPECT_NE(all.find(GetParam().message), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LanSimConfigErrors,
    ::testing::Values(
        BadConfig{"[camera a]\nfamily = 3\nip = 192.168.7.2\nmac = 1\n", "2: a: family must be 2, 4, 5, 8, 9 or 10 (onvif)"},
        BadConfig{"[camera a]\nfamily = onvif\nip = 192.168.7.2\nmac = 00:11:22:33:44\n", "ONVIF mac must be six hexadecimal"},
        BadConfig{"[camera a]\nfamily = 10\nip = 192.168.7.2\nmac = 001122334455\nwrong_login = maybe\n",
                  "5: a: wrong_login must be fault or http401"},
        BadConfig{"[camera a]\nfamily = 10\nip = 192.168.7.2\nmac = 001122334455\nclock_offset_s = 315360001\n",
                  "5: a: clock_offset_s must be a number from -315360000 to 315360000"},
        BadConfig{"[camera a]\nfamily = 10\nip = 192.168.7.2\nmac = 001122334455\nmodel = "
                  "01234567890123456789012345678901234567890123456789012345678901234\n",
                  "model is longer than 64 bytes"},
        BadConfig{"[camera a]\nfamily = 10\nip = 192.168.7.2\nmac = 001122334455\nendpoint = \"urn:a b\"\n",
                  "endpoint must be a URI of at most 128 characters without blanks"},
        BadConfig{"[camera a]\nfamily = 2\nip = 192.168.7.256\nmac = 1\n", "3: a: ip is not a dotted IPv4"},
        BadConfig{"[camera a]\nfamily = 2\nmac = 1\n", "a: ip is required"},
        BadConfig{"[camera a]\nfamily = 2\nip = 255.255.255.255\nmac = 1\n", "ip must be a unicast address"},
        BadConfig{"[camera a]\nfamily = 2\nip = 192.168.7.2\nmac = 1\ncolour = red\n", "5: unknown key 'colour'"},
        BadConfig{"[camera a]\nfamily = 2\nip = 192.168.7.2\nmac = 1\nname = 0123456789012345678901\n",
                  "name is longer than 21 bytes"},
        BadConfig{"[camera a]\nfamily = 2\nip = 192.168.7.2\nmac = 00112233445566\n", "mac is longer than 13"},
        BadConfig{"[camera a]\nfamily = 2\nip = 192.168.7.2\nmac = 1\nversion = 1.2.3\n", "version must look like"},
        BadConfig{"[camera a]\nfamily = 2\nip = 192.168.7.2\nmac = 1\nmoi_body = 100\n", "moi_body must be 64, 65 or 195"},
        BadConfig{"[camera a]\nfamily = 8\nip = 192.168.7.2\nmac = 00:11:22:33:44\n", "mac must be six hexadecimal"},
        BadConfig{"[camera a]\nfamily = 8\nip = 192.168.7.2\nmac = 001122334455\nsn = 12\n", "sn must be 14"},
        BadConfig{"[camera a]\nfamily = 8\nip = 192.168.7.2\nmac = 001122334455\nhttp_port = 0\n",
                  "http_port must be a number from 1 to 65535"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\ndhcp = maybe\n", "dhcp must be yes or no"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\n[camera A]\nfamily = 5\nip = 192.168.7.3\nmac = y\n",
                  "camera id 'A' used twice"},
        BadConfig{"[camera a]\nfamily = 8\nip = 192.168.7.2\nmac = 00:11:22:33:44:55\n"
                  "[camera b]\nfamily = 8\nip = 192.168.7.3\nmac = 001122334455\n",
                  "used twice in family 8"},
        BadConfig{"[camera a]\nfamily = 5\nfamily = 2\n", "3: key 'family' repeated"},
        BadConfig{"family = 5\n", "1: key outside a section"},
        BadConfig{"[camera a]\nname = \"open\n", "2: missing closing quote"},
        BadConfig{"[router r]\n", "unknown section"},
        BadConfig{"[cameras g]\nfamily = 5\nip = 192.168.7.2\nmac = 00:11:22:33:44:55\n", "count must be 1 to"},
        BadConfig{"[cameras g]\ncount = 2\nfamily = 5\nip = 192.168.7.2\nmac = 00:11:22:33:44:55\nname = a{q}\n",
                  "bad {} pattern in name"},
        BadConfig{"[sim]\nreply = multicast\n", "reply must be broadcast or unicast"},
        BadConfig{"[sim]\ntcp = maybe\n", "tcp must be yes or no"},
        BadConfig{"[camera a]\nfamily = 9\nip = 192.168.7.2\nmac = 00:11:22:33:44\n", "family-9 mac must be six"},
        BadConfig{"[camera a]\nfamily = 4\nip = 192.168.7.2\nmac = x\n", "family-4 mac must be six"},
        BadConfig{"[camera a]\nfamily = 2\nip = 192.168.7.2\nmac = 1\npassword = 12345678901234\n",
                  "password is longer than 13 bytes"},
        BadConfig{"[camera a]\nfamily = 9\nip = 192.168.7.2\nmac = 001122334455\nversion = 1234567890123456\n",
                  "version is longer than 15 bytes"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\nuser = a:b\n", "user must not hold a colon"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\nwifi_security = wpa3\n",
                  "wifi_security must be none, wep"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\nwifi_ap3 = Home | 00:11 | wpa2-aes\n",
                  "5: a: wifi_ap3 must be SSID | MAC | SECURITY | SIGNAL"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\nwifi_ap1 = Home | m | none | 101\n",
                  "wifi_ap1 must be"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\nwifi_ap33 = Home | m | none | 1\n",
                  "unknown key 'wifi_ap33'"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\noray_status = -1\n",
                  "oray_status must be a number from 0 to 99"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\ndhcp_ip = 224.0.0.1\n",
                  "dhcp_ip must be a unicast address"},
        BadConfig{"[camera a]\nfamily = 5\nip = 192.168.7.2\nmac = x\nrestart_ms = 600001\n",
                  "restart_ms must be a number from 0 to 600000"},
        BadConfig{"[camera a]\nfamily = 9\nip = 192.168.7.2\nmac = 00:11:22:33:44:55\n"
                  "[camera b]\nfamily = 9\nip = 192.168.7.3\nmac = 00-11-22-33-44-55\n",
                  "used twice in family 9"},
        BadConfig{"[sim]\nstrict = yes\n", "no cameras configured"}));

}  // namespace
