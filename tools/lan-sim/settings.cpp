#include "settings.h"

#include <charconv>

namespace lansim {

namespace {

ParsedChange fail(const char *why) { return ParsedChange{false, why, {}}; }

// A text field as a zero-filled builder leaves it: NUL-terminated and zero
// after the NUL, or filled to the last byte.
bool textField(ByteView d, std::size_t off, std::size_t width) {
  if (off > d.size() || width > d.size() - off) return false;
  if (nulPadded(d, off, width)) return true;
  for (std::size_t i = off; i < off + width; ++i)
    if (d[i] == 0) return false;
  return true;
}

bool addressField(ByteView d, std::size_t off, std::size_t width, bool strict, std::optional<Ipv4> &out) {
  if (strict && !nulPadded(d, off, width)) return false;
  auto ip = parseIpv4(getText(d, off, width));
  if (!ip) return false;
  out = *ip;
  return true;
}

bool parsePort(std::string_view s, std::uint16_t &out) {
  unsigned v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v == 0 || v > 65535) return false;
  out = static_cast<std::uint16_t>(v);
  return true;
}

Ipv4 ipAt(ByteView d, std::size_t off) { return {d[off], d[off + 1], d[off + 2], d[off + 3]}; }

}  // namespace

ParsedChange parseMoISet(ByteView d, bool strict) {
  constexpr std::size_t kLength = 84, kBody = 61, o = 23;
  if (d.size() < kLength) return fail("MO_I settings shorter than 84 bytes");
  if (le32(d, 15) < kBody) return fail("MO_I settings body shorter than 61 bytes");
  if (strict) {
    if (d.size() != kLength || le32(d, 15) != kBody) return fail("MO_I settings of the wrong length");
    if (!allZero(d, 6, 9) || !allZero(d, 19, 4) || !allZero(d, o, 4))
      return fail("MO_I settings with bytes that should be zero");
    for (std::size_t off : {o + 4, o + 17, o + 30})
      if (!textField(d, off, limits::kMoILogin)) return fail("MO_I settings text field not zero-padded");
  }
  ParsedChange r{true, "", {}};
  NetChange &c = r.change;
  c.macText = getText(d, o + 4, 13);
  c.hasLogin = c.hasUser = true;
  c.user = getText(d, o + 17, 13);
  c.password = getText(d, o + 30, 13);
  c.ip = ipAt(d, o + 43);
  c.mask = ipAt(d, o + 47);
  c.gateway = ipAt(d, o + 51);
  c.dns1 = ipAt(d, o + 55);
  const std::uint16_t port = static_cast<std::uint16_t>((d[o + 59] << 8) | d[o + 60]);
  if (port == 0) return fail("MO_I settings with port 0");
  c.httpPort = port;
  return r;
}

