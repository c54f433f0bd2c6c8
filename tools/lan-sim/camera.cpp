#include "camera.h"

#include <algorithm>
#include <cstring>

namespace lansim {

namespace {

void putIp(Bytes &b, std::size_t off, const Ipv4 &ip) { putBytes(b, off, ip); }

// "a.b.c.d:e.f.g.h" into the two 4-byte groups of the family-2 reply; the
// configuration has checked the form already, a bad text gives zeros.
void putMoIVersion(Bytes &b, std::size_t off, const std::string &version) {
  auto colon = version.find(':');
  if (colon == std::string::npos) return;
  auto a = parseIpv4(std::string_view(version).substr(0, colon));
  auto c = parseIpv4(std::string_view(version).substr(colon + 1));
  if (a) putBytes(b, off, *a);
  if (c) putBytes(b, off + 4, *c);
}

Bytes buildMoI(const CameraDef &cam) {
  const std::size_t body = static_cast<std::size_t>(cam.moiBody);
  Bytes b(23 + body, 0);
  std::memcpy(b.data(), "MO_I", 4);
  putLe16(b, 4, 1);  // operation: search reply
  putLe32(b, 15, static_cast<std::uint32_t>(body));
  const std::size_t o = 23;
  putText(b, o + 0, limits::kMoIMac, cam.mac);
  putText(b, o + 13, limits::kMoIName, cam.name);
  putIp(b, o + 34, cam.ip);
  putIp(b, o + 38, cam.mask);
  putIp(b, o + 42, cam.gateway);
  putIp(b, o + 46, cam.dns1);
  putIp(b, o + 50, cam.dns2);  // a camera fills it; the program does not read it
  putMoIVersion(b, o + 54, cam.version);
  putBe16(b, o + 62, cam.httpPort);
  if (body >= 65) b[o + 64] = cam.dhcp ? 1 : 0;
  if (body >= 195) {
    putText(b, o + 65, limits::kMoIDdns, cam.ddnsServer);
    putText(b, o + 130, limits::kMoIDdns, cam.ddnsUser);
  }
  return b;
}

Bytes buildCtp(const CameraDef &cam) {
  // "-ddns" comes before "-ddnsuser" and "-ddnspswd": a reader that takes
  // the first line beginning with "-ddns" must find the server there.
  std::string body;
  auto line = [&body](const char *key, const std::string &value) {
    body += key;
    body += ' ';
    body += value;
    body += "\r\n";
  };
  line("-sn", cam.sn);
  line("-name", cam.name);
  line("-ip", ipv4Text(cam.ip));
  line("-netmask", ipv4Text(cam.mask));
  line("-gw", ipv4Text(cam.gateway));
  line("-mdns", ipv4Text(cam.dns1));
  line("-sdns", ipv4Text(cam.dns2));
  line("-mac", cam.mac);
  line("-portctp", std::to_string(cam.httpPort));
  line("-dhcpen", cam.dhcp ? "1" : "0");
  line("-ddns", cam.ddnsServer);
  line("-ddnsuser", cam.ddnsUser);
  line("-ddnspswd", cam.ddnsPassword);
  line("-version", cam.version);
  body += "\r\n";
  std::string msg = "REPLY * CTP/1.0\r\nFrom:" + ipv4Text(cam.ip) + "\r\nContent-Length:" +
                    std::to_string(body.size()) + "\r\n\r\n" + body;
  return Bytes(msg.begin(), msg.end());
}

Bytes buildBin8Block(const CameraDef &cam, const std::array<std::uint8_t, 6> &mac) {
  Bytes b(bin8::kBlock, 0);
  putText(b, 0, 16, ipv4Text(cam.ip));
  putText(b, 16, 16, ipv4Text(cam.mask));
  putText(b, 32, 16, ipv4Text(cam.gateway));
  putText(b, 48, 16, ipv4Text(cam.dns1));
  putText(b, 64, 16, ipv4Text(cam.dns2));
  putLe16(b, 80, cam.httpPort);
  putLe16(b, 82, cam.httpPort);
  putLe16(b, 84, cam.httpPort);
  putLe16(b, 86, cam.dataPort);
  putBytes(b, 88, mac);
  putLe16(b, 94, cam.word8);
  if (auto sn = parseHex(cam.sn); sn && sn->size() == 7) putBytes(b, 96, *sn);
  b[103] = cam.dhcp ? 1 : 0;
  putText(b, 104, 24, cam.name);
  return b;
}

void putBin8Header(Bytes &b, std::uint16_t command, std::uint16_t word, std::size_t total) {
  b[0] = 0x10;
  b[1] = 0x10;
  putLe16(b, 2, command);
  putLe16(b, 4, word);
  putLe16(b, 6, static_cast<std::uint16_t>(total - bin8::kHeader));
}

Bytes buildDvsSearch(const CameraDef &cam, const std::array<std::uint8_t, 6> &mac) {
  Bytes b(dvs::kAnswerLength, 0);
  putBytes(b, 0, ByteView(reinterpret_cast<const std::uint8_t *>(dvs::kMagic), 4));
  b[4] = dvs::kVersion;
  b[5] = dvs::kSearchAnswer;
  putBytes(b, dvs::kAMac, mac);
  b[dvs::kADhcp] = cam.dhcp ? 1 : 0;
  putLe16(b, dvs::kAWebPort, cam.httpPort);
  putLe16(b, dvs::kADataPort, cam.dataPort);
  putLe16(b, dvs::kAExtraPort, cam.extraPort);
  putLe32(b, dvs::kAExtraValue, cam.extraValue);
  putText(b, dvs::kASn, 32, cam.sn);
  putText(b, dvs::kAName, 64, cam.name);
  putText(b, dvs::kAVersion, 32, cam.version);
  putText(b, dvs::kAIp, 16, ipv4Text(cam.ip));
  putText(b, dvs::kAMask, 16, ipv4Text(cam.mask));
  putText(b, dvs::kAGateway, 16, ipv4Text(cam.gateway));
  putText(b, dvs::kAExtraAddr, 16, ipv4Text(cam.extraAddr));
  putText(b, dvs::kADns, 16, ipv4Text(cam.dns1));
  return b;
}

}  // namespace

Bytes buildT9Record(const CameraDef &cam, const std::array<std::uint8_t, 6> &mac, std::uint16_t type,
                    std::size_t length) {
  Bytes b(length, 0);
  putLe16(b, 0, t9::kMagic);
  putLe16(b, 2, type);
  putText(b, t9::kIp, 16, ipv4Text(cam.ip));
  putText(b, t9::kMask, 16, ipv4Text(cam.mask));
  putText(b, t9::kGateway, 16, ipv4Text(cam.gateway));
  putText(b, t9::kDns1, 16, ipv4Text(cam.dns1));
  putText(b, t9::kDns2, 16, ipv4Text(cam.dns2));
  putBytes(b, t9::kMac, mac);
  putLe16(b, t9::kPort, cam.httpPort);
  putText(b, t9::kSn, 32, cam.sn);
  putText(b, t9::kName, 80, cam.name);
  putText(b, t9::kVersion, 16, cam.version);
  putText(b, t9::kUser, 32, cam.user);
  putText(b, t9::kPassword, 32, cam.password);
  if (t9::kDhcp < b.size()) b[t9::kDhcp] = cam.dhcp ? 1 : 0;
  if (length >= t9::kReplyLength) {
    putText(b, t9::kDdnsServer, 64, cam.ddnsServer);
    putText(b, t9::kDdnsHost, 64, cam.ddnsHost);
    putText(b, t9::kDdnsUser, 32, cam.ddnsUser);
    putText(b, t9::kDdnsPwd, 32, cam.ddnsPassword);
  }
  return b;
}

CameraReplies buildReplies(const CameraDef &cam) {
  CameraReplies r;
  switch (cam.family) {
    case 2:
      r.moi = buildMoI(cam);
      break;
    case 5:
      r.ctp = buildCtp(cam);
      break;
    case 8: {
      if (auto mac = parseMac(cam.mac)) r.mac6 = *mac;
      r.bin8Block = buildBin8Block(cam, r.mac6);

      r.bin8Search.assign(bin8::kSearchReply, 0);
      putBin8Header(r.bin8Search, bin8::kSearch | bin8::kReplyBit, cam.session, bin8::kSearchReply);
      putBytes(r.bin8Search, 12, r.bin8Block);

      r.bin8BlockReply.assign(bin8::kBlockReply, 0);
      putBin8Header(r.bin8BlockReply, bin8::kReadBlock | bin8::kReplyBit, cam.session, bin8::kBlockReply);
      putBytes(r.bin8BlockReply, 8, r.bin8Block);
      putText(r.bin8BlockReply, 136, bin8::kBlockReply - 136, cam.version);

      r.bin8DdnsReply.assign(bin8::kDdnsReply, 0);
      putBin8Header(r.bin8DdnsReply, bin8::kReadDdns | bin8::kReplyBit, cam.session, bin8::kDdnsReply);
      putBytes(r.bin8DdnsReply, 8, r.bin8Block);
      putText(r.bin8DdnsReply, 142, 130, cam.ddnsServer);
      putText(r.bin8DdnsReply, 272, 64, cam.ddnsUser);
      putText(r.bin8DdnsReply, 336, 64, cam.ddnsPassword);
      break;
    }
    case 9:
      if (auto mac = parseMac(cam.mac)) r.mac6 = *mac;
      r.t9Search = buildT9Record(cam, r.mac6, t9::kSearchReply, t9::kReplyLength);
      break;
    case 4:
      if (auto mac = parseMac(cam.mac)) r.mac6 = *mac;
      r.dvsSearch = buildDvsSearch(cam, r.mac6);
      break;
    case 10:
      // The discovery answer and the device service are XML, built per request.
      if (auto mac = parseMac(cam.mac)) r.mac6 = *mac;
      break;
    default:
      break;
  }
  return r;
}

Classified classifyMoI(ByteView d, bool strict) {
  // "MO_I", operation 0, nine zeros, body length 4, four zeros, body 00 00 00 01.
  static constexpr std::uint8_t kProbe[27] = {'M', 'O', '_', 'I', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                               0,   4,   0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 1};
  if (!startsWith(d, "MO_I")) return {Request::None, "not MO_I"};
  if (d.size() < 23) return {Request::None, "MO_I shorter than its header"};
  const std::uint16_t op = le16(d, 4);
  if (op == 2) return {Request::MoISet, ""};
  if (op != 0) return {Request::None, op == 1 ? "MO_I search reply" : "MO_I operation not simulated"};
  if (strict && (d.size() != sizeof kProbe || !std::equal(d.begin(), d.end(), kProbe)))
    return {Request::None, "MO_I search differs from the probe"};
  return {Request::MoISearch, ""};
}

Classified classifyCtp(ByteView d, bool strict) {
  static constexpr std::string_view kProbe = "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n";
  std::string_view text(reinterpret_cast<const char *>(d.data()), d.size());
  if (text.starts_with("CMD setip ")) return {Request::CtpSetip, ""};
  if (strict) {
    if (text == kProbe) return {Request::CtpSearch, ""};
    if (text.starts_with("CMD ")) return {Request::None, "CTP command not simulated"};
    return {Request::None, "CTP search differs from the probe"};
  }
  auto eol = text.find("\r\n");
  if (eol == std::string_view::npos) return {Request::None, "CTP without a request line"};
  std::string_view requestLine = text.substr(0, eol);
  if (requestLine != "SEARCH * CTP/1.0")
    return {Request::None, requestLine.starts_with("CMD ") ? "CTP command not simulated" : "not a CTP search"};
  if (text.find("\r\n\r\n") == std::string_view::npos) return {Request::None, "CTP search without an empty line"};
  return {Request::CtpSearch, ""};
}

Classified classifyBin8(ByteView d, bool strict) {
  if (d.size() < bin8::kHeader) return {Request::None, "shorter than the family-8 header"};
  if (d[0] != 0x10 || d[1] != 0x10) return {Request::None, "not a family-8 message"};
  const std::uint16_t cmd = le16(d, 2);
  const std::uint16_t len = le16(d, 6);
  if (cmd & bin8::kReplyBit) return {Request::None, "a family-8 reply"};
  switch (cmd) {
    case bin8::kSearch:
      if (strict && (d.size() != bin8::kHeader || le16(d, 4) != 0 || len != 0))
        return {Request::None, "family-8 search differs from the probe"};
      return {Request::Bin8Search, ""};
    case bin8::kReadBlock:
    case bin8::kReadDdns:
      if (d.size() < bin8::kFollowUp) return {Request::None, "family-8 request shorter than 136 bytes"};
      if (strict && (d.size() != bin8::kFollowUp || len != bin8::kBlock))
        return {Request::None, "family-8 request of the wrong length"};
      return {cmd == bin8::kReadBlock ? Request::Bin8ReadBlock : Request::Bin8ReadDdns, ""};
    case bin8::kWrite:
      if (d.size() < bin8::kWriteLength) return {Request::None, "family-8 write shorter than 264 bytes"};
      return {Request::Bin8Write, ""};
    default:
      return {Request::None, "family-8 command not simulated"};
  }
}

Classified classifyT9(ByteView d, bool strict) {
  if (d.size() < 4 || le16(d, 0) != t9::kMagic) return {Request::None, "not a family-9 packet"};
  switch (le16(d, 2)) {
    case t9::kSearch:
      if (strict && d.size() != t9::kProbe) return {Request::None, "family-9 search differs from the probe"};
      return {Request::T9Search, ""};
    case t9::kSet:
      if (d.size() < t9::kSetLength) return {Request::None, "family-9 address change shorter than 324 bytes"};
      return {Request::T9Set, ""};
    case t9::kSearchReply:
    case t9::kSetReply:
      return {Request::None, "a family-9 answer"};
    default:
      return {Request::None, "family-9 packet type not simulated"};
  }
}

Classified classifyDvs(ByteView d, bool strict) {
  if (d.size() < dvs::kHeader || !std::equal(dvs::kMagic, dvs::kMagic + 4, d.begin()))
    return {Request::None, "not a family-4 message"};
  if (d[4] != dvs::kVersion) return {Request::None, "family-4 message of another version"};
  switch (d[5]) {
    case dvs::kSearch:
      if (strict && d.size() != dvs::kSearchLength) return {Request::None, "family-4 search of the wrong length"};
      return {Request::DvsSearch, ""};
    case dvs::kConfig:
      if (d.size() < dvs::kConfigLength || (strict && d.size() != dvs::kConfigLength))
        return {Request::None, "family-4 configure of the wrong length"};
      return {Request::DvsConfig, ""};
    case dvs::kSearchAnswer:
    case dvs::kConfigAnswer:
      return {Request::None, "a family-4 answer"};
    default:
      return {Request::None, "family-4 message type not simulated"};
  }
}

const char *securityName(WifiSecurity s) {
  switch (s) {
    case WifiSecurity::None: return "none";
    case WifiSecurity::Wep: return "wep";
    case WifiSecurity::WpaAes: return "wpa-aes";
    case WifiSecurity::WpaTkip: return "wpa-tkip";
    case WifiSecurity::Wpa2Aes: return "wpa2-aes";
    case WifiSecurity::Wpa2Tkip: return "wpa2-tkip";
    case WifiSecurity::Other: return "other";
  }
  return "none";
}

bool parseSecurity(std::string_view text, WifiSecurity &out) {
  for (auto s : {WifiSecurity::None, WifiSecurity::Wep, WifiSecurity::WpaAes, WifiSecurity::WpaTkip,
                 WifiSecurity::Wpa2Aes, WifiSecurity::Wpa2Tkip, WifiSecurity::Other})
    if (text == securityName(s)) return out = s, true;
  return false;
}

int cgiSecurityIndex(WifiSecurity s) {
  switch (s) {
    case WifiSecurity::None: return 0;
    case WifiSecurity::Wep: return 1;
    case WifiSecurity::WpaAes: return 2;
    case WifiSecurity::WpaTkip: return 3;
    case WifiSecurity::Wpa2Aes: return 4;
    case WifiSecurity::Wpa2Tkip: return 5;
    case WifiSecurity::Other: return 6;
  }
  return 0;
}

CtpSecurity ctpSecurity(WifiSecurity s) {
  switch (s) {
    case WifiSecurity::None: return {0, 0, 0, "NONE", ""};
    case WifiSecurity::Wep: return {1, 0, 0, "WEP", "WEPAUTO"};
    case WifiSecurity::WpaAes: return {1, 1, 2, "WPAPSK", "AES"};
    case WifiSecurity::WpaTkip: return {1, 1, 1, "WPAPSK", "TKIP"};
    case WifiSecurity::Wpa2Aes: return {1, 2, 2, "WPA2PSK", "AES"};
    case WifiSecurity::Wpa2Tkip: return {1, 2, 1, "WPA2PSK", "TKIP"};
    case WifiSecurity::Other: return {1, 3, 3, "WPA2EAP", "AES"};
  }
  return {0, 0, 0, "NONE", ""};
}

}  // namespace lansim
