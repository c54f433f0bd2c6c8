// Runs inside the PC namespace of scripts/simlan, against lan-sim loaded with
// cameras.ini. Probes are written out byte by byte here and the answers are
// checked field by field against tables of what each camera must send, so
// that this test does not trust lan-sim's own builders.
#include "simlan_support.h"

namespace {

using namespace simlan;
// ---- Probes, as the program sends them -------------------------------------

const Bytes kMoIProbe = {'M', 'O', '_', 'I', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                         0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
const Bytes kCtpProbe = bytesOf("SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n");
const Bytes kBin8Probe = {0x10, 0x10, 0x01, 0x0F, 0x00, 0x00, 0x00, 0x00};

// ---- Expected answers --------------------------------------------------------

void put(Bytes &b, std::size_t off, const Bytes &v) {
  std::copy(v.begin(), v.end(), b.begin() + static_cast<std::ptrdiff_t>(off));
}
void putText(Bytes &b, std::size_t off, std::string_view s) {
  std::copy(s.begin(), s.end(), b.begin() + static_cast<std::ptrdiff_t>(off));
}
void putIp(Bytes &b, std::size_t off, const std::string &dotted) {
  in_addr a{};
  ASSERT_EQ(inet_pton(AF_INET, dotted.c_str(), &a), 1) << dotted;
  std::memcpy(b.data() + off, &a, 4);
}

struct MoICamera {
  std::string ip, mac, name, mask, gateway, dns1, dns2;
  Bytes version;  // eight bytes
  std::uint16_t httpPort;
  int body;
  bool dhcp;
  std::string ddnsServer, ddnsUser;
};

const std::vector<MoICamera> kMoI = {
    {"192.168.7.21", "001A2B000201", "Hall", "255.255.255.0", "192.168.7.1", "192.168.7.2", "8.8.4.4",
     {2, 4, 0, 11, 1, 0, 3, 7}, 8080, 195, true, "ddns.example.net:8080", "hall01"},
    {"192.168.1.126", "001A2B0002020", "ABCDEFGHIJKLMNOPQRSTU", "255.255.255.0", "192.168.1.1", "192.168.1.1",
     "0.0.0.0", {1, 0, 0, 1, 1, 0, 0, 1}, 80, 64, false, "", ""},
    {"192.168.7.254", "02005E0000FF", "Gen 01", "255.255.0.0", "192.168.7.1", "192.168.7.1", "0.0.0.0",
     {1, 0, 0, 1, 1, 0, 0, 1}, 80, 195, false, "", ""},
};

Bytes expectedMoI(const MoICamera &c) {
  Bytes b(23 + static_cast<std::size_t>(c.body), 0);
  putText(b, 0, "MO_I");
  put(b, 4, {0x01, 0x00});  // operation 1: search reply
  put(b, 15, {static_cast<std::uint8_t>(c.body), 0, 0, 0});
  const std::size_t o = 23;
  putText(b, o + 0, c.mac);
  putText(b, o + 13, c.name);
  putIp(b, o + 34, c.ip);
  putIp(b, o + 38, c.mask);
  putIp(b, o + 42, c.gateway);
  putIp(b, o + 46, c.dns1);
  putIp(b, o + 50, c.dns2);
  put(b, o + 54, c.version);
  put(b, o + 62, {static_cast<std::uint8_t>(c.httpPort >> 8), static_cast<std::uint8_t>(c.httpPort)});
  if (c.body >= 65) b[o + 64] = c.dhcp ? 1 : 0;
  if (c.body >= 195) {
    putText(b, o + 65, c.ddnsServer);
    putText(b, o + 130, c.ddnsUser);
  }
  return b;
}

struct CtpCamera {
  std::string ip;
  std::map<std::string, std::string> values;  // key line -> value
};

const std::vector<CtpCamera> kCtp = {
    {"192.168.7.51",
     {{"-sn", "E5A1000501"}, {"-name", "Garden"}, {"-ip", "192.168.7.51"}, {"-netmask", "255.255.0.0"},
      {"-portctp", "81"}, {"-mdns", "192.168.7.1"}, {"-sdns", "8.8.8.8"}, {"-mac", "00:1a:2b:00:05:01"},
      {"-gw", "192.168.7.254"}, {"-ddnsuser", "garden51"}, {"-ddnspswd", "secret51"},
      {"-ddns", "ddns.example.net:808"}, {"-version", "V3.2.1"}, {"-dhcpen", "1"}}},
    {"10.20.30.40",
     {{"-sn", "E5A1000502"}, {"-name", "  Far away  "}, {"-ip", "10.20.30.40"}, {"-netmask", "255.0.0.0"},
      {"-portctp", "7000"}, {"-mdns", "10.0.0.1"}, {"-sdns", "0.0.0.0"}, {"-mac", "00:1A:2B:00:05:02"},
      {"-gw", "10.0.0.1"}, {"-ddnsuser", ""}, {"-ddnspswd", ""}, {"-ddns", ""}, {"-version", "V1.0.0"},
      {"-dhcpen", "0"}}},
    {"192.168.8.1",
     {{"-sn", "01000000000002"}, {"-name", "Gen 02"}, {"-ip", "192.168.8.1"}, {"-netmask", "255.255.0.0"},
      {"-portctp", "80"}, {"-mdns", "192.168.7.1"}, {"-sdns", "0.0.0.0"}, {"-mac", "02:00:5E:00:01:00"},
      {"-gw", "192.168.7.1"}, {"-ddnsuser", ""}, {"-ddnspswd", ""}, {"-ddns", ""}, {"-version", "V1.0.0"},
      {"-dhcpen", "0"}}},
};
const CtpCamera kCtpLate = {"192.168.7.53", {{"-name", "Late"}, {"-sn", "E5A1000503"}}};

// What a reader of the "REPLY" text gets for a key: the first line that
// begins with the key, from the second character after it.
bool ctpValue(const std::string &text, const std::string &key, std::string &value) {
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find("\r\n", pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (line.compare(0, key.size(), key) == 0) {
      value = line.size() > key.size() + 1 ? line.substr(key.size() + 1) : "";
      return true;
    }
    if (end == std::string::npos) break;
    pos = end + 2;
  }
  return false;
}

struct Bin8Camera {
  std::string ip, mask, gateway, dns1, dns2, name, version;
  Bytes mac, sn;
  std::uint16_t httpPort, dataPort, word8, session;
  bool dhcp;
  std::string ddnsServer, ddnsUser, ddnsPwd;
};

const std::vector<Bin8Camera> kBin8 = {
    {"192.168.7.81", "255.255.255.0", "192.168.7.1", "192.168.7.1", "192.168.7.3", "Door", "H8-1.2.3",
     {0x00, 0x1A, 0x2B, 0x00, 0x08, 0x01}, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}, 8081, 9001, 4660, 23130,
     true, "ddns.example.net:808", "door81", "pw81"},
    {"192.168.1.126", "255.255.255.0", "192.168.1.1", "192.168.1.1", "0.0.0.0", "Bin8 factory", "V1.0.0",
     {0x00, 0x1A, 0x2B, 0x00, 0x08, 0x02}, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}, 80, 8000, 0, 1, false, "",
     "", ""},
    {"192.168.8.2", "255.255.0.0", "192.168.7.1", "192.168.7.1", "0.0.0.0", "Gen 03", "V1.0.0",
     {0x02, 0x00, 0x5E, 0x00, 0x01, 0x01}, {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03}, 80, 8000, 0, 777, false,
     "", "", ""},
};

