// The ONVIF cameras (family 10): WS-Discovery answers on UDP 3702 and the
// device service on the web port, written from the ONVIF Core and
// WS-Discovery documents. Messages are read and written as XML trees
// (xml.h); the password digest is WS-Security's UsernameToken profile.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <random>

#include "sha1.h"
#include "sim.h"
#include "xml.h"

namespace lansim {

namespace {

const std::string kEnv = "http://www.w3.org/2003/05/soap-envelope";
const std::string kEnv11 = "http://schemas.xmlsoap.org/soap/envelope/";
const std::string kWsa = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
const std::string kWsa10 = "http://www.w3.org/2005/08/addressing";
const std::string kWsd = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
const std::string kWsd11 = "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01";
const std::string kDn = "http://www.onvif.org/ver10/network/wsdl";
const std::string kTds = "http://www.onvif.org/ver10/device/wsdl";
const std::string kTt = "http://www.onvif.org/ver10/schema";
const std::string kTer = "http://www.onvif.org/ver10/error";
const std::string kTrt = "http://www.onvif.org/ver10/media/wsdl";
const std::string kWsse = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
const std::string kWsu = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
constexpr std::string_view kDigestType = "#PasswordDigest";
constexpr std::string_view kTextType = "#PasswordText";
constexpr const char *kServicePath = "/onvif/device_service";
constexpr const char *kInterfaceToken = "eth0";

std::string freshUuid() {
  static std::mt19937_64 rng{std::random_device{}()};
  const std::uint64_t a = rng(), b = rng();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08x-%04x-4%03x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3FFF)),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return buf;
}

// Everything but the unreserved characters of RFC 3986 as %XX.
std::string percentEncode(std::string_view s) {
  static const char *hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    std::size_t j = i;
    while (j < s.size() && !std::isspace(static_cast<unsigned char>(s[j]))) ++j;
    if (j > i) out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

std::vector<std::string> scopesOf(const CameraDef &d) {
  std::vector<std::string> s = {"onvif://www.onvif.org/type/video_encoder",
                                "onvif://www.onvif.org/type/Network_Video_Transmitter",
                                "onvif://www.onvif.org/Profile/Streaming",
                                "onvif://www.onvif.org/name/" + percentEncode(d.name),
                                "onvif://www.onvif.org/hardware/" + percentEncode(d.onvif.model)};
  if (!d.onvif.location.empty()) s.push_back("onvif://www.onvif.org/location/" + percentEncode(d.onvif.location));
  return s;
}

std::string xaddrOf(const CameraDef &d) {
  return "http://" + ipv4Text(d.ip) + (d.httpPort == 80 ? "" : ":" + std::to_string(d.httpPort)) + kServicePath;
}

// Probe Types: every QName must be one the camera is (or the list is empty).
bool typesWanted(const xml::Node *types) {
  if (!types) return true;
  for (std::string_view q : words(types->text)) {
    const auto colon = q.find(':');
    const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : q.substr(0, colon);
    const std::string_view local = colon == std::string_view::npos ? q : q.substr(colon + 1);
    const std::string *ns = types->resolve(prefix);
    if (!ns) return false;
    if (!((*ns == kDn && local == "NetworkVideoTransmitter") || (*ns == kTds && local == "Device"))) return false;
  }
  return true;
}

// Probe Scopes: each must match one of the camera's, by RFC 3986 segments
// (the default) or by plain comparison.
bool scopesWanted(const xml::Node *scopes, const std::vector<std::string> &ours) {
  if (!scopes) return true;
  const std::string *by = scopes->attr("MatchBy");
  const bool exact = by && by->ends_with("/strcmp0");
  if (by && !exact && !by->ends_with("/rfc3986")) return false;
  for (std::string_view want : words(scopes->text)) {
    while (!exact && want.size() > 1 && want.back() == '/') want.remove_suffix(1);
    bool found = false;
    for (const std::string &s : ours)
      if (s == want || (!exact && s.starts_with(want) && s.size() > want.size() && s[want.size()] == '/')) found = true;
    if (!found) return false;
  }
  return true;
}

int prefixOf(const Ipv4 &mask) {
  int n = 0;
  for (std::uint32_t v = ipv4ToHost(mask); v & 0x80000000u; v <<= 1) ++n;
  return n;
}

Ipv4 maskOf(int prefix) { return ipv4FromHost(prefix <= 0 ? 0 : ~std::uint32_t(0) << (32 - prefix)); }

bool unicastAddress(const Ipv4 &ip) {
  const std::uint32_t h = ipv4ToHost(ip);
  return h != 0 && h != 0xFFFFFFFFu && ip[0] != 127 && ip[0] < 224;
}

bool xsdBool(const std::string *text, bool &out) {
  if (!text) return false;
  if (*text == "true" || *text == "1") return out = true, true;
  if (*text == "false" || *text == "0") return out = false, true;
  return false;
}

bool number(std::string_view s, int &out) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return !s.empty() && ec == std::errc() && p == s.data() + s.size();
}