ParsedChange parseCtpSetip(ByteView d, bool strict) {
  const std::string_view text(reinterpret_cast<const char *>(d.data()), d.size());
  static constexpr std::string_view kHead = "CMD setip CTP/1.0\r\nContent-Length: ";
  static constexpr const char *kOrder[] = {"-sn",  "-interface", "-pswd", "-dhcpen", "-ip",  "-netmask",
                                           "-defgw", "-name",    "-mdns", "-sdns",   "-mac", "-port"};
  std::vector<std::pair<std::string_view, std::string_view>> args;
  if (strict) {
    // The length counts from the empty line's CR LF to the end.
    if (!text.starts_with(kHead)) return fail("setip without its exact request and length lines");
    const auto eol = text.find("\r\n", kHead.size());
    if (eol == std::string_view::npos) return fail("setip length line without CR LF");
    std::size_t length = 0;
    const std::string_view digits = text.substr(kHead.size(), eol - kHead.size());
    auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
    if (digits.empty() || ec != std::errc() || p != digits.data() + digits.size())
      return fail("setip length is not a number");
    const std::string_view body = text.substr(eol + 2);
    if (body.size() != length) return fail("setip length differs from the body");
    if (!body.starts_with("\r\n") || !body.ends_with("\r\n\r\n")) return fail("setip body not framed by empty lines");
    std::size_t pos = 2;
    for (const char *key : kOrder) {
      const auto end = body.find("\r\n", pos);
      if (end == std::string_view::npos) return fail("setip argument line without CR LF");
      const std::string_view line = body.substr(pos, end - pos);
      const std::string_view k(key);
      if (!line.starts_with(k) || line.size() < k.size() + 1 || line[k.size()] != ' ')
        return fail("setip argument lines not in the expected order");
      args.emplace_back(k, line.substr(k.size() + 1));
      pos = end + 2;
    }
    if (pos != body.size() - 2) return fail("setip has more argument lines than expected");
  } else {
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
      auto end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      if (line.ends_with('\r')) line.remove_suffix(1);
      pos = end + 1;
      if (first) {
        if (line != "CMD setip CTP/1.0") return fail("not a setip request line");
        first = false;
        continue;
      }
      if (!line.starts_with('-')) continue;
      const auto blank = line.find(' ');
      args.emplace_back(line.substr(0, blank),
                        blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1));
    }
  }

  ParsedChange r{true, "", {}};
  NetChange &c = r.change;
  for (auto [key, value] : args) {
    auto address = [&](std::optional<Ipv4> &dst) {
      auto ip = parseIpv4(value);
      if (ip) dst = *ip;
      return ip.has_value();
    };
    bool good = true;
    if (key == "-sn") c.sn = value;
    else if (key == "-interface") c.interfaceIp = value;
    else if (key == "-pswd") c.hasLogin = true, c.password = value;
    else if (key == "-dhcpen") {
      if (value != "0" && value != "1") good = false;
      else c.dhcp = value == "1";
    } else if (key == "-ip") good = address(c.ip);
    else if (key == "-netmask") good = address(c.mask);
    else if (key == "-defgw") good = address(c.gateway);
    else if (key == "-mdns") good = address(c.dns1);
    else if (key == "-sdns") good = address(c.dns2);
    else if (key == "-name") c.name = std::string(value);
    else if (key == "-mac") c.macText = value;
    else if (key == "-port") {
      std::uint16_t port = 0;
      good = parsePort(value, port);
      c.httpPort = port;
    }
    if (!good) return fail("setip with a value that is not valid");
  }
  if (c.sn.empty() && c.macText.empty()) return fail("setip names no camera");
  return r;
}

ParsedChange parseBin8Write(ByteView d, bool strict) {
  if (d.size() < bin8::kWriteLength) return fail("family-8 write shorter than 264 bytes");
  if (strict && (d.size() != bin8::kWriteLength || le16(d, 4) != 0 || le16(d, 6) != 2 * bin8::kBlock))
    return fail("family-8 write header differs");
  const ByteView oldBlock = d.subspan(bin8::kHeader, bin8::kBlock);
  const ByteView block = d.subspan(bin8::kHeader + bin8::kBlock, bin8::kBlock);
  ParsedChange r{true, "", {}};
  NetChange &c = r.change;
  c.oldBlock.assign(oldBlock.begin(), oldBlock.end());
  std::copy(oldBlock.begin() + 88, oldBlock.begin() + 94, c.mac6.begin());
  if (strict) {
    if (!std::equal(block.begin() + 88, block.begin() + 94, oldBlock.begin() + 88) ||
        !std::equal(block.begin() + 96, block.begin() + 103, oldBlock.begin() + 96))
      return fail("family-8 write changes the MAC or the serial number");
    if (le16(block, 82) != le16(block, 80) || le16(block, 84) != le16(block, 80))
      return fail("family-8 write with three different HTTP ports");
    if (!nulPadded(block, 104, 24)) return fail("family-8 write name not zero-padded");
  }
  if (!addressField(block, 0, 16, strict, c.ip) || !addressField(block, 16, 16, strict, c.mask) ||
      !addressField(block, 32, 16, strict, c.gateway) || !addressField(block, 48, 16, strict, c.dns1) ||
      !addressField(block, 64, 16, strict, c.dns2))
    return fail("family-8 write with an address that is not valid");
  if (le16(block, 80) == 0) return fail("family-8 write with HTTP port 0");
  c.httpPort = le16(block, 80);
  c.dataPort = le16(block, 86);
  c.word8 = le16(block, 94);
  c.dhcp = block[103] != 0;
  c.name = getText(block, 104, 24);
  return r;
}