void le16(Bytes &b, std::size_t off, std::uint16_t v) { put(b, off, {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}); }

Bytes expectedBlock(const Bin8Camera &c) {
  Bytes b(128, 0);
  putText(b, 0, c.ip);
  putText(b, 16, c.mask);
  putText(b, 32, c.gateway);
  putText(b, 48, c.dns1);
  putText(b, 64, c.dns2);
  le16(b, 80, c.httpPort);
  le16(b, 82, c.httpPort);
  le16(b, 84, c.httpPort);
  le16(b, 86, c.dataPort);
  put(b, 88, c.mac);
  le16(b, 94, c.word8);
  put(b, 96, c.sn);
  b[103] = c.dhcp ? 1 : 0;
  putText(b, 104, c.name);
  return b;
}

Bytes header8(std::uint16_t cmd, std::uint16_t word, std::uint16_t len) {
  Bytes b(8, 0);
  b[0] = b[1] = 0x10;
  le16(b, 2, cmd);
  le16(b, 4, word);
  le16(b, 6, len);
  return b;
}

Bytes concat(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Answers of one probe, keyed by sender; fails on a sender that sent twice.
std::map<std::string, Datagram> bySender(const std::vector<Datagram> &got) {
  std::map<std::string, Datagram> out;
  for (const auto &d : got) EXPECT_TRUE(out.emplace(d.from, d).second) << d.from << " answered twice";
  return out;
}

class SimLan : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(env("SIMLAN_CONTROL")).empty()) GTEST_SKIP() << "runs only inside scripts/simlan";
    // Tests move cameras and change their settings: every test starts from
    // the configuration.
    ASSERT_EQ(control("reset all"), "ok 14\n");
    ASSERT_EQ(control("start all"), "ok 14\n");
    ASSERT_EQ(control("stop ctp-late"), "ok 1\n");
  }
  void TearDown() override {
    if (!std::string(env("SIMLAN_CONTROL")).empty()) control("reset all");
  }
  static constexpr int kWaitMs = 400;
};