// xsd:dateTime with a "Z" or a numeric offset, to milliseconds since 1970.
bool parseDateTime(std::string_view s, std::int64_t &ms) {
  int y, mo, d, h, mi, sec;
  if (s.size() < 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':') return false;
  if (!number(s.substr(0, 4), y) || !number(s.substr(5, 2), mo) || !number(s.substr(8, 2), d) ||
      !number(s.substr(11, 2), h) || !number(s.substr(14, 2), mi) || !number(s.substr(17, 2), sec))
    return false;
  std::size_t i = 19;
  int frac = 0, digits = 0;
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i, ++digits)
      if (digits < 3) frac = frac * 10 + (s[i] - '0');
    if (digits == 0) return false;
    for (int k = digits; k < 3; ++k) frac *= 10;
  }
  int offsetMin = 0;
  const std::string_view zone = s.substr(i);
  if (zone == "Z") {
  } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
    int oh, om;
    if (!number(zone.substr(1, 2), oh) || !number(zone.substr(4, 2), om)) return false;
    offsetMin = (zone[0] == '+' ? 1 : -1) * (oh * 60 + om);
  } else {
    return false;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 60) return false;
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = sec;
  ms = (static_cast<std::int64_t>(timegm(&t)) - offsetMin * 60) * 1000 + frac;
  return true;
}

std::string document(const xml::Node &env) {
  return xml::write(env, {{kEnv, "SOAP-ENV"}, {kTds, "tds"}, {kTt, "tt"}, {kTer, "ter"}});
}

xml::Node envelope() {
  xml::Node env;
  env.ns = kEnv;
  env.name = "Envelope";
  return env;
}

struct Answer {
  int status = 200;
  std::string body;
  std::string extraHeaders;
};

// A SOAP 1.2 fault: the code, its subcodes from the outside in, the reason.
Answer fault(bool sender, const std::vector<std::string> &subcodes, const std::string &reason) {
  xml::Node env = envelope();
  xml::Node &body = env.add(kEnv, "Body");
  xml::Node &f = body.add(kEnv, "Fault");
  xml::Node &code = f.add(kEnv, "Code");
  code.add(kEnv, "Value", sender ? "SOAP-ENV:Sender" : "SOAP-ENV:Receiver");
  xml::Node *level = &code;
  for (const std::string &s : subcodes) {
    xml::Node &sub = level->add(kEnv, "Subcode");
    sub.add(kEnv, "Value", s);
    level = &sub;
  }
  xml::Node &text = f.add(kEnv, "Reason").add(kEnv, "Text", reason);
  text.attrs.emplace_back("xml:lang", "en");
  return {sender ? 400 : 500, document(env), {}};
}

void addDateTime(xml::Node &parent, const char *name, const std::tm &t) {
  xml::Node &dt = parent.add(kTt, name);
  xml::Node &time = dt.add(kTt, "Time");
  time.add(kTt, "Hour", std::to_string(t.tm_hour));
  time.add(kTt, "Minute", std::to_string(t.tm_min));
  time.add(kTt, "Second", std::to_string(t.tm_sec));
  xml::Node &date = dt.add(kTt, "Date");
  date.add(kTt, "Year", std::to_string(t.tm_year + 1900));
  date.add(kTt, "Month", std::to_string(t.tm_mon + 1));
  date.add(kTt, "Day", std::to_string(t.tm_mday));
}

}  // namespace

