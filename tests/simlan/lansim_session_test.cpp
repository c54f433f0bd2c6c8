// lan-sim without sockets, second part: the settings commands, restarts,
// the TCP dialects (CTP/1.0, the upload messages, HTTP and the CGI pages).
// Requests are written out here byte by byte, as the program sends them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "config.h"
#include "md5.h"
#include "proto.h"
#include "sim.h"

namespace {

using lansim::Bytes;
using lansim::Ipv4;

const char *kCameras = R"(
[sim]
strict = yes

[camera m]
family = 2
mac = 001A2B000201
ip = 192.168.7.21
http_port = 8080
user = admin
password = "p&w d+%"
restart_ms = 500
wifi_ap1 = Home | 00:11:22:33:44:55 | wpa2-aes | 80
ddns_server = ddns.example.net
ddns_user = hall01

[camera c]
family = 5
mac = 00:1a:2b:00:05:01
sn = E5A1000501
ip = 192.168.7.51
http_port = 81
password = garden
restart_ms = 700
oray_status = 3
wifi_ssid = Home
wifi_security = wpa2-aes
wifi_key = k1
wifi_ap1 = Home | 00:11:22:33:44:55 | wpa2-aes | 80
wifi_ap2 = Cafe | 00:11:22:33:44:66 | none | 35 | adhoc

[camera b]
family = 8
mac = 00:1A:2B:00:08:01
sn = 01020304050607
name = Door
ip = 192.168.7.81
dhcp = yes
word8 = 4660

[camera t]
family = 9
mac = 00:1A:2B:00:09:01
ip = 192.168.7.91
password = t9pw
restart_ms = 400

[camera u]
family = 9
mac = 00:1A:2B:00:09:02
ip = 192.168.7.92
setip_restart = yes
restart_ms = 300
dhcp_ip = 192.168.7.199

[camera d]
family = 4
mac = 00:1A:2B:00:04:01
ip = 192.168.7.41
data_port = 8001

[camera l]
family = 5
mac = 00:1a:2b:00:05:02
sn = E5A1000502
ip = 192.168.7.52
login_required = yes
)";

lansim::Simulator makeSim(const std::string &text = kCameras) {
  lansim::SimConfig cfg;
  std::vector<std::string> errors;
  EXPECT_TRUE(lansim::parseConfig(text, cfg, errors)) << (errors.empty() ? "" : errors[0]);
  return lansim::Simulator(std::move(cfg));
}

std::size_t indexOf(const lansim::Simulator &sim, const std::string &id) {
  for (std::size_t i = 0; i < sim.size(); ++i)
    if (sim.camera(i).id == id) return i;
  ADD_FAILURE() << "no camera " << id;
  return 0;
}