// ---- Family 2 -------------------------------------------------------------

TEST_F(SimLan, MoISearchIsAnsweredByEveryFamily2CameraWithItsRecord) {
  PcSocket pc(10000);
  ASSERT_TRUE(pc.bound());
  pc.broadcast(10000, kMoIProbe);
  auto got = bySender(pc.collect(kWaitMs));
  ASSERT_EQ(got.size(), kMoI.size());
  for (const auto &cam : kMoI) {
    SCOPED_TRACE(cam.ip);
    ASSERT_TRUE(got.count(cam.ip));
    const Datagram &d = got[cam.ip];
    EXPECT_EQ(d.fromPort, 10000);
    EXPECT_EQ(d.to, "255.255.255.255");
    EXPECT_EQ(hex(d.data), hex(expectedMoI(cam)));
  }
}

// ---- Family 5 -------------------------------------------------------------

TEST_F(SimLan, CtpSearchIsAnsweredByEveryRunningFamily5CameraWithItsArguments) {
  PcSocket pc(7999);
  ASSERT_TRUE(pc.bound());
  pc.broadcast(7999, kCtpProbe);
  auto got = bySender(pc.collect(kWaitMs));
  ASSERT_EQ(got.size(), kCtp.size()) << "ctp-late starts stopped";
  for (const auto &cam : kCtp) {
    SCOPED_TRACE(cam.ip);
    ASSERT_TRUE(got.count(cam.ip));
    const Datagram &d = got[cam.ip];
    EXPECT_EQ(d.fromPort, 7999);
    EXPECT_EQ(d.to, "255.255.255.255");
    const std::string text(d.data.begin(), d.data.end());
    EXPECT_EQ(text.rfind("REPLY", 0), 0u);
    // Framed as a CTP message: header, empty line, argument lines, empty line,
    // and a Content-Length that counts the text after the first empty line.
    auto blank = text.find("\r\n\r\n");
    ASSERT_NE(blank, std::string::npos);
    std::string length;
    ASSERT_TRUE(ctpValue(text, "Content-Length", length));
    EXPECT_EQ(length, std::to_string(text.size() - blank - 4));
    EXPECT_TRUE(text.ends_with("\r\n\r\n"));
    for (const auto &[key, want] : cam.values) {
      std::string value;
      ASSERT_TRUE(ctpValue(text, key, value)) << key;
      EXPECT_EQ(value, want) << key;
    }
  }
}