// ---- WS-Discovery --------------------------------------------------------------

void Simulator::answerWsdProbe(const Incoming &in, std::vector<Outgoing> &out) {
  xml::Node doc;
  std::string why;
  const std::string_view text(reinterpret_cast<const char *>(in.data.data()), in.data.size());
  if (!xml::parse(text, doc, why)) return ignore(in, ("WS-Discovery datagram is not XML: " + why).c_str());
  const bool soap12 = doc.ns == kEnv;
  if (doc.name != "Envelope" || (!soap12 && doc.ns != kEnv11)) return ignore(in, "not a SOAP envelope");
  const xml::Node *header = doc.child(doc.ns, "Header");
  const xml::Node *body = doc.child(doc.ns, "Body");
  if (!header || !body) return ignore(in, "SOAP envelope without header or body");
  // Answer in the dialect of the probe: WS-Discovery 2005/04 or 1.1.
  const bool v11 = body->child(kWsd11, "Probe") != nullptr;
  const std::string &wsd = v11 ? kWsd11 : kWsd;
  const std::string &wsa = v11 ? kWsa10 : kWsa;
  const xml::Node *probe = body->child(wsd, "Probe");
  if (!probe) return ignore(in, "WS-Discovery message that is not a Probe");
  const std::string *messageId = header->childText(wsa, "MessageID");
  if (!messageId || messageId->empty()) return ignore(in, "Probe without MessageID");
  ++stats_.requests;
  ++stats_.wsdProbes;

  const xml::Node *types = probe->child(wsd, "Types");
  const xml::Node *scopes = probe->child(wsd, "Scopes");
  std::size_t answering = 0;
  for (std::size_t i : onvif_) answering += this->answering(i) ? 1 : 0;
  std::size_t k = 0;
  for (std::size_t i : onvif_) {
    if (!this->answering(i)) continue;
    const CameraDef &d = cams_[i].def;
    const std::vector<std::string> ours = scopesOf(d);
    if (!typesWanted(types) || !scopesWanted(scopes, ours)) continue;

    xml::Node env = envelope();
    env.ns = soap12 ? kEnv : kEnv11;
    xml::Node &h = env.add(env.ns, "Header");
    h.add(wsa, "MessageID", "urn:uuid:" + freshUuid());
    h.add(wsa, "RelatesTo", *messageId);
    h.add(wsa, "To", v11 ? "http://www.w3.org/2005/08/addressing/anonymous"
                         : "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous");
    h.add(wsa, "Action", wsd + "/ProbeMatches");
    xml::Node &match = env.add(env.ns, "Body").add(wsd, "ProbeMatches").add(wsd, "ProbeMatch");
    match.add(wsa, "EndpointReference").add(wsa, "Address", d.onvif.endpoint);
    match.add(wsd, "Types", "dn:NetworkVideoTransmitter tds:Device");
    std::string scopeText;
    for (const std::string &s : ours) scopeText += (scopeText.empty() ? "" : " ") + s;
    match.add(wsd, "Scopes", scopeText);
    match.add(wsd, "XAddrs", xaddrOf(d));
    match.add(wsd, "MetadataVersion", "1");
    const std::string answer = xml::write(
        env, {{env.ns, "SOAP-ENV"}, {wsa, "wsa"}, {wsd, "wsdd"}, {kDn, "dn"}, {kTds, "tds"}});

    // The answer goes to the probe's sender, from the camera's address.
    Outgoing o;
    o.camera = i;
    o.localPort = kPortWsd;
    o.src = d.ip;
    o.dst = in.src;
    o.dstPort = in.srcPort;
    o.delayMs = d.delayMs + (answering ? static_cast<int>(static_cast<long long>(cfg_.spreadMs) *
                                                        static_cast<long long>(k) / static_cast<long long>(answering))
                                       : 0);
    o.epoch = cams_[i].epoch;
    o.data = std::make_shared<const Bytes>(answer.begin(), answer.end());
    out.push_back(std::move(o));
    ++k;
  }
  stats_.replies += k;
  note("WS-Discovery probe from " + ipv4Text(in.src) + ":" + std::to_string(in.srcPort) + ": " + std::to_string(k) +
       " cameras answer");
}

