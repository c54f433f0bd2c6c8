// lan-sim's ONVIF cameras without sockets: the WS-Discovery answers, the password digest and
// its time window, and the device-service operations that move a camera. Requests are
// written out here as a client sends them.
#include <gtest/gtest.h>

#include <string>

#include "config.h"
#include "sha1.h"
#include "sim.h"
#include "wire.h"

namespace {

using lansim::Bytes;
using lansim::Ipv4;

const char *kCameras = R"(
[camera hall]
family = onvif
mac = 02:0F:00:00:0A:01
ip = 192.168.7.60
name = Hall Camera
model = LS-200
version = V2.1.0
sn = OV0001
password = userpassword
auth_window_s = 60
restart_ms = 1000

[camera yard]
family = 10
mac = 02:0F:00:00:0A:02
ip = 192.168.7.61
http_port = 8080
name = Yard
password = yard-pw
reboot_needed = yes
clock_offset_s = 3600
restart_ms = 1000
wrong_login = http401

[camera moi]
family = 2
mac = 001A2B000201
ip = 192.168.7.21
)";

// 2010-09-16T07:50:45Z, the time of the worked example of the ONVIF programmer's guide.
constexpr std::int64_t kExampleTimeMs = 1284623445000;

lansim::Simulator makeSim() {
  lansim::SimConfig cfg;
  std::vector<std::string> errors;
  EXPECT_TRUE(lansim::parseConfig(kCameras, cfg, errors)) << (errors.empty() ? "" : errors[0]);
  lansim::Simulator sim(std::move(cfg));
  sim.wallClockMs = [] { return kExampleTimeMs; };
  return sim;
}

std::size_t indexOf(const lansim::Simulator &sim, const std::string &id) {
  for (std::size_t i = 0; i < sim.size(); ++i)
    if (sim.camera(i).id == id) return i;
  ADD_FAILURE() << "no camera " << id;
  return 0;
}

std::vector<lansim::Outgoing> probe(lansim::Simulator &sim, const std::string &text) {
  const Bytes data(text.begin(), text.end());
  lansim::Incoming in;
  in.localPort = lansim::kPortWsd;
  in.src = {192, 168, 7, 10};
  in.srcPort = 51000;
  in.data = lansim::ByteView(data.data(), data.size());
  std::vector<lansim::Outgoing> out;
  sim.onDatagram(in, out);
  return out;
}

std::string text(const lansim::Outgoing &o) { return std::string(o.data->begin(), o.data->end()); }

// ---- Hash and digest -------------------------------------------------------------------

std::string hex(const std::array<std::uint8_t, 20> &d) {
  std::string s;
  for (auto b : d) {
    static const char *h = "0123456789abcdef";
    s += h[b >> 4];
    s += h[b & 15];
  }
  return s;
}