// ---- Family 8 -------------------------------------------------------------

TEST_F(SimLan, Bin8ThreeStepExchangeReadsBlockAndDdnsOfEveryCamera) {
  PcSocket pc(6800);
  ASSERT_TRUE(pc.bound());
  pc.broadcast(6801, kBin8Probe);
  auto search = bySender(pc.collect(kWaitMs));
  ASSERT_EQ(search.size(), kBin8.size());
  for (const auto &cam : kBin8) {
    SCOPED_TRACE(cam.ip);
    ASSERT_TRUE(search.count(cam.ip));
    const Datagram &s = search[cam.ip];
    EXPECT_EQ(s.fromPort, 6801);
    EXPECT_EQ(s.to, "255.255.255.255");
    const Bytes block = expectedBlock(cam);
    // 0x8F01: header with the camera's word, 4 bytes, then its block at 12.
    EXPECT_EQ(hex(s.data), hex(concat(concat(header8(0x8F01, cam.session, 132), Bytes(4, 0)), block)));
    ASSERT_GE(s.data.size(), 140u);

    // Step 2: the reply's header, command 0x0F12, length 128, bytes 12..139.
    Bytes req = concat(Bytes(s.data.begin(), s.data.begin() + 8), Bytes(s.data.begin() + 12, s.data.begin() + 140));
    le16(req, 2, 0x0F12);
    le16(req, 6, 128);
    pc.broadcast(6801, req);
    auto step2 = bySender(pc.collect(kWaitMs));
    ASSERT_EQ(step2.size(), 1u) << "only the camera with this MAC answers";
    ASSERT_TRUE(step2.count(cam.ip));
    const Bytes &r2 = step2[cam.ip].data;
    Bytes want2 = concat(header8(0x8F12, cam.session, 160), block);
    want2.resize(168, 0);
    putText(want2, 136, cam.version);
    EXPECT_EQ(hex(r2), hex(want2));
    ASSERT_GE(r2.size(), 136u);

    // Step 3: the same with 0x0F0F and the block of the 0x8F12 answer.
    Bytes req3 = Bytes(r2.begin(), r2.begin() + 136);
    le16(req3, 2, 0x0F0F);
    le16(req3, 6, 128);
    pc.broadcast(6801, req3);
    auto step3 = bySender(pc.collect(kWaitMs));
    ASSERT_EQ(step3.size(), 1u);
    ASSERT_TRUE(step3.count(cam.ip));
    Bytes want3 = concat(header8(0x8F0F, cam.session, 392), block);
    want3.resize(400, 0);
    putText(want3, 142, cam.ddnsServer);
    putText(want3, 272, cam.ddnsUser);
    putText(want3, 336, cam.ddnsPwd);
    EXPECT_EQ(hex(step3[cam.ip].data), hex(want3));
  }
}

TEST_F(SimLan, Bin8FollowUpsThatDoNotCarryTheCamerasOwnBlockGetNoAnswer) {
  const Bin8Camera &cam = kBin8[0];
  Bytes good = concat(header8(0x0F12, cam.session, 128), expectedBlock(cam));
  struct Case {
    const char *what;
    Bytes data;
  };
  std::vector<Case> cases;
  auto variant = [&](const char *what, auto edit) {
    Bytes b = good;
    edit(b);
    cases.push_back({what, b});
  };
  variant("unknown MAC", [](Bytes &b) { b[8 + 93] ^= 0xFF; });
  variant("another camera's session word", [](Bytes &b) { le16(b, 4, 1); });
  variant("one byte short", [](Bytes &b) { b.pop_back(); });
  variant("length field not 128", [](Bytes &b) { le16(b, 6, 127); });
  variant("block changed in the name", [](Bytes &b) { b[8 + 104] = 'X'; });
  variant("reply bit set", [](Bytes &b) { le16(b, 2, 0x8F12); });
  variant("unknown command", [](Bytes &b) { le16(b, 2, 0x0F13); });
  variant("write command", [&](Bytes &b) {
    le16(b, 2, 0x0F02);
    le16(b, 6, 256);
    b = concat(b, expectedBlock(cam));
  });

  PcSocket pc(6800);
  ASSERT_TRUE(pc.bound());
  pc.broadcast(6801, good);
  ASSERT_EQ(pc.collect(kWaitMs).size(), 1u) << "the unchanged request is answered";
  for (const auto &c : cases) {
    pc.broadcast(6801, c.data);
    EXPECT_TRUE(pc.collect(200).empty()) << c.what;
  }
}