// ---- Device service ----------------------------------------------------------------

void Simulator::onvifPage(Session &s, HttpRequest &req, int &status, std::string &body, std::string &contentType,
                          std::string &extraHeaders, std::function<void()> &after) {
  const CameraDef &d = cams_[s.camera].def;
  if (req.path == "/" || req.path == "/index.htm") {
    if (req.method != "GET" && req.method != "HEAD") {
      status = 405;
      extraHeaders = "Allow: GET\r\n";
      body = "<html><body>405 Method Not Allowed</body></html>\r\n";
      return;
    }
    body = "<html><head><title>" + d.name + "</title></head><body><h1>" + d.name + "</h1><p>" + d.onvif.model +
           "</p></body></html>\r\n";
    return;
  }
  if (req.path != kServicePath) {
    status = 404;
    body = "<html><body>404 Not Found</body></html>\r\n";
    return;
  }
  if (req.method != "POST") {
    status = 405;
    extraHeaders = "Allow: POST\r\n";
    body = "<html><body>405 Method Not Allowed</body></html>\r\n";
    return;
  }
  body = onvifCall(s.camera, req.body, status, after);
  if (status == 401) {
    contentType = "text/html";
    extraHeaders = "WWW-Authenticate: Digest realm=\"" + d.name + "\", qop=\"auth\", nonce=\"" + freshUuid() + "\"\r\n";
  } else {
    contentType = "application/soap+xml; charset=utf-8";
  }
}