std::vector<lansim::Outgoing> feed(lansim::Simulator &sim, std::uint16_t port, const Bytes &data) {
  lansim::Incoming in;
  in.localPort = port;
  in.src = {192, 168, 7, 10};
  in.srcPort = port == 8600 ? 8600 : 40000;
  in.data = lansim::ByteView(data.data(), data.size());
  std::vector<lansim::Outgoing> out;
  sim.onDatagram(in, out);
  return out;
}

Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
void put(Bytes &b, std::size_t off, std::string_view s) { std::memcpy(b.data() + off, s.data(), s.size()); }
void put(Bytes &b, std::size_t off, const Bytes &v) { std::copy(v.begin(), v.end(), b.begin() + static_cast<long>(off)); }
void le16(Bytes &b, std::size_t off, unsigned v) {
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

// ---- The settings commands as the program builds them ------------------------

Bytes moiSet(const std::string &mac, const std::string &user, const std::string &pwd, const Bytes &ip, unsigned port) {
  Bytes b(84, 0);
  put(b, 0, "MO_I");
  b[4] = 2;
  b[15] = 61;
  const std::size_t o = 23;
  put(b, o + 4, mac);
  put(b, o + 17, user);
  put(b, o + 30, pwd);
  put(b, o + 43, ip);
  put(b, o + 47, Bytes{255, 255, 255, 0});
  put(b, o + 51, Bytes{192, 168, 7, 1});
  put(b, o + 55, Bytes{8, 8, 8, 8});
  b[o + 59] = static_cast<std::uint8_t>(port >> 8);
  b[o + 60] = static_cast<std::uint8_t>(port);
  return b;
}

Bytes ctpSetip(const std::string &sn, const std::string &oldIp, const std::string &pwd, const std::string &ip,
               const std::string &mac, unsigned port, int dhcp = 0) {
  std::string body = "\r\n-sn " + sn + "\r\n-interface " + oldIp + "\r\n-pswd " + pwd + "\r\n-dhcpen " +
                     std::to_string(dhcp) + "\r\n-ip " + ip + "\r\n-netmask 255.255.255.0\r\n-defgw 192.168.7.1\r\n" +
                     "-name Garden\r\n-mdns 8.8.8.8\r\n-sdns 208.67.222.222\r\n-mac " + mac + "\r\n-port " +
                     std::to_string(port) + "\r\n\r\n";
  return bytes("CMD setip CTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + body);
}

Bytes bin8Block(const std::string &ip, unsigned port, std::uint8_t dhcp) {
  Bytes b(128, 0);
  put(b, 0, ip);
  put(b, 16, "255.255.255.0");
  put(b, 32, "192.168.7.1");
  put(b, 48, "192.168.7.1");
  put(b, 64, "0.0.0.0");
  le16(b, 80, port);
  le16(b, 82, port);
  le16(b, 84, port);
  le16(b, 86, 8000);
  put(b, 88, Bytes{0x00, 0x1A, 0x2B, 0x00, 0x08, 0x01});
  le16(b, 94, 4660);
  put(b, 96, Bytes{1, 2, 3, 4, 5, 6, 7});
  b[103] = dhcp;
  put(b, 104, "Door");
  return b;
}

Bytes bin8Write(const Bytes &oldBlock, const Bytes &newBlock) {
  Bytes b = {0x10, 0x10, 0x02, 0x0F, 0x00, 0x00, 0x00, 0x01};
  b.insert(b.end(), oldBlock.begin(), oldBlock.end());
  b.insert(b.end(), newBlock.begin(), newBlock.end());
  return b;
}

Bytes t9Set(const Bytes &mac, const std::string &ip, unsigned port, const std::string &user, const std::string &pwd,
            std::uint8_t dhcp) {
  Bytes b(324, 0);
  put(b, 0, Bytes{0x44, 0x48, 0x02, 0x01});
  put(b, 4, ip);
  put(b, 20, "255.255.255.0");
  put(b, 36, "192.168.7.1");
  put(b, 52, "8.8.8.8");
  put(b, 68, "208.67.222.222");
  put(b, 84, mac);
  le16(b, 90, port);
  put(b, 124, "Porch");
  put(b, 204, "V1.0.0");
  put(b, 236, user);
  put(b, 268, pwd);
  b[301] = dhcp;
  return b;
}

Bytes dvsConfig(std::uint16_t tx, const std::string &user, const std::string &pwd, const std::string &ip) {
  Bytes b(232, 0);
  put(b, 0, Bytes{'D', 'V', 'S', 'N', 1, 0x02});
  le16(b, 6, tx);
  put(b, 8, Bytes{0x00, 0x1A, 0x2B, 0x00, 0x04, 0x01});
  le16(b, 16, 8080);
  le16(b, 18, 8002);
  le16(b, 20, 9001);
  put(b, 24, user);
  put(b, 56, pwd);
  put(b, 88, "Gate");
  put(b, 152, ip);
  put(b, 168, "255.255.255.0");
  put(b, 184, "192.168.7.1");
  put(b, 200, "192.168.7.2");
  put(b, 216, "8.8.8.8");
  return b;
}

struct SetCase {
  const char *name;
  const char *camera;
  std::uint16_t port;
  Bytes good, badLogin;
  Ipv4 newIp;
  std::uint16_t newHttpPort;
  std::size_t answers;  // families 4 and 9 answer the command
};

std::vector<SetCase> setCases() {
  const Bytes t9mac = {0x00, 0x1A, 0x2B, 0x00, 0x09, 0x01};
  return {
      {"family 2", "m", 10000, moiSet("001A2B000201", "admin", "p&w d+%", {192, 168, 7, 121}, 8081),
       moiSet("001A2B000201", "admin", "p&w d+", {192, 168, 7, 121}, 8081), {192, 168, 7, 121}, 8081, 0},
      {"family 5", "c", 7999, ctpSetip("E5A1000501", "192.168.7.51", "garden", "10.1.2.3", "00:1a:2b:00:05:01", 82),
       ctpSetip("E5A1000501", "192.168.7.51", "Garden", "10.1.2.3", "00:1a:2b:00:05:01", 82), {10, 1, 2, 3}, 82, 0},
      {"family 8", "b", 6801, bin8Write(bin8Block("192.168.7.81", 80, 1), bin8Block("192.168.7.181", 88, 0)), {},
       {192, 168, 7, 181}, 88, 0},
      {"family 9", "t", 8600, t9Set(t9mac, "192.168.7.191", 8091, "admin", "t9pw", 0),
       t9Set(t9mac, "192.168.7.191", 8091, "admin", "t9px", 0), {192, 168, 7, 191}, 8091, 1},
      {"family 4", "d", 9909, dvsConfig(7, "admin", "qelvo", "192.168.7.141"),
       dvsConfig(7, "admin", "qelvo2", "192.168.7.141"), {192, 168, 7, 141}, 8080, 1},
  };
}

class Settings : public ::testing::TestWithParam<SetCase> {};

// The camera takes the command with its own login and then is at its new
// address; a wrong login leaves it where it was.
TEST_P(Settings, MoveTheCameraOnlyWithItsLogin) {
  const SetCase &c = GetParam();
  auto sim = makeSim();
  const std::size_t cam = indexOf(sim, c.camera);
  const Ipv4 oldIp = sim.camera(cam).ip;
  if (!c.badLogin.empty()) {
    auto out = feed(sim, c.port, c.badLogin);
    ASSERT_EQ(out.size(), c.answers);
    EXPECT_EQ(sim.camera(cam).ip, oldIp);
    if (c.port == 8600) {
      EXPECT_EQ(lansim::le32(*out[0].data, 324), 0x8001u);
    }
    if (c.port == 9909) {
      EXPECT_EQ((*out[0].data)[14], 1);
    }
  }
  const auto gen = sim.generation();
  auto out = feed(sim, c.port, c.good);
  ASSERT_EQ(out.size(), c.answers);
  EXPECT_EQ(sim.camera(cam).ip, c.newIp);
  EXPECT_EQ(sim.camera(cam).httpPort, c.newHttpPort);
  EXPECT_NE(sim.generation(), gen) << "the listeners must follow the camera";
  if (c.port == 8600) {
    ASSERT_EQ(out[0].data->size(), 328u);
    EXPECT_EQ(lansim::le32(*out[0].data, 324), 0x8000u);
    EXPECT_EQ(lansim::le16(*out[0].data, 2), 0x0802);
  }
  if (c.port == 9909) {
    ASSERT_EQ(out[0].data->size(), 16u);
    EXPECT_EQ((*out[0].data)[5], 0x82);
    EXPECT_EQ((*out[0].data)[6], 7) << "the transaction word comes back";
    EXPECT_EQ((*out[0].data)[14], 0);
  }
  // The TCP servers follow the camera.
  bool atNew = false, atOld = false;
  for (const auto &e : sim.endpoints()) {
    if (e.camera != cam) continue;
    atNew |= e.ip == c.newIp && e.port == c.newHttpPort;
    atOld |= e.ip == oldIp;
  }
  if (c.port != 9909) {
    EXPECT_TRUE(atNew);
    EXPECT_FALSE(atOld);
  }
}

// Every truncation of a command is ignored, and nothing reads past its end.
TEST_P(Settings, CutCommandsChangeNothing) {
  const SetCase &c = GetParam();
  auto sim = makeSim();
  for (std::size_t len = 0; len < c.good.size(); ++len) {
    auto out = feed(sim, c.port, Bytes(c.good.begin(), c.good.begin() + static_cast<long>(len)));
    EXPECT_TRUE(out.empty()) << "length " << len;
  }
  bool quit = false;
  EXPECT_NE(sim.control(std::string("show ") + c.camera, quit).find("changes = 0\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, Settings, ::testing::ValuesIn(setCases()),
                         [](const auto &info) { return std::string("f") + info.param.name[7]; });

// Strict mode compares a command with what the program builds; near misses
// that a looser camera might take are refused.
TEST(LanSimSettings, NearMissesAreRefusedInStrictMode) {
  struct Case {
    const char *what;
    std::uint16_t port;
    Bytes data;
  };
  Bytes moiNoPad = moiSet("001A2B000201", "admin", "p&w d+%", {192, 168, 7, 121}, 8081);
  moiNoPad[23 + 17 + 6] = 'x';  // a byte after the user name's NUL
  Bytes staticOld = bin8Write(bin8Block("192.168.7.81", 80, 0), bin8Block("192.168.7.181", 88, 0));
  Bytes threePorts = bin8Write(bin8Block("192.168.7.81", 80, 1), bin8Block("192.168.7.181", 88, 0));
  le16(threePorts, 136 + 84, 89);
  Bytes badIp = bin8Write(bin8Block("192.168.7.81", 80, 1), bin8Block("192.168.7.300", 88, 0));
  Bytes ctpBlank = ctpSetip("E5A1000501", "192.168.7.51", "garden", "10.1.2.3", "00:1a:2b:00:05:01", 82);
  ctpBlank.erase(ctpBlank.begin() + 34);  // "Content-Length:" without its blank
  Bytes ctpLength = ctpSetip("E5A1000501", "192.168.7.51", "garden", "10.1.2.3", "00:1a:2b:00:05:01", 82);
  ctpLength[35] = static_cast<std::uint8_t>(ctpLength[35] + 1);
  const std::vector<Case> cases = {
      {"MO_I with garbage after a NUL", 10000, moiNoPad},
      {"family-8 old block with DHCP byte 0", 6801, staticOld},
      {"family-8 with three ports that differ", 6801, threePorts},
      {"family-8 with an address that is no address", 6801, badIp},
      {"setip with Content-Length: N written without the blank", 7999, ctpBlank},
      {"setip whose length is wrong", 7999, ctpLength},
      {"setip for another -interface", 7999,
       ctpSetip("E5A1000501", "192.168.7.50", "garden", "10.1.2.3", "00:1a:2b:00:05:01", 82)},
      {"setip for another MAC", 7999,
       ctpSetip("E5A1000501", "192.168.7.51", "garden", "10.1.2.3", "00:1a:2b:00:05:09", 82)},
      {"family-9 for a MAC not simulated", 8600, t9Set({0, 0x1A, 0x2B, 0, 9, 9}, "192.168.7.191", 80, "admin", "t9pw", 0)},
      {"family-9 to a broadcast address", 8600,
       t9Set({0, 0x1A, 0x2B, 0, 9, 1}, "255.255.255.255", 80, "admin", "t9pw", 0)},
  };
  for (const auto &c : cases) {
    auto sim = makeSim();
    auto out = feed(sim, c.port, c.data);
    for (std::size_t i = 0; i < sim.size(); ++i) EXPECT_EQ(sim.camera(i).ip, makeSim().camera(i).ip) << c.what;
    // Family 9 says no to an address it cannot take.
    if (std::string(c.what) == "family-9 to a broadcast address") {
      ASSERT_EQ(out.size(), 1u);
      EXPECT_EQ(lansim::le32(*out[0].data, 324), 0x8001u);
    } else {
      EXPECT_TRUE(out.empty()) << c.what;
    }
  }
}

// A camera set to apply its address by a restart is away for its restart
// time and then answers at the address its DHCP server gives.
TEST(LanSimRestart, AddressChangeByRestartComesBackAtTheNewAddress) {
  auto sim = makeSim();
  const std::size_t u = indexOf(sim, "u");
  sim.tick(1000);
  auto out = feed(sim, 8600, t9Set({0x00, 0x1A, 0x2B, 0x00, 0x09, 0x02}, "192.168.7.193", 80, "admin", "", 1));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(sim.deliverable(out[0])) << "the answer goes out although the camera is restarting";
  EXPECT_FALSE(sim.answering(u));
  EXPECT_EQ(sim.nextWakeMs(), 1300);
  EXPECT_TRUE(feed(sim, 8600, {0x44, 0x48, 0x01, 0x01}).size() == 1u) << "only t answers the search meanwhile";
  sim.tick(1299);
  EXPECT_FALSE(sim.answering(u));
  sim.tick(1300);
  EXPECT_TRUE(sim.answering(u));
  EXPECT_EQ(sim.camera(u).ip, (Ipv4{192, 168, 7, 199}));
  EXPECT_TRUE(sim.camera(u).dhcp);
  EXPECT_EQ(feed(sim, 8600, {0x44, 0x48, 0x01, 0x01}).size(), 2u);
  EXPECT_EQ(sim.nextWakeMs(), -1);
}

// ---- TCP sessions ------------------------------------------------------------------

struct Tcp {
  lansim::Simulator &sim;
  std::uint64_t id;
  bool open = true;
  std::string send(std::string_view data) {
    std::string out;
    open = sim.sessionInput(id, lansim::ByteView(reinterpret_cast<const std::uint8_t *>(data.data()), data.size()), out);
    return out;
  }
};

Tcp connect(lansim::Simulator &sim, const std::string &camera, std::uint16_t port = 0) {
  const std::size_t cam = indexOf(sim, camera);
  for (const auto &e : sim.endpoints())
    if (e.camera == cam && (port == 0 || e.port == port)) return Tcp{sim, sim.openSession(e)};
  ADD_FAILURE() << camera << " serves no TCP";
  return Tcp{sim, 0};
}

std::string ctp(const std::string &verb, const std::string &body) {
  return "CMD " + verb + " CTP/1.0\r\nContent-Length:" + std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string ok(const std::string &lines = "") {
  const std::string body = lines + "\r\n";
  return "CTP/1.0 200 OK\r\nContent-Length:" + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct CtpCase {
  const char *what, *request, *reply;
};

TEST(LanSimCtp, CommandsAndTheirReplies) {
  auto sim = makeSim();
  Tcp t = connect(sim, "c");
  const std::string unauthorized = "CTP/1.0 401 Unauthorized\r\nContent-Length:2\r\n\r\n\r\n";
  const std::vector<std::pair<std::string, std::string>> steps = {
      {ctp("keepalive", "\r\n"), ok()},
      {ctp("cfgusr", "-login admin:wrong\r\n\r\n"), unauthorized},
      {ctp("cfgusr", "-login admin:garden\r\n\r\n"), ok()},
      {ctp("getoraystate", "-list\r\n\r\n"), ok("-status 3\r\n")},
      {ctp("cfgwnic", "-list\r\n\r\n"),
       ok("-enable 0\r\n-ssid Home\r\n-authmode WPA2PSK\r\n-encryptype AES\r\n-key k1\r\n-dhcpen 0\r\n")},
      {ctp("cfgwnic", "-enable 1\r\n-ssid Cafe\r\n-authmode NONE\r\n-encryptype \r\n-key  a b \r\n\r\n"), ok()},
      {ctp("cfgwnic", "-list\r\n\r\n"),
       ok("-enable 1\r\n-ssid Cafe\r\n-authmode NONE\r\n-encryptype \r\n-key  a b \r\n-dhcpen 0\r\n")},
      {ctp("iwlist", "\r\n"), ok("Home,00:11:22:33:44:55,1,0,2,2,80\r\nCafe,00:11:22:33:44:66,0,1,0,0,35\r\n")},
      {ctp("frobnicate", "\r\n"),
       "CTP/1.0 404 Not Found\r\nContent-Length:37\r\n\r\n-error unknown command frobnicate\r\n\r\n"},
      {"CMD keepalive CTP/1.0\r\nContent-Length: 2\r\n\r\n\r\n",
       "CTP/1.0 400 Bad Request\r\nContent-Length:59\r\n\r\n-error header must be Content-Length:N and nothing else\r\n\r\n"},
      {ctp("cfgwnic", "-ssid x\r\n\r\n"),
       "CTP/1.0 400 Bad Request\r\nContent-Length:60\r\n\r\n-error expected -enable -ssid -authmode -encryptype -key\r\n\r\n"},
  };
  for (const auto &[request, reply] : steps) {
    EXPECT_EQ(t.send(request), reply) << request;
    EXPECT_TRUE(t.open);
  }
}

// The program sends a command in one piece, but TCP may cut it anywhere:
// byte by byte, or two commands in one segment, the answers are the same.
TEST(LanSimCtp, AnswersDoNotDependOnHowTheStreamIsCut) {
  const std::string stream = ctp("keepalive", "\r\n") + ctp("cfgusr", "-login admin:garden\r\n\r\n") +
                             ctp("iwlist", "\r\n") + ctp("getoraystate", "-list\r\n\r\n");
  auto whole = makeSim();
  Tcp a = connect(whole, "c");
  const std::string expected = a.send(stream);
  auto pieces = makeSim();
  Tcp b = connect(pieces, "c");
  std::string got;
  for (char ch : stream) got += b.send(std::string_view(&ch, 1));
  EXPECT_EQ(got, expected);
  EXPECT_EQ(expected.substr(0, ok().size()), ok());
  EXPECT_NE(expected.find("-status 3"), std::string::npos);
}

TEST(LanSimCtp, LoginRequiredGatesEveryCommandButKeepaliveAndLogin) {
  auto sim = makeSim();
  Tcp t = connect(sim, "l");
  EXPECT_EQ(t.send(ctp("keepalive", "\r\n")), ok());
  EXPECT_NE(t.send(ctp("iwlist", "\r\n")).find("401"), std::string::npos);
  EXPECT_EQ(t.send(ctp("cfgusr", "-login admin:qelvo\r\n\r\n")), ok());
  EXPECT_EQ(t.send(ctp("iwlist", "\r\n")), ok());
  // A second connection has to log in again.
  Tcp u = connect(sim, "l");
  EXPECT_NE(u.send(ctp("iwlist", "\r\n")).find("401"), std::string::npos);
}

TEST(LanSimCtp, RestartAnswersThenTheCameraIsAwayForItsRestartTime) {
  auto sim = makeSim();
  const std::size_t c = indexOf(sim, "c");
  sim.tick(5000);
  Tcp t = connect(sim, "c");
  EXPECT_EQ(t.send(ctp("restart", "\r\n")), ok());
  EXPECT_FALSE(t.open);
  EXPECT_FALSE(sim.sessionCurrent(t.id));
  EXPECT_FALSE(sim.answering(c));
  for (const auto &e : sim.endpoints()) EXPECT_NE(e.camera, c);
  const std::string probe = "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n";
  EXPECT_EQ(feed(sim, 7999, bytes(probe)).size(), 1u) << "only the other family-5 camera";
  sim.tick(5699);
  EXPECT_FALSE(sim.answering(c));
  sim.tick(5700);
  EXPECT_TRUE(sim.answering(c));
  EXPECT_EQ(feed(sim, 7999, bytes(probe)).size(), 2u);
  Tcp again = connect(sim, "c");
  EXPECT_EQ(again.send(ctp("keepalive", "\r\n")), ok());
}

TEST(LanSimCtp, StreamsThatCannotBeFramedAreClosed) {
  for (std::string junk : {std::string("GARBAGE\r\n"), std::string(5000, 'x'), std::string("CMD a b CTP/1.0\r\n"),
                           std::string("CMD keepalive CTP/1.0\r\nContent-Length:99999999\r\n\r\n")}) {
    auto sim = makeSim();
    Tcp t = connect(sim, "c");
    std::string reply = t.send(junk);
    EXPECT_FALSE(t.open) << junk.substr(0, 40);
    EXPECT_EQ(reply.rfind("CTP/1.0 400 Bad Request", 0), 0u);
  }
}

// ---- Firmware upload ------------------------------------------------------------------

std::string md5Of(const std::string &data) {
  lansim::Md5 m;
  m.add(reinterpret_cast<const std::uint8_t *>(data.data()), data.size());
  auto d = m.finish();
  return std::string(d.begin(), d.end());
}

TEST(LanSimUpload, Md5MatchesTheTestSuiteOfRfc1321) {
  auto hex = [](const std::string &d) {
    std::string s;
    char buf[3];
    for (unsigned char c : d) std::snprintf(buf, sizeof buf, "%02x", c), s += buf;
    return s;
  };
  EXPECT_EQ(hex(md5Of("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(hex(md5Of("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hex(md5Of("12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
            "57edf4a22be3c955ac49da2e2107b67a");
}

// Login, "CMD exit", a new connection in the upload dialect: a file in
// chunks with its digest and a command; the camera then restarts.
TEST(LanSimUpload, PackageIsTakenChunkByChunkAndCheckedByItsDigest) {
  for (bool goodDigest : {true, false}) {
    auto sim = makeSim();
    const std::size_t c = indexOf(sim, "c");
    Tcp login = connect(sim, "c");
    EXPECT_EQ(login.send(ctp("cfgusr", "-login admin:garden\r\n\r\n")), ok());
    EXPECT_EQ(login.send("CMD exit CTP/1.0\r\n"), ok());
    EXPECT_FALSE(login.open);
    sim.sessionClosed(login.id);

    Tcp up = connect(sim, "c");
    const std::string data(3000, 'Z');
    EXPECT_EQ(up.send("CMD 10\r\necho hello"), "REPLY OK\r\n");
    EXPECT_EQ(up.send("FILE 13\r\nfirmware 3000"), "REPLY OK\r\n");
    for (std::size_t off = 0; off < data.size(); off += 1400) {
      const std::string chunk = data.substr(off, 1400);
      EXPECT_EQ(up.send("DATA " + std::to_string(chunk.size()) + "\r\n" + chunk), "REPLY OK\r\n");
    }
    std::string digest = md5Of(data);
    if (!goodDigest) digest[0] = static_cast<char>(digest[0] ^ 1);
    EXPECT_EQ(up.send("MD5 16\r\n" + digest), goodDigest ? "REPLY OK\r\n" : "REPLY ERROR\r\n");
    if (goodDigest) {
      EXPECT_EQ(up.send("CMD 6\r\nreboot"), "REPLY OK\r\n");
    }
    sim.sessionClosed(up.id);
    bool quit = false;
    const std::string uploads = sim.control("uploads c", quit);
    EXPECT_EQ(uploads, goodDigest ? "c ctp firmware 3000 accepted files=1 commands=1\nok 1\n"
                                  : "c ctp - 0 refused files=0 commands=0\nok 1\n");
    EXPECT_EQ(sim.answering(c), !goodDigest) << "only a good package restarts the camera";
  }
}

TEST(LanSimUpload, ExitNeedsALoginAndUploadMessagesAreRefusedInCommandMode) {
  auto sim = makeSim();
  Tcp t = connect(sim, "c");
  EXPECT_NE(t.send("CMD exit CTP/1.0\r\n").find("401"), std::string::npos);
  Tcp u = connect(sim, "c");
  EXPECT_EQ(u.send("CMD 10\r\necho hello").rfind("CTP/1.0 400", 0), 0u);
  EXPECT_FALSE(u.open);
}

// ---- HTTP and the CGI pages -------------------------------------------------------------

std::string get(lansim::Simulator &sim, const std::string &camera, const std::string &target,
                const std::string &headers = "", std::uint16_t port = 0) {
  Tcp t = connect(sim, camera, port);
  std::string out = t.send("GET " + target + " HTTP/1.1\r\nHost: cam\r\n" + headers + "\r\n");
  EXPECT_FALSE(t.open);
  sim.sessionClosed(t.id);
  return out;
}

int status(const std::string &response) {
  return response.size() > 12 ? std::atoi(response.c_str() + 9) : 0;
}
std::string body(const std::string &response) {
  auto p = response.find("\r\n\r\n");
  return p == std::string::npos ? "" : response.substr(p + 4);
}

struct PageCase {
  const char *camera, *target, *headers;
  int status;
  const char *contains;
};

// Which login each page takes, and how each family says no.
TEST(LanSimCgi, PagesCheckTheLoginTheirFamilyUses) {
  const std::string basicRight = "Authorization: Basic " + std::string("YWRtaW46cCZ3IGQrJQ==") + "\r\n";  // admin:p&w d+%
  const std::vector<PageCase> cases = {
      {"m", "/get_params.cgi?user=admin&pwd=p%26w%20d%2B%25", "", 200, "var wifi_enable=0;"},
      {"m", "/get_params.cgi?user=admin&pwd=p%26w+d%2B%25", "", 200, "var ddns_user='hall01';"},
      {"m", "/get_params.cgi?user=admin&pwd=p&w d+%", "", 400, ""},  // a blank splits the request line
      {"m", "/get_params.cgi?user=admin&pwd=p&w%20d+%", "", 401, "Unauthorized"},
      {"m", "/get_params.cgi", basicRight.c_str(), 200, "var wifi_ssid=''"},
      {"m", "/get_params.cgi?user=admin&pwd=x", basicRight.c_str(), 401, "Unauthorized"},
      {"m", "/set_ddns.cgi?cam_user=admin&cam_pwd=x&user=a&pwd=b", "", 401, "Una"},
      {"m", "/reboot.cgi", "", 401, ""},
      {"m", "/get_status.cgi", "", 200, "var sys_ver=\"1.0.0.1:1.0.0.1\";"},
      {"m", "/cgi-bin/wifi_scan.cgi?loginuse=admin&loginpas=x", "", 404, ""},
      {"b", "/get_params.cgi?user=admin&pwd=", "", 200, "var wifi_keyformat=0;"},
      {"b", "/cgi-bin/wifi_scan.cgi?loginuse=admin&loginpas=&next_url=wireless.htm", "", 200, "ok"},
      {"b", "/cgi-bin/wifi_scan.cgi?loginuse=admin&loginpas=no", "", 401, ""},
      {"b", "/wifi_scan.cgi?user=admin&pwd=", "", 404, ""},
      {"b", "/cgi-bin/reboot.cgi?next_url=reboot.htm", "Authorization: Basic YWRtaW46eA==\r\n", 401, ""},
      {"t", "/get_params.cgi?user=admin&pwd=t9pw", "", 200, "var wifi_wpa_psk='';"},
      {"t", "/get_params.cgi?user=admin&pwd=bad", "", 200, "Auth Failed"},
      {"t", "/get_factory_param.cgi?user=admin&pwd=bad", "", 200, "Auth Failed"},
      {"t", "//wifi_scan.cgi?user=admin&pwd=t9pw", "", 200, "ok"},
      {"t", "/reboot.cgi?next_url=reboot.htm", "", 401, ""},
      {"t", "/set_ddns.cgi?service=11&user=admin&pwd=t9pw&loginuse=admin&loginpas=x", "", 200, "Auth Failed"},
      {"t", "/upgrade_htmls.cgi?loginuse=admin&loginpas=t9pw", "", 405, ""},
      {"t", "/no_such_page.cgi", "", 404, ""},
  };
  for (const auto &c : cases) {
    auto sim = makeSim();
    const std::string r = get(sim, c.camera, c.target, c.headers);
    EXPECT_EQ(status(r), c.status) << c.camera << " " << c.target << "\n" << r;
    EXPECT_NE(body(r).find(c.contains), std::string::npos) << c.camera << " " << c.target << "\n" << r;
    if (c.status == 401) {
      EXPECT_NE(r.find("WWW-Authenticate: Basic"), std::string::npos);
    }
  }
}

TEST(LanSimCgi, ValuesSetAreReadBackAndReachTheSearchReplies) {
  auto sim = makeSim();
  const std::string login = "user=admin&pwd=p%26w%20d%2B%25";
  auto r = get(sim, "m", "/set_wifi.cgi?next_url=rebootme.htm&" + login +
                             "&channel=5&enable=1&ssid=My%20Net&mode=0&encrypt=4&authtype=0&keyformat=0&defkey=0"
                             "&key1=&key2=&key3=&key4=&key1_bits=0&key2_bits=1&key3_bits=0&key4_bits=0&wpa_psk=s%3Bcret");
  EXPECT_EQ(status(r), 200);
  EXPECT_NE(body(r).find("rebootme.htm"), std::string::npos);
  r = body(get(sim, "m", "/get_params.cgi?" + login));
  for (const char *want : {"var wifi_enable=1;", "var wifi_ssid='My Net';", "var wifi_encrypt=4;",
                           "var wifi_key2_bits=1;", "var wifi_wpa_psk='s;cret';"})
    EXPECT_NE(r.find(want), std::string::npos) << want << "\n" << r;
  // The key comes before the bits that begin with its name.
  EXPECT_LT(r.find("var wifi_key1="), r.find("var wifi_key1_bits="));

  r = get(sim, "m", "/set_ddns.cgi?cam_user=admin&cam_pwd=p%26w%20d%2B%25&service=7&user=cam9&pwd=pw9&host="
                    "&proxy_svr=dyn.example.org&proxy_port=808&restart_dyndns=1");
  EXPECT_EQ(body(r), "ok\r\n");
  r = body(get(sim, "m", "/get_params.cgi?" + login));
  EXPECT_NE(r.find("var ddns_proxy_svr='dyn.example.org';"), std::string::npos);
  EXPECT_NE(r.find("var ddns_user='cam9';"), std::string::npos);
  auto search = feed(sim, 10000, {'M', 'O', '_', 'I', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
  ASSERT_EQ(search.size(), 1u);
  EXPECT_EQ(lansim::getText(*search[0].data, 23 + 65, 65), "dyn.example.org");
  EXPECT_EQ(lansim::getText(*search[0].data, 23 + 130, 65), "cam9");

  r = get(sim, "t", "/set_ddns.cgi?service=11&user=porch&pwd=secret&host=porch.example.org&proxy_svr=d.example.org"
                    "&proxy_port=8080&restart_dyndns=&loginuse=admin&loginpas=t9pw");
  EXPECT_EQ(body(r), "ok\r\n");
  r = body(get(sim, "t", "/get_factory_param.cgi?user=admin&pwd=t9pw"));
  EXPECT_EQ(r, "var factory_index=10;\r\nvar factory_server='d.example.org';\r\nvar factory_port=8080;\r\n"
               "var factory_user='porch';\r\nvar factory_passwd='secret';\r\n");
  search = feed(sim, 8600, {0x44, 0x48, 0x01, 0x01});
  auto fromT = std::find_if(search.begin(), search.end(), [](const auto &o) { return o.src == Ipv4{192, 168, 7, 91}; });
  ASSERT_NE(fromT, search.end());
  EXPECT_EQ(lansim::getText(*fromT->data, 388, 64), "porch.example.org");
  EXPECT_EQ(lansim::getText(*fromT->data, 452, 32), "porch");
}

TEST(LanSimCgi, ScanResultsAreWrittenTheWayEachFamilyReadsThem) {
  auto sim = makeSim();
  EXPECT_EQ(body(get(sim, "m", "/get_wifi_scan_result.cgi?user=admin&pwd=p%26w%20d%2B%25")),
            "var ap_number=1;\r\nvar ap_ssid[0]=\"Home\";\r\nvar ap_mac[0]=\"00:11:22:33:44:55\";\r\n"
            "var ap_security[0]=4;\r\nvar ap_dbm0[0]='80';\r\nvar ap_dbm1[0]='-60';\r\nvar ap_mode[0]=0;\r\n");
  EXPECT_EQ(body(get(sim, "b", "/get_wifi_scan_result.cgi?user=admin&pwd=")), "var ap_number=0;\r\n");
}

// A reboot or an upgrade answers first, then the camera is away.
TEST(LanSimCgi, RebootAndUpgradeRestartTheCamera) {
  auto sim = makeSim();
  sim.tick(100);
  const std::size_t t = indexOf(sim, "t");
  auto r = get(sim, "t", "/reboot.cgi?next_url=reboot.htm", "Authorization: Basic YWRtaW46dDlwdw==\r\n");
  EXPECT_EQ(status(r), 200);
  EXPECT_FALSE(sim.answering(t));
  sim.tick(500);
  EXPECT_TRUE(sim.answering(t));

  // A multipart upload on port 8600, with "Expect: 100-continue" as libcurl sends it.
  const std::string file = "\x01\x02\x03\x04" "firmware";
  const std::string multipart = "--XyZ\r\nContent-Disposition: form-data; name=\"file\"; filename=\"fw.bin\"\r\n"
                                "Content-Type: application/x-zip-compressed\r\n\r\n" + file + "\r\n--XyZ--\r\n";
  Tcp up = connect(sim, "t", 8600);
  std::string out = up.send("POST /upgrade_firmware.cgi?loginuse=admin&loginpas=t9pw HTTP/1.1\r\nHost: c\r\n"
                            "Content-Type: multipart/form-data; boundary=XyZ\r\nExpect: 100-continue\r\n"
                            "Content-Length: " + std::to_string(multipart.size()) + "\r\n\r\n");
  EXPECT_EQ(out, "HTTP/1.1 100 Continue\r\n\r\n");
  EXPECT_TRUE(up.open);
  out = up.send(multipart);
  EXPECT_EQ(status(out), 200);
  bool quit = false;
  EXPECT_EQ(sim.control("uploads t", quit),
            "t /upgrade_firmware.cgi fw.bin 12 accepted application/x-zip-compressed\nok 1\n");
  EXPECT_FALSE(sim.answering(t));

  // Family 2 looks at the first bytes: a web-page file is no system firmware.
  Tcp m = connect(sim, "m");
  const std::string web = "--b\r\nContent-Disposition: form-data; name=\"file\"; filename=\"w.bin\"\r\n\r\n"
                          "\xBD\x9A\x0C\x44...\r\n--b--\r\n";
  out = m.send("POST /upgrade_firmware.cgi?user=admin&pwd=p%26w%20d%2B%25&next_url=reboot.htm HTTP/1.0\r\n"
               "Content-Type: multipart/form-data; boundary=b\r\nTransfer-Encoding: chunked\r\n\r\n" +
               [&] {
                 char size[16];
                 std::snprintf(size, sizeof size, "%zx", web.size());
                 return std::string(size) + "\r\n" + web + "\r\n0\r\n\r\n";
               }());
  EXPECT_EQ(status(out), 400);
  EXPECT_TRUE(sim.answering(indexOf(sim, "m")));
}

TEST(LanSimHttp, RequestsThatCannotBeReadGetAnErrorAndNoCrash) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"GET /\r\n\r\n", 400},
      {"GET / HTTP/2.0\r\n\r\n", 505},
      {"GET / HTTP/1.1\r\nNoColon\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\n" + std::string(20000, 'a') + "\r\n\r\n", 431},
      {"POST /upgrade_htmls.cgi HTTP/1.1\r\nContent-Length: 999999999999\r\n\r\n", 413},
      {"POST /upgrade_htmls.cgi HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 400},
      {"POST /upgrade_htmls.cgi HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", 501},
      {"HEAD relative HTTP/1.1\r\n\r\n", 400},
  };
  for (const auto &[request, want] : cases) {
    auto sim = makeSim();
    Tcp t = connect(sim, "m");
    const std::string r = t.send(request);
    EXPECT_EQ(status(r), want) << request.substr(0, 60);
    EXPECT_FALSE(t.open);
  }
  // Random bytes after a plausible start, in random pieces.
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    auto sim = makeSim();
    Tcp t = connect(sim, i % 2 ? "m" : "c");
    std::string data = i % 3 ? "GET /get_params.cgi?" : "CMD cfgwnic CTP/1.0\r\nContent-Length:";
    for (std::size_t n = rng() % 400; n-- > 0;) data += static_cast<char>(rng());
    for (std::size_t p = 0; p < data.size() && t.open;) {
      const std::size_t n = 1 + rng() % 50;
      t.send(std::string_view(data).substr(p, n));
      p += n;
    }
    sim.sessionClosed(t.id);
  }
}

TEST(LanSimHttp, QueryAndBasicCredentialsAreDecoded) {
  const auto q = lansim::parseQuery("a=1&b=%41%2b+c&&d&e=%zz%4&f=x=y");
  ASSERT_EQ(q.size(), 5u);
  EXPECT_EQ(q[1], (std::pair<std::string, std::string>{"b", "A+ c"}));
  EXPECT_EQ(q[2], (std::pair<std::string, std::string>{"d", ""}));
  EXPECT_EQ(q[3], (std::pair<std::string, std::string>{"e", "%zz%4"}));
  EXPECT_EQ(q[4], (std::pair<std::string, std::string>{"f", "x=y"}));
  lansim::HttpParser p;
  ASSERT_EQ(p.feed("GET //a//b.cgi?x=1 HTTP/1.0\r\nAuthorization: basic YTpiOmM=\r\n\r\n"),
            lansim::HttpParser::State::Done);
  EXPECT_EQ(p.request().path, "/a/b.cgi");
  auto creds = lansim::basicCredentials(p.request());
  ASSERT_TRUE(creds);
  EXPECT_EQ(creds->first, "a");
  EXPECT_EQ(creds->second, "b:c");
}

// ---- Control ----------------------------------------------------------------------------------

TEST(LanSimControl, ResetUndoesMovesRestartsAndUploads) {
  auto sim = makeSim();
  const std::size_t m = indexOf(sim, "m");
  feed(sim, 10000, moiSet("001A2B000201", "admin", "p&w d+%", {192, 168, 7, 121}, 8081));
  bool quit = false;
  EXPECT_EQ(sim.control("restart c 100000", quit), "ok 1\n");
  EXPECT_EQ(sim.control("restart c x", quit), "error no camera matches c x\n");
  EXPECT_EQ(sim.control("restart c 700000", quit), "error restart time must be 0 to 600000 ms\n");
  EXPECT_NE(sim.control("show m", quit).find("ip = 192.168.7.121\n"), std::string::npos);
  EXPECT_NE(sim.control("list c", quit).find("restarting"), std::string::npos);
  EXPECT_EQ(sim.control("reset", quit), "ok 7\n");
  EXPECT_EQ(sim.camera(m).ip, (Ipv4{192, 168, 7, 21}));
  EXPECT_TRUE(sim.answering(indexOf(sim, "c")));
  EXPECT_NE(sim.control("show m", quit).find("changes = 0\n"), std::string::npos);
}

// move: the camera answers from its new address at once, by UDP and TCP alike; its old
// endpoints go.
TEST(LanSimControl, MoveGivesOneCameraANewAddressAtOnce) {
  auto sim = makeSim();
  bool quit = false;
  const std::size_t t = indexOf(sim, "t");
  const std::uint64_t generation = sim.generation();
  EXPECT_EQ(sim.control("move t 10.20.30.40", quit), "ok 1\n");
  EXPECT_NE(sim.generation(), generation);
  EXPECT_EQ(sim.camera(t).ip, (Ipv4{10, 20, 30, 40}));
  const auto out = feed(sim, 8600, {0x44, 0x48, 0x01, 0x01});
  const auto it = std::find_if(out.begin(), out.end(), [&](const lansim::Outgoing &o) { return o.camera == t; });
  ASSERT_NE(it, out.end());
  EXPECT_EQ(it->src, (Ipv4{10, 20, 30, 40}));
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(it->data->data()) + 4, 11), "10.20.30.40");
  bool served = false;
  for (const auto &e : sim.endpoints()) {
    if (e.camera != t) continue;
    EXPECT_EQ(e.ip, (Ipv4{10, 20, 30, 40}));
    served = true;
  }
  EXPECT_TRUE(served);
  EXPECT_NE(sim.control("show t", quit).find("ip = 10.20.30.40\n"), std::string::npos);
  EXPECT_NE(sim.control("stats", quit).find("moves 1\n"), std::string::npos);

  const struct {
    const char *command, *answer;
  } refused[] = {
      {"move t", "error move needs a camera and an address\n"},
      {"move t 10.1.2", "error move needs a unicast IPv4 address\n"},
      {"move t 255.255.255.255", "error move needs a unicast IPv4 address\n"},
      {"move t 224.0.0.1", "error move needs a unicast IPv4 address\n"},
      {"move family:9 10.1.2.3", "error move needs exactly one camera; 2 match family:9\n"},
      {"move nobody 10.1.2.3", "error move needs exactly one camera; 0 match nobody\n"},
  };
  for (const auto &r : refused) EXPECT_EQ(sim.control(r.command, quit), r.answer) << r.command;
  EXPECT_EQ(sim.camera(t).ip, (Ipv4{10, 20, 30, 40}));
  EXPECT_EQ(sim.control("reset t", quit), "ok 1\n");
  EXPECT_EQ(sim.camera(t).ip, (Ipv4{192, 168, 7, 91}));
}

// mutate: that share of a camera's answers goes out damaged, datagrams and TCP replies alike;
// the same seed damages the same way; reset and a share of 0 end it.
TEST(LanSimControl, MutateDamagesTheShareOfAnswersAskedFor) {
  auto sim = makeSim();
  bool quit = false;
  const Bytes probe = {0x44, 0x48, 0x01, 0x01};
  const Bytes clean = *feed(sim, 8600, probe)[0].data;
  const auto damaged = [&](int searches) {
    int n = 0;
    for (int i = 0; i < searches; ++i) {
      const auto out = feed(sim, 8600, probe);
      const Bytes &d = *out.at(0).data;
      EXPECT_LE(d.size(), 2048u);
      n += d != clean;
    }
    return n;
  };
  EXPECT_EQ(sim.control("mutate t 100 7", quit), "ok 1\n");
  EXPECT_GE(damaged(200), 190);
  std::vector<Bytes> first, second;
  for (int run = 0; run < 2; ++run) {
    sim.control("mutate t 100 99", quit);
    for (int i = 0; i < 20; ++i) (run ? second : first).push_back(*feed(sim, 8600, probe)[0].data);
  }
  EXPECT_EQ(first, second);
  EXPECT_EQ(sim.control("mutate t 30 5", quit), "ok 1\n");
  const int some = damaged(1000);
  EXPECT_GT(some, 200);
  EXPECT_LT(some, 400);
  EXPECT_EQ(sim.control("mutate t 0", quit), "ok 1\n");
  EXPECT_EQ(damaged(50), 0);

  EXPECT_EQ(sim.control("mutate c 100", quit), "ok 1\n");
  Tcp tcp = connect(sim, "c");
  int replies = 0;
  for (int i = 0; i < 20; ++i) replies += tcp.send(ctp("keepalive", "\r\n")) != ok();
  EXPECT_GE(replies, 18);
  EXPECT_NE(sim.control("show c", quit).find("mutate = 100\n"), std::string::npos);
  EXPECT_EQ(sim.control("reset c", quit), "ok 1\n");
  EXPECT_EQ(connect(sim, "c").send(ctp("keepalive", "\r\n")), ok());

  for (const char *bad : {"mutate t", "mutate t 101", "mutate t x", "mutate t 5 -1", "mutate t 5 1 2"})
    EXPECT_EQ(sim.control(bad, quit),
              "error mutate needs a camera, a share of 0 to 100 percent and optionally a seed\n")
        << bad;
  EXPECT_EQ(sim.control("mutate nobody 5", quit), "error no camera matches nobody\n");
}

}  // namespace