// ---- What no camera recognises ------------------------------------------------

TEST_F(SimLan, DatagramsThatAreNoSearchOfTheFamilyGetNoAnswer) {
  Bytes moiReply = expectedMoI(kMoI[0]);
  Bytes moiSet(84, 0);
  putText(moiSet, 0, "MO_I");
  put(moiSet, 4, {0x02, 0x00});
  put(moiSet, 15, {61, 0, 0, 0});
  Bytes moiOp3 = kMoIProbe;
  moiOp3[4] = 3;
  Bytes moiBody = kMoIProbe;
  moiBody[26] = 2;
  Bytes bin8Reply = concat(header8(0x8F01, 5, 132), Bytes(132, 0));
  Bytes bin8Other = kBin8Probe;
  bin8Other[2] = 0x03;
  Bytes bin8Long = kBin8Probe;
  bin8Long.push_back(0);
  Bytes noise;
  for (int i = 0; i < 300; ++i) noise.push_back(static_cast<std::uint8_t>(i * 37 + 11));

  struct Case {
    const char *what;
    std::uint16_t port;
    Bytes data;
  };
  const std::vector<Case> cases = {
      {"MO_I search reply of another camera", 10000, moiReply},
      {"MO_I settings command", 10000, moiSet},
      {"MO_I operation 3", 10000, moiOp3},
      {"MO_I probe with another body", 10000, moiBody},
      {"MO_I probe cut short", 10000, Bytes(kMoIProbe.begin(), kMoIProbe.end() - 1)},
      {"MO_I header only", 10000, Bytes(kMoIProbe.begin(), kMoIProbe.begin() + 23)},
      {"IMAGIAQUERY probe", 10000, bytesOf("IMAGIAQUERY,0")},
      {"empty datagram", 10000, {}},
      {"noise", 10000, noise},
      {"CTP reply", 7999, bytesOf("REPLY * CTP/1.0\r\n\r\n-sn X\r\n\r\n")},
      {"CTP search of another version", 7999, bytesOf("SEARCH * CTP/1.1\r\nFrom:0.0.0.0\r\n\r\n")},
      {"CTP search in lower case", 7999, bytesOf("search * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n")},
      {"CTP search without the empty line", 7999, bytesOf("SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n")},
      {"CTP search with LF line ends", 7999, bytesOf("SEARCH * CTP/1.0\nFrom:0.0.0.0\n\n")},
      {"CTP setip command", 7999, bytesOf("CMD setip CTP/1.0\r\nContent-Length: 2\r\n\r\n")},
      {"uicam probe", 7999, bytesOf("uicam query")},
      {"noise", 7999, noise},
      {"family-8 search answer", 6801, bin8Reply},
      {"family-8 command 0x0F03", 6801, bin8Other},
      {"family-8 search one byte long", 6801, bin8Long},
      {"family-8 header cut short", 6801, Bytes(kBin8Probe.begin(), kBin8Probe.begin() + 7)},
      {"SQ610 probe", 6801, concat(bytesOf("SQ610"), Bytes(251, 0))},
      {"noise", 6801, noise},
  };
  std::map<std::uint16_t, std::uint16_t> from = {{10000, 10000}, {7999, 7999}, {6801, 6800}};
  for (const auto &c : cases) {
    PcSocket pc(from[c.port]);
    ASSERT_TRUE(pc.bound());
    pc.broadcast(c.port, c.data);
    auto got = pc.collect(200);
    EXPECT_TRUE(got.empty()) << c.what << " on port " << c.port << " got " << got.size() << " answers";
  }
  // And the cameras still answer afterwards.
  PcSocket pc(10000);
  pc.broadcast(10000, kMoIProbe);
  EXPECT_EQ(pc.collect(kWaitMs).size(), kMoI.size());
}