ParsedChange parseT9Set(ByteView d, bool strict) {
  if (d.size() < t9::kSetLength) return fail("family-9 address change shorter than 324 bytes");
  if (strict) {
    if (d.size() != t9::kSetLength) return fail("family-9 address change of the wrong length");
    if (!allZero(d, t9::kSn, 32) || !allZero(d, 220, 16) || !allZero(d, 300, 1) || !allZero(d, 302, 22))
      return fail("family-9 address change with bytes that should be zero");
    if (d[t9::kDhcp] > 1) return fail("family-9 address change with a DHCP byte other than 0 or 1");
    for (auto [off, width] : {std::pair<std::size_t, std::size_t>{t9::kName, 80}, {t9::kVersion, 16},
                              {t9::kUser, 32}, {t9::kPassword, 32}})
      if (!nulPadded(d, off, width)) return fail("family-9 address change text not zero-terminated");
  }
  ParsedChange r{true, "", {}};
  NetChange &c = r.change;
  if (!addressField(d, t9::kIp, 16, strict, c.ip) || !addressField(d, t9::kMask, 16, strict, c.mask) ||
      !addressField(d, t9::kGateway, 16, strict, c.gateway) || !addressField(d, t9::kDns1, 16, strict, c.dns1) ||
      !addressField(d, t9::kDns2, 16, strict, c.dns2))
    return fail("family-9 address change with an address that is not valid");
  std::copy(d.begin() + t9::kMac, d.begin() + t9::kMac + 6, c.mac6.begin());
  if (le16(d, t9::kPort) == 0) return fail("family-9 address change with port 0");
  c.httpPort = le16(d, t9::kPort);
  c.name = getText(d, t9::kName, 80);
  c.hasLogin = c.hasUser = true;
  c.user = getText(d, t9::kUser, 32);
  c.password = getText(d, t9::kPassword, 32);
  c.dhcp = d[t9::kDhcp] == 1;
  return r;
}

ParsedChange parseDvsConfig(ByteView d, bool strict) {
  if (d.size() < dvs::kConfigLength) return fail("family-4 configure too short");
  if (strict) {
    if (d[dvs::kCDhcp] > 1 || d[15] != 0 || d[22] != 0 || d[23] != 0)
      return fail("family-4 configure with bytes out of range");
    for (auto [off, width] : {std::pair<std::size_t, std::size_t>{dvs::kCUser, 32}, {dvs::kCPassword, 32},
                              {dvs::kCName, 64}})
      if (!nulPadded(d, off, width)) return fail("family-4 configure text not zero-terminated");
  }
  ParsedChange r{true, "", {}};
  NetChange &c = r.change;
  std::copy(d.begin() + dvs::kCMac, d.begin() + dvs::kCMac + 6, c.mac6.begin());
  if (!addressField(d, dvs::kCIp, 16, strict, c.ip) || !addressField(d, dvs::kCMask, 16, strict, c.mask) ||
      !addressField(d, dvs::kCGateway, 16, strict, c.gateway) ||
      !addressField(d, dvs::kCExtraAddr, 16, strict, c.extraAddr) || !addressField(d, dvs::kCDns, 16, strict, c.dns1))
    return fail("family-4 configure with an address that is not valid");
  if (le16(d, dvs::kCWebPort) == 0) return fail("family-4 configure with web port 0");
  c.httpPort = le16(d, dvs::kCWebPort);
  c.dataPort = le16(d, dvs::kCDataPort);
  c.extraPort = le16(d, dvs::kCExtraPort);
  c.dhcp = d[dvs::kCDhcp] == 1;
  c.name = getText(d, dvs::kCName, 64);
  c.hasLogin = c.hasUser = true;
  c.user = getText(d, dvs::kCUser, 32);
  c.password = getText(d, dvs::kCPassword, 32);
  return r;
}

}  // namespace lansim