TEST(LanSimSha1, PublishedTestVectors) {
  lansim::Sha1 abc;
  abc.add("abc");
  EXPECT_EQ(hex(abc.finish()), "a9993e364706816aba3e25717850c26c9cd0d89d");
  lansim::Sha1 two;
  two.add("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
  EXPECT_EQ(hex(two.finish()), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  // A million "a", fed in uneven pieces across block boundaries.
  lansim::Sha1 million;
  const std::string chunk(997, 'a');
  std::size_t left = 1000000;
  while (left) {
    const std::size_t n = std::min(left, chunk.size());
    million.add(std::string_view(chunk).substr(0, n));
    left -= n;
  }
  EXPECT_EQ(hex(million.finish()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(LanSimBase64, EncodesWithPadding) {
  EXPECT_EQ(lansim::base64Encode(""), "");
  EXPECT_EQ(lansim::base64Encode("f"), "Zg==");
  EXPECT_EQ(lansim::base64Encode("fo"), "Zm8=");
  EXPECT_EQ(lansim::base64Encode("foo"), "Zm9v");
  EXPECT_EQ(lansim::base64Encode("foobar"), "Zm9vYmFy");
}

// ---- WS-Discovery ---------------------------------------------------------------------

const std::string kProbeHead =
    R"(<?xml version="1.0" encoding="UTF-8"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:dn="http://www.onvif.org/ver10/network/wsdl" xmlns:tds="http://www.onvif.org/ver10/device/wsdl"><s:Header><a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action><a:MessageID>urn:uuid:0a0b0c0d-0000-4000-8000-000000000001</a:MessageID></s:Header><s:Body><d:Probe>)";
const std::string kProbeTail = "</d:Probe></s:Body></s:Envelope>";

std::string probeWith(const std::string &inside) { return kProbeHead + inside + kProbeTail; }

struct ProbeCase {
  const char *name;
  std::string datagram;
  std::vector<std::string> answering;  // camera ids
};

std::vector<ProbeCase> probeCases() {
  return {
      {"NoTypes", probeWith(""), {"hall", "yard"}},
      {"VideoTransmitter", probeWith("<d:Types>dn:NetworkVideoTransmitter</d:Types>"), {"hall", "yard"}},
      {"DeviceAndTransmitter", probeWith("<d:Types>tds:Device dn:NetworkVideoTransmitter</d:Types>"),
       {"hall", "yard"}},
      {"TypeInAnotherPrefix",
       probeWith("<d:Types xmlns:nvt=\"http://www.onvif.org/ver10/network/wsdl\">nvt:NetworkVideoTransmitter</d:Types>"),
       {"hall", "yard"}},
      {"OtherType", probeWith("<d:Types xmlns:p=\"urn:printers\">p:Printer</d:Types>"), {}},
      {"UndeclaredPrefix", probeWith("<d:Types>x:NetworkVideoTransmitter</d:Types>"), {}},
      {"ScopeOfOneCamera", probeWith("<d:Scopes>onvif://www.onvif.org/name/Hall%20Camera</d:Scopes>"), {"hall"}},
      {"ScopePrefixBySegments", probeWith("<d:Scopes>onvif://www.onvif.org/type/</d:Scopes>"), {"hall", "yard"}},
      {"ScopeHalfASegment", probeWith("<d:Scopes>onvif://www.onvif.org/na</d:Scopes>"), {}},
      {"ScopeExactMatchRule",
       probeWith("<d:Scopes MatchBy=\"http://schemas.xmlsoap.org/ws/2005/04/discovery/strcmp0\">"
                 "onvif://www.onvif.org/name/Yard</d:Scopes>"),
       {"yard"}},
      {"ScopeUnknownRule", probeWith("<d:Scopes MatchBy=\"urn:other\">onvif://www.onvif.org/name/Yard</d:Scopes>"), {}},
      {"NoMessageId",
       R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header/><s:Body><d:Probe/></s:Body></s:Envelope>)",
       {}},
      {"AnotherCamerasAnswer",
       R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header><a:MessageID>urn:uuid:1</a:MessageID></s:Header><s:Body><d:ProbeMatches/></s:Body></s:Envelope>)",
       {}},
      {"DocumentType", "<!DOCTYPE s:Envelope [<!ENTITY x \"y\">]>" + probeWith(""), {}},
      {"Truncated", probeWith("").substr(0, 300), {}},
      {"NotXml", std::string("\x10\x10\x01\x0f\0\0\0\0", 8), {}},
  };
}

class LanSimWsd : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(LanSimWsd, CamerasAnswerTheProbesMeantForThem) {
  lansim::Simulator sim = makeSim();
  const auto out = probe(sim, GetParam().datagram);
  ASSERT_EQ(out.size(), GetParam().answering.size());
  for (std::size_t k = 0; k < out.size(); ++k) {
    const std::size_t cam = indexOf(sim, GetParam().answering[k]);
    EXPECT_EQ(out[k].camera, cam);
    // To the sender, from the camera's own address and the discovery port.
    EXPECT_EQ(out[k].dst, (Ipv4{192, 168, 7, 10}));
    EXPECT_EQ(out[k].dstPort, 51000);
    EXPECT_EQ(out[k].src, sim.camera(cam).ip);
    EXPECT_EQ(out[k].localPort, lansim::kPortWsd);
    EXPECT_NE(text(out[k]).find("<wsa:RelatesTo>urn:uuid:0a0b0c0d-0000-4000-8000-000000000001</wsa:RelatesTo>"),
              std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Probes, LanSimWsd, ::testing::ValuesIn(probeCases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(LanSimWsdAnswer, CarriesEndpointScopesAndTheDeviceAddress) {
  lansim::Simulator sim = makeSim();
  const auto out = probe(sim, probeWith(""));
  ASSERT_EQ(out.size(), 2u);
  const std::string hall = text(out[0]);
  EXPECT_NE(hall.find("<wsa:Address>urn:uuid:5e1d0000-0000-4000-8000-020f00000a01</wsa:Address>"), std::string::npos);
  EXPECT_NE(hall.find("onvif://www.onvif.org/name/Hall%20Camera onvif://www.onvif.org/hardware/LS-200</wsdd:Scopes>"),
            std::string::npos);
  EXPECT_NE(hall.find("<wsdd:XAddrs>http://192.168.7.60/onvif/device_service</wsdd:XAddrs>"), std::string::npos);
  EXPECT_NE(text(out[1]).find("<wsdd:XAddrs>http://192.168.7.61:8080/onvif/device_service</wsdd:XAddrs>"),
            std::string::npos);
  EXPECT_NE(hall.find("<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action>"),
            std::string::npos);
}

TEST(LanSimWsdAnswer, ADiscovery11ProbeGetsA11Answer) {
  lansim::Simulator sim = makeSim();
  const auto out = probe(
      sim,
      R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://www.w3.org/2005/08/addressing" xmlns:d="http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01"><s:Header><a:MessageID>urn:uuid:77</a:MessageID></s:Header><s:Body><d:Probe/></s:Body></s:Envelope>)");
  ASSERT_EQ(out.size(), 2u);
  EXPECT_NE(text(out[0]).find("xmlns:wsdd=\"http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01\""),
            std::string::npos);
  EXPECT_NE(text(out[0]).find("<wsa:RelatesTo>urn:uuid:77</wsa:RelatesTo>"), std::string::npos);
}

TEST(LanSimWsdAnswer, StoppedCameraIsSilent) {
  lansim::Simulator sim = makeSim();
  bool quit = false;
  ASSERT_EQ(sim.control("stop yard", quit), "ok 1\n");
  const auto out = probe(sim, probeWith(""));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].camera, indexOf(sim, "hall"));
}

// ---- Device service --------------------------------------------------------------------

struct Http {
  int status = 0;
  std::string head, body;
};

Http post(lansim::Simulator &sim, const std::string &camera, const std::string &soap,
          const std::string &path = "/onvif/device_service") {
  const std::size_t cam = indexOf(sim, camera);
  for (const auto &e : sim.endpoints()) {
    if (e.camera != cam) continue;
    const std::uint64_t id = sim.openSession(e);
    const std::string request = "POST " + path + " HTTP/1.1\r\nHost: cam\r\nContent-Type: application/soap+xml\r\n"
                                "Content-Length: " + std::to_string(soap.size()) + "\r\n\r\n" + soap;
    std::string out;
    sim.sessionInput(id, lansim::ByteView(reinterpret_cast<const std::uint8_t *>(request.data()), request.size()), out);
    sim.sessionClosed(id);
    Http h;
    const auto split = out.find("\r\n\r\n");
    h.head = out.substr(0, split);
    h.body = split == std::string::npos ? "" : out.substr(split + 4);
    if (out.size() > 12) h.status = std::stoi(out.substr(9, 3));
    return h;
  }
  ADD_FAILURE() << camera << " serves no TCP";
  return {};
}

struct Token {
  std::string user = "admin", password, nonce, created, type = "#PasswordDigest";
  std::string digest;  // empty: computed from the others
};

std::string soap(const std::string &body, const Token *t = nullptr) {
  std::string header;
  if (t) {
    std::string digest = t->digest;
    if (digest.empty() && t->type == "#PasswordDigest") {
      lansim::Sha1 h;
      h.add(*lansim::base64Decode(t->nonce));
      h.add(t->created);
      h.add(t->password);
      const auto d = h.finish();
      digest = lansim::base64Encode(std::string_view(reinterpret_cast<const char *>(d.data()), d.size()));
    } else if (digest.empty()) {
      digest = t->password;
    }
    header = "<s:Header><wsse:Security><wsse:UsernameToken><wsse:Username>" + t->user +
             "</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
             "oasis-200401-wss-username-token-profile-1.0" + t->type + "\">" + digest +
             "</wsse:Password><wsse:Nonce>" + t->nonce + "</wsse:Nonce><wsu:Created>" + t->created +
             "</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>";
  }
  return R"(<?xml version="1.0"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:tds="http://www.onvif.org/ver10/device/wsdl" xmlns:tt="http://www.onvif.org/ver10/schema" xmlns:wsse="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd" xmlns:wsu="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd">)" +
         header + "<s:Body>" + body + "</s:Body></s:Envelope>";
}

Token exampleToken() {
  Token t;
  t.password = "userpassword";
  t.nonce = "LKqI6G/AikKCQrN0zqZFlg==";
  t.created = "2010-09-16T07:50:45Z";
  return t;
}

TEST(LanSimOnvif, ClockIsReadWithoutLoginAndRunsWithTheOffset) {
  lansim::Simulator sim = makeSim();
  const Http hall = post(sim, "hall", soap("<tds:GetSystemDateAndTime/>"));
  EXPECT_EQ(hall.status, 200);
  EXPECT_NE(hall.head.find("Content-Type: application/soap+xml; charset=utf-8"), std::string::npos);
  EXPECT_NE(hall.body.find("<tt:UTCDateTime><tt:Time><tt:Hour>7</tt:Hour><tt:Minute>50</tt:Minute><tt:Second>45"
                           "</tt:Second></tt:Time><tt:Date><tt:Year>2010</tt:Year><tt:Month>9</tt:Month>"
                           "<tt:Day>16</tt:Day></tt:Date></tt:UTCDateTime>"),
            std::string::npos)
      << hall.body;
  // The yard camera's clock is an hour ahead.
  const Http yard = post(sim, "yard", soap("<tds:GetSystemDateAndTime/>"));
  EXPECT_NE(yard.body.find("<tt:Hour>8</tt:Hour><tt:Minute>50</tt:Minute>"), std::string::npos) << yard.body;
}

struct LoginCase {
  const char *name;
  Token token;
  bool withToken;
  bool accepted;
};

std::vector<LoginCase> loginCases() {
  auto with = [](auto change) {
    Token t = exampleToken();
    change(t);
    return t;
  };
  return {
      // The digest of the programmer's guide, which lan-sim never computed itself.
      {"WorkedExample", with([](Token &t) { t.digest = "tuOSpGlFlIXsozq4HFNeeGeFLEI="; }), true, true},
      {"OneCharacterOff", with([](Token &t) { t.digest = "tuOSpGlFlIXsozq4HFNeeGeFLEJ="; }), true, false},
      {"WrongPassword", with([](Token &t) { t.password = "userpasswort"; }), true, false},
      {"WrongUser", with([](Token &t) { t.user = "root"; }), true, false},
      {"CreatedWithinTheWindow", with([](Token &t) { t.created = "2010-09-16T07:51:44.999Z"; }), true, true},
      {"CreatedWithAnOffset", with([](Token &t) { t.created = "2010-09-16T09:50:45+02:00"; }), true, true},
      {"CreatedTooLate", with([](Token &t) { t.created = "2010-09-16T07:51:46Z"; }), true, false},
      {"CreatedTooEarly", with([](Token &t) { t.created = "2010-09-16T07:49:44Z"; }), true, false},
      {"CreatedUnreadable", with([](Token &t) { t.created = "16.09.2010 07:50:45"; }), true, false},
      {"NonceNotBase64", with([](Token &t) {
         t.digest = "tuOSpGlFlIXsozq4HFNeeGeFLEI=";
         t.nonce = "LKqI6G/AikKCQrN0zqZFlg==!";
       }),
       true, false},
      {"PlainTextPassword", with([](Token &t) { t.type = "#PasswordText"; }), true, true},
      {"PlainTextWrong", with([](Token &t) {
         t.type = "#PasswordText";
         t.password = "guess";
       }),
       true, false},
      {"UnknownPasswordType", with([](Token &t) { t.type = "#Other"; }), true, false},
      {"NoToken", exampleToken(), false, false},
  };
}

class LanSimOnvifLogin : public ::testing::TestWithParam<LoginCase> {};

TEST_P(LanSimOnvifLogin, DigestAndTimeWindowAreChecked) {
  lansim::Simulator sim = makeSim();
  const LoginCase &c = GetParam();
  const Http h = post(sim, "hall", soap("<tds:GetDeviceInformation/>", c.withToken ? &c.token : nullptr));
  if (c.accepted) {
    EXPECT_EQ(h.status, 200);
    EXPECT_NE(h.body.find("<tds:Model>LS-200</tds:Model><tds:FirmwareVersion>V2.1.0</tds:FirmwareVersion>"
                          "<tds:SerialNumber>OV0001</tds:SerialNumber>"),
              std::string::npos)
        << h.body;
  } else {
    EXPECT_EQ(h.status, 400);
    EXPECT_NE(h.body.find("<SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value><SOAP-ENV:Subcode>"
                          "<SOAP-ENV:Value>ter:NotAuthorized</SOAP-ENV:Value></SOAP-ENV:Subcode></SOAP-ENV:Code>"),
              std::string::npos)
        << h.body;
    EXPECT_NE(h.body.find("<SOAP-ENV:Text xml:lang=\"en\">Sender not Authorized</SOAP-ENV:Text>"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Tokens, LanSimOnvifLogin, ::testing::ValuesIn(loginCases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(LanSimOnvif, WrongLoginAsHttp401) {
  lansim::Simulator sim = makeSim();
  Token t = exampleToken();
  t.created = "2010-09-16T08:50:45Z";  // the yard camera's clock
  t.password = "wrong";
  const Http h = post(sim, "yard", soap("<tds:GetDeviceInformation/>", &t));
  EXPECT_EQ(h.status, 401);
  EXPECT_EQ(h.body.find("Envelope"), std::string::npos);
  t.password = "yard-pw";
  EXPECT_EQ(post(sim, "yard", soap("<tds:GetDeviceInformation/>", &t)).status, 200);
}

const std::string kSetStatic =
    "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface>"
    "<tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Manual><tt:Address>%ADDR%</tt:Address>"
    "<tt:PrefixLength>%PREFIX%</tt:PrefixLength></tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface>"
    "</tds:SetNetworkInterfaces>";

std::string setStatic(const std::string &addr, const std::string &prefix) {
  std::string s = kSetStatic;
  s.replace(s.find("%ADDR%"), 6, addr);
  s.replace(s.find("%PREFIX%"), 8, prefix);
  return s;
}

TEST(LanSimOnvif, SetNetworkInterfacesMovesTheCameraAtOnce) {
  lansim::Simulator sim = makeSim();
  const Token t = exampleToken();
  const std::size_t hall = indexOf(sim, "hall");
  const std::uint64_t before = sim.generation();
  const Http h = post(sim, "hall", soap(setStatic("192.168.7.70", "23"), &t));
  EXPECT_EQ(h.status, 200);
  EXPECT_NE(h.body.find("<tds:RebootNeeded>false</tds:RebootNeeded>"), std::string::npos) << h.body;
  EXPECT_EQ(sim.camera(hall).ip, (Ipv4{192, 168, 7, 70}));
  EXPECT_EQ(sim.camera(hall).mask, (Ipv4{255, 255, 254, 0}));
  EXPECT_NE(sim.generation(), before);  // the listeners move
  bool served = false;
  for (const auto &e : sim.endpoints())
    if (e.camera == hall) served = e.ip == Ipv4{192, 168, 7, 70} && e.port == 80;
  EXPECT_TRUE(served);
  // And discovery tells the new address.
  const auto out = probe(sim, probeWith("<d:Scopes>onvif://www.onvif.org/name/Hall%20Camera</d:Scopes>"));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].src, (Ipv4{192, 168, 7, 70}));
  EXPECT_NE(text(out[0]).find("http://192.168.7.70/onvif/device_service"), std::string::npos);
  // Gateway and DNS apply at once as well.
  EXPECT_EQ(post(sim, "hall",
                 soap("<tds:SetNetworkDefaultGateway><tds:IPv4Address>192.168.6.1</tds:IPv4Address>"
                      "</tds:SetNetworkDefaultGateway>",
                      &t))
                .status,
            200);
  EXPECT_EQ(sim.camera(hall).gateway, (Ipv4{192, 168, 6, 1}));
  EXPECT_EQ(post(sim, "hall",
                 soap("<tds:SetDNS><tds:FromDHCP>false</tds:FromDHCP><tds:DNSManual><tt:Type>IPv4</tt:Type>"
                      "<tt:IPv4Address>9.9.9.9</tt:IPv4Address></tds:DNSManual></tds:SetDNS>",
                      &t))
                .status,
            200);
  EXPECT_EQ(sim.camera(hall).dns1, (Ipv4{9, 9, 9, 9}));
  EXPECT_EQ(sim.camera(hall).dns2, (Ipv4{0, 0, 0, 0}));
}

TEST(LanSimOnvif, RebootNeededCameraMovesWithTheRestart) {
  lansim::Simulator sim = makeSim();
  sim.tick(0);
  Token t = exampleToken();
  t.password = "yard-pw";
  t.created = "2010-09-16T08:50:45Z";
  const std::size_t yard = indexOf(sim, "yard");
  const Http h = post(sim, "yard", soap(setStatic("192.168.7.71", "24"), &t));
  EXPECT_NE(h.body.find("<tds:RebootNeeded>true</tds:RebootNeeded>"), std::string::npos) << h.body;
  EXPECT_EQ(post(sim, "yard",
                 soap("<tds:SetNetworkDefaultGateway><tds:IPv4Address>192.168.7.254</tds:IPv4Address>"
                      "</tds:SetNetworkDefaultGateway>",
                      &t))
                .status,
            200);
  // Nothing moves before the restart.
  EXPECT_EQ(sim.camera(yard).ip, (Ipv4{192, 168, 7, 61}));
  EXPECT_EQ(sim.camera(yard).gateway, (Ipv4{192, 168, 7, 1}));
  const Http reboot = post(sim, "yard", soap("<tds:SystemReboot/>", &t));
  EXPECT_NE(reboot.body.find("<tds:Message>Rebooting in 1 seconds</tds:Message>"), std::string::npos);
  EXPECT_FALSE(sim.answering(yard));
  EXPECT_EQ(probe(sim, probeWith("")).size(), 1u);  // only the hall camera while it restarts
  sim.tick(1000);
  EXPECT_TRUE(sim.answering(yard));
  EXPECT_EQ(sim.camera(yard).ip, (Ipv4{192, 168, 7, 71}));
  EXPECT_EQ(sim.camera(yard).gateway, (Ipv4{192, 168, 7, 254}));
}

struct FaultCase {
  const char *name;
  std::string body;
  int status;
  const char *subcode;
  const char *reason;
};

class LanSimOnvifFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(LanSimOnvifFaults, RefusedValuesChangeNothing) {
  lansim::Simulator sim = makeSim();
  const Token t = exampleToken();
  const Http h = post(sim, "hall", soap(GetParam().body, &t));
  EXPECT_EQ(h.status, GetParam().status);
  EXPECT_NE(h.body.find(std::string("<SOAP-ENV:Value>") + GetParam().subcode + "</SOAP-ENV:Value></SOAP-ENV:Subcode>"),
            std::string::npos)
      << h.body;
  EXPECT_NE(h.body.find(std::string("<SOAP-ENV:Text xml:lang=\"en\">") + GetParam().reason), std::string::npos);
  const lansim::CameraDef &hall = sim.camera(indexOf(sim, "hall"));
  EXPECT_EQ(hall.ip, (Ipv4{192, 168, 7, 60}));
  EXPECT_EQ(hall.gateway, (Ipv4{192, 168, 7, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    Values, LanSimOnvifFaults,
    ::testing::Values(
        FaultCase{"MulticastAddress", setStatic("224.0.0.1", "24"), 400, "ter:InvalidIPv4Address",
                  "The suggested IPv4 address is invalid"},
        FaultCase{"NotAnAddress", setStatic("192.168.7", "24"), 400, "ter:InvalidIPv4Address",
                  "The suggested IPv4 address is invalid"},
        FaultCase{"PrefixTooLong", setStatic("192.168.7.70", "33"), 400, "ter:InvalidIPv4Address",
                  "The prefix length is invalid"},
        FaultCase{"OtherInterface",
                  "<tds:SetNetworkInterfaces><tds:InterfaceToken>wlan0</tds:InterfaceToken><tds:NetworkInterface>"
                  "<tt:IPv4><tt:DHCP>true</tt:DHCP></tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>",
                  400, "ter:InvalidNetworkInterface", "The supplied network interface token does not exist"},
        FaultCase{"ParametersInTheSchemaNamespace",
                  "<tds:SetNetworkInterfaces><tt:InterfaceToken>eth0</tt:InterfaceToken><tt:NetworkInterface>"
                  "<tt:IPv4><tt:DHCP>true</tt:DHCP></tt:IPv4></tt:NetworkInterface></tds:SetNetworkInterfaces>",
                  400, "ter:InvalidNetworkInterface", "The supplied network interface token does not exist"},
        FaultCase{"BadGateway",
                  "<tds:SetNetworkDefaultGateway><tds:IPv4Address>255.255.255.255</tds:IPv4Address>"
                  "</tds:SetNetworkDefaultGateway>",
                  400, "ter:InvalidGatewayAddress", "The supplied gateway address is invalid"},
        FaultCase{"UnknownOperation", "<tds:SetUser/>", 500, "ter:ActionNotSupported", "Optional Action Not Implemented"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(LanSimOnvif, PagesAndMethods) {
  lansim::Simulator sim = makeSim();
  EXPECT_EQ(post(sim, "hall", soap("<tds:GetSystemDateAndTime/>"), "/onvif/other").status, 404);
  const Http notXml = post(sim, "hall", "<<<");
  EXPECT_EQ(notXml.status, 400);
  EXPECT_NE(notXml.body.find("ter:WellFormed"), std::string::npos);
  const Http dtd = post(sim, "hall", "<!DOCTYPE x [<!ENTITY a \"b\">]>" + soap("<tds:GetSystemDateAndTime/>"));
  EXPECT_EQ(dtd.status, 400);
}

}  // namespace