TEST_F(SimLan, AnswersGoToThePortTheSearchCameFrom) {
  PcSocket pc(10077);
  ASSERT_TRUE(pc.bound());
  PcSocket usual(10000);
  ASSERT_TRUE(usual.bound());
  pc.broadcast(10000, kMoIProbe);
  EXPECT_EQ(pc.collect(kWaitMs).size(), kMoI.size());
  EXPECT_TRUE(usual.collect(50).empty());
}

// ---- Run-time control ----------------------------------------------------------

TEST_F(SimLan, StoppedCamerasStaySilentUntilStartedAgain) {
  auto sendersOf = [](std::uint16_t from, std::uint16_t to, const Bytes &probe) {
    PcSocket pc(from);
    EXPECT_TRUE(pc.bound());
    pc.broadcast(to, probe);
    std::set<std::string> s;
    for (const auto &d : pc.collect(kWaitMs)) s.insert(d.from);
    return s;
  };

  // A camera stopped by its id, one by its MAC and a whole family.
  ASSERT_EQ(control("stop moi-a"), "ok 1\n");
  ASSERT_EQ(control("stop 00:1A:2B:00:05:01"), "ok 1\n");
  ASSERT_EQ(control("stop family:8"), "ok 3\n");
  EXPECT_EQ(sendersOf(10000, 10000, kMoIProbe), (std::set<std::string>{"192.168.1.126", "192.168.7.254"}));
  EXPECT_EQ(sendersOf(7999, 7999, kCtpProbe), (std::set<std::string>{"10.20.30.40", "192.168.8.1"}));
  EXPECT_TRUE(sendersOf(6800, 6801, kBin8Probe).empty());
  // A stopped family-8 camera ignores the follow-ups too.
  EXPECT_TRUE(sendersOf(6800, 6801, concat(header8(0x0F12, kBin8[0].session, 128), expectedBlock(kBin8[0]))).empty());

  ASSERT_EQ(control("start 192.168.7.21"), "ok 1\n");
  ASSERT_EQ(control("start ctp-late"), "ok 1\n");
  ASSERT_EQ(control("start family:8"), "ok 3\n");
  EXPECT_EQ(sendersOf(10000, 10000, kMoIProbe).size(), kMoI.size());
  EXPECT_EQ(sendersOf(6800, 6801, kBin8Probe).size(), kBin8.size());

  // The camera configured as stopped answers once started.
  PcSocket pc(7999);
  pc.broadcast(7999, kCtpProbe);
  auto got = bySender(pc.collect(kWaitMs));
  EXPECT_EQ(got.size(), kCtp.size());  // ctp-a is still stopped, ctp-late runs
  ASSERT_TRUE(got.count(kCtpLate.ip));
  const std::string text(got[kCtpLate.ip].data.begin(), got[kCtpLate.ip].data.end());
  for (const auto &[key, want] : kCtpLate.values) {
    std::string value;
    ASSERT_TRUE(ctpValue(text, key, value));
    EXPECT_EQ(value, want);
  }
}

TEST_F(SimLan, ControlSocketRejectsWhatItDoesNotKnow) {
  EXPECT_EQ(control("stop no-such-camera"), "error no camera matches no-such-camera\n");
  EXPECT_EQ(control("stop"), "error stop needs a camera id, MAC, address, family:N or all\n");
  EXPECT_EQ(control("frobnicate"), "error unknown command\n");
  EXPECT_EQ(control(std::string(5000, 'x')), "error line too long\n");
  EXPECT_EQ(control("ping"), "ok\n");
}

}  // namespace