std::string Simulator::onvifCall(std::size_t cam, const std::string &soap, int &status, std::function<void()> &after) {
  ++stats_.onvifRequests;
  Camera &c = cams_[cam];
  CameraDef &d = c.def;
  auto give = [&status](Answer a) {
    status = a.status;
    return a.body;
  };
  auto refuse = [&](bool sender, const std::vector<std::string> &subcodes, const std::string &reason) {
    note(d.id + ": ONVIF fault " + (subcodes.empty() ? std::string() : subcodes.back()) + ": " + reason);
    return give(fault(sender, subcodes, reason));
  };

  xml::Node doc;
  std::string why;
  if (!xml::parse(soap, doc, why)) {
    note(d.id + ": ONVIF request is not XML: " + why);
    return refuse(true, {"ter:WellFormed"}, "XML Well-formed violation");
  }
  if (doc.name != "Envelope" || (doc.ns != kEnv && doc.ns != kEnv11))
    return refuse(true, {"ter:WellFormed"}, "Not a SOAP envelope");
  const xml::Node *header = doc.child(doc.ns, "Header");
  const xml::Node *body = doc.child(doc.ns, "Body");
  if (!body || body->kids.empty()) return refuse(true, {"ter:WellFormed"}, "No request in the SOAP body");
  const xml::Node &op = body->kids.front();
  note(d.id + ": ONVIF " + op.name);

  // Operations every client may call before it logs in.
  static const std::vector<std::string> kPreAuth = {"GetSystemDateAndTime", "GetCapabilities", "GetServices",
                                                    "GetServiceCapabilities", "GetWsdlUrl", "GetHostname",
                                                    "GetEndpointReference"};
  const bool preAuth =
      op.ns == kTds && std::find(kPreAuth.begin(), kPreAuth.end(), op.name) != kPreAuth.end();
  if (!preAuth) {
    const std::int64_t cameraNow = wallClockMs() + d.onvif.clockOffsetS * 1000;
    const xml::Node *sec = header ? header->child(kWsse, "Security") : nullptr;
    const xml::Node *token = sec ? sec->child(kWsse, "UsernameToken") : nullptr;
    std::string refused;
    if (!token) {
      // A camera without a password takes requests without a token.
      if (!d.password.empty()) refused = "no UsernameToken";
    } else {
      const std::string *user = token->childText(kWsse, "Username");
      const xml::Node *pwd = token->child(kWsse, "Password");
      const std::string *type = pwd ? pwd->attr("Type") : nullptr;
      const std::string *nonce = token->childText(kWsse, "Nonce");
      const std::string *created = token->childText(kWsu, "Created");
      std::int64_t createdMs = 0;
      if (!user || *user != d.user || !pwd) {
        refused = "unknown user";
      } else if (type && type->ends_with(kTextType)) {
        if (pwd->text != d.password) refused = "wrong password";
      } else if (!type || !type->ends_with(kDigestType)) {
        refused = "password of an unknown type";
      } else if (!nonce || !created || !parseDateTime(*created, createdMs)) {
        refused = "digest without a readable nonce or creation time";
      } else if (createdMs > cameraNow + d.onvif.authWindowS * 1000LL ||
                 createdMs < cameraNow - d.onvif.authWindowS * 1000LL) {
        refused = "token created at " + *created + ", too far from the camera's clock";
      } else {
        const auto raw = base64Decode(*nonce);
        Sha1 h;
        if (raw) h.add(*raw);
        h.add(*created);
        h.add(d.password);
        const auto digest = h.finish();
        const std::string expected =
            base64Encode(std::string_view(reinterpret_cast<const char *>(digest.data()), digest.size()));
        if (!raw || pwd->text != expected) refused = "wrong password digest";
      }
    }
    if (!refused.empty()) {
      note(d.id + ": ONVIF login refused: " + refused);
      if (d.onvif.wrongLogin401) {
        status = 401;
        return "<html><body>401 Unauthorized</body></html>\r\n";
      }
      return give(fault(true, {"ter:NotAuthorized"}, "Sender not Authorized"));
    }
  }
  if (op.ns == kTrt && (op.name == "GetProfiles" || op.name == "GetProfile")) {
    xml::Node env = envelope();
    const bool one = op.name == "GetProfile";
    xml::Node &p = env.add(kEnv, "Body").add(kTrt, op.name + "Response").add(kTrt, one ? "Profile" : "Profiles");
    p.attrs.emplace_back("token", "profile_1");
    p.attrs.emplace_back("fixed", "true");
    p.add(kTt, "Name", "main");
    status = 200;
    return xml::write(env, {{kEnv, "SOAP-ENV"}, {kTrt, "trt"}, {kTt, "tt"}});
  }
  if (op.ns != kTds) return refuse(false, {"ter:ActionNotSupported"}, "Optional Action Not Implemented");

  xml::Node env = envelope();
  xml::Node &answerBody = env.add(kEnv, "Body");
  xml::Node &r = answerBody.add(kTds, op.name + "Response");
  // The values a change applies to: those waiting for the restart, if any.
  CameraDef &target = c.pending ? *c.pending : d;

  if (op.name == "GetSystemDateAndTime") {
    const std::int64_t nowMs = wallClockMs() + d.onvif.clockOffsetS * 1000;
    const std::time_t secs = static_cast<std::time_t>(nowMs / 1000);
    std::tm t{};
    gmtime_r(&secs, &t);
    xml::Node &sdt = r.add(kTds, "SystemDateAndTime");
    sdt.add(kTt, "DateTimeType", "Manual");
    sdt.add(kTt, "DaylightSavings", "false");
    sdt.add(kTt, "TimeZone").add(kTt, "TZ", "UTC0");
    addDateTime(sdt, "UTCDateTime", t);
    addDateTime(sdt, "LocalDateTime", t);
  } else if (op.name == "GetDeviceInformation") {
    r.add(kTds, "Manufacturer", d.onvif.manufacturer);
    r.add(kTds, "Model", d.onvif.model);
    r.add(kTds, "FirmwareVersion", d.version);
    r.add(kTds, "SerialNumber", d.sn);
    r.add(kTds, "HardwareId", "1.0");
  } else if (op.name == "GetCapabilities") {
    xml::Node &caps = r.add(kTds, "Capabilities");
    xml::Node &dev = caps.add(kTt, "Device");
    dev.add(kTt, "XAddr", xaddrOf(d));
    xml::Node &net = dev.add(kTt, "Network");
    net.add(kTt, "IPFilter", "false");
    net.add(kTt, "ZeroConfiguration", "false");
    net.add(kTt, "IPVersion6", "false");
    net.add(kTt, "DynDNS", "false");
    xml::Node &sys = dev.add(kTt, "System");
    sys.add(kTt, "DiscoveryResolve", "false");
    sys.add(kTt, "DiscoveryBye", "false");
    sys.add(kTt, "RemoteDiscovery", "false");
    sys.add(kTt, "SystemBackup", "false");
    sys.add(kTt, "SystemLogging", "false");
    sys.add(kTt, "FirmwareUpgrade", "false");
    xml::Node &ver = sys.add(kTt, "SupportedVersions");
    ver.add(kTt, "Major", "2");
    ver.add(kTt, "Minor", "5");
    // A media service with one profile, so that general clients accept the camera.
    caps.add(kTt, "Media").add(kTt, "XAddr", xaddrOf(d));
  } else if (op.name == "GetServices") {
    xml::Node &svc = r.add(kTds, "Service");
    svc.add(kTds, "Namespace", kTds);
    svc.add(kTds, "XAddr", xaddrOf(d));
    xml::Node &ver = svc.add(kTds, "Version");
    ver.add(kTt, "Major", "2");
    ver.add(kTt, "Minor", "5");
  } else if (op.name == "GetHostname") {
    xml::Node &info = r.add(kTds, "HostnameInformation");
    info.add(kTt, "FromDHCP", "false");
    info.add(kTt, "Name", d.id);
  } else if (op.name == "GetNetworkInterfaces") {
    xml::Node &ni = r.add(kTds, "NetworkInterfaces");
    ni.attrs.emplace_back("token", kInterfaceToken);
    ni.add(kTt, "Enabled", "true");
    xml::Node &info = ni.add(kTt, "Info");
    info.add(kTt, "Name", kInterfaceToken);
    info.add(kTt, "HwAddress", macText(c.replies->mac6, ':', false));
    info.add(kTt, "MTU", "1500");
    xml::Node &v4 = ni.add(kTt, "IPv4");
    v4.add(kTt, "Enabled", "true");
    xml::Node &config = v4.add(kTt, "Config");
    xml::Node &addr = config.add(kTt, d.dhcp ? "FromDHCP" : "Manual");
    addr.add(kTt, "Address", ipv4Text(d.ip));
    addr.add(kTt, "PrefixLength", std::to_string(prefixOf(d.mask)));
    config.add(kTt, "DHCP", d.dhcp ? "true" : "false");
  } else if (op.name == "GetNetworkDefaultGateway") {
    r.add(kTds, "NetworkGateway").add(kTt, "IPv4Address", ipv4Text(d.gateway));
  } else if (op.name == "GetDNS") {
    xml::Node &info = r.add(kTds, "DNSInformation");
    info.add(kTt, "FromDHCP", d.onvif.dnsFromDhcp ? "true" : "false");
    for (const Ipv4 &server : {d.dns1, d.dns2}) {
      if (ipv4ToHost(server) == 0) continue;
      xml::Node &e = info.add(kTt, d.onvif.dnsFromDhcp ? "DNSFromDHCP" : "DNSManual");
      e.add(kTt, "Type", "IPv4");
      e.add(kTt, "IPv4Address", ipv4Text(server));
    }
  } else if (op.name == "SetNetworkInterfaces") {
    const std::string *tok = op.childText(kTds, "InterfaceToken");
    const xml::Node *ni = op.child(kTds, "NetworkInterface");
    const xml::Node *v4 = ni ? ni->child(kTt, "IPv4") : nullptr;
    if (!tok || *tok != kInterfaceToken)
      return refuse(true, {"ter:InvalidArgVal", "ter:InvalidNetworkInterface"},
                        "The supplied network interface token does not exist");
    if (!v4) return refuse(true, {"ter:InvalidArgVal"}, "No IPv4 settings given");
    CameraDef next = target;
    bool dhcp = false;
    const bool haveDhcp = xsdBool(v4->childText(kTt, "DHCP"), dhcp);
    const xml::Node *manual = v4->child(kTt, "Manual");
    if (haveDhcp && dhcp) {
      next.dhcp = true;
      if (next.hasDhcpIp) next.ip = next.dhcpIp;
    } else if (manual) {
      const std::string *a = manual->childText(kTt, "Address");
      const std::string *p = manual->childText(kTt, "PrefixLength");
      const auto ip = a ? parseIpv4(*a) : std::nullopt;
      int prefix = 0;
      if (!ip || !unicastAddress(*ip))
        return refuse(true, {"ter:InvalidArgVal", "ter:InvalidIPv4Address"},
                          "The suggested IPv4 address is invalid");
      if (!p || !number(*p, prefix) || prefix < 1 || prefix > 32)
        return refuse(true, {"ter:InvalidArgVal", "ter:InvalidIPv4Address"}, "The prefix length is invalid");
      next.dhcp = false;
      next.ip = *ip;
      next.mask = maskOf(prefix);
    } else {
      return refuse(true, {"ter:InvalidArgVal"}, "Neither DHCP nor a manual address given");
    }
    r.add(kTds, "RebootNeeded", d.onvif.rebootNeeded ? "true" : "false");
    note(d.id + ": ONVIF interface " + (next.dhcp ? "dhcp " : "static ") + ipv4Text(next.ip) + "/" +
         std::to_string(prefixOf(next.mask)) + (d.onvif.rebootNeeded ? " after the restart" : " now"));
    ++stats_.settingsApplied;
    if (d.onvif.rebootNeeded) {
      ++c.changes;
      c.pending = std::move(next);
    } else {
      after = [this, cam, next] { commit(cam, next); };
    }
  } else if (op.name == "SetNetworkDefaultGateway") {
    const auto list = op.children(kTds, "IPv4Address");
    Ipv4 gw{};
    if (!list.empty()) {
      const auto ip = parseIpv4(list.front()->text);
      if (!ip || !unicastAddress(*ip))
        return refuse(true, {"ter:InvalidArgVal", "ter:InvalidGatewayAddress"},
                          "The supplied gateway address is invalid");
      gw = *ip;
    }
    target.gateway = gw;
    ++c.changes;
  } else if (op.name == "SetDNS") {
    bool fromDhcp = false;
    if (!xsdBool(op.childText(kTds, "FromDHCP"), fromDhcp))
      return refuse(true, {"ter:InvalidArgVal"}, "FromDHCP is missing");
    std::vector<Ipv4> servers;
    for (const xml::Node *m : op.children(kTds, "DNSManual")) {
      const std::string *type = m->childText(kTt, "Type");
      const std::string *a = m->childText(kTt, "IPv4Address");
      const auto ip = a ? parseIpv4(*a) : std::nullopt;
      if (!type || *type != "IPv4" || !ip)
        return refuse(true, {"ter:InvalidArgVal", "ter:InvalidIPv4Address"},
                          "The suggested DNS address is invalid");
      servers.push_back(*ip);
    }
    target.onvif.dnsFromDhcp = fromDhcp;
    if (!fromDhcp) {
      target.dns1 = servers.size() > 0 ? servers[0] : Ipv4{};
      target.dns2 = servers.size() > 1 ? servers[1] : Ipv4{};
    }
    ++c.changes;
  } else if (op.name == "SystemReboot") {
    r.add(kTds, "Message", "Rebooting in " + std::to_string(d.restartMs / 1000) + " seconds");
    after = [this, cam] { restart(cam, cams_[cam].def.restartMs); };
  } else {
    return refuse(false, {"ter:ActionNotSupported"}, "Optional Action Not Implemented");
  }
  status = 200;
  return document(env);
}

}  // namespace lansim
