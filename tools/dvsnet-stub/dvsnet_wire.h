// The library's side of the family-4 protocol: building its requests and
// reading the cameras' answers. A datagram is hostile until every byte of
// it has been checked; nothing here reads past its end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace dvsnet {

inline constexpr std::uint16_t kDefaultPort = 9909;
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint8_t kSearch = 0x01, kSearchAnswer = 0x81, kConfig = 0x02, kConfigAnswer = 0x82;
inline constexpr std::size_t kHeader = 8, kAnswerLength = 236, kConfigLength = 232, kConfigAnswerLength = 16;
inline constexpr std::size_t kMaxDatagram = 2048;

struct Camera {
  std::array<unsigned char, 6> mac{};
  int dhcp = 0, webPort = 0, dataPort = 0, extraPort = 0, extraValue = 0;
  std::string serial, name, version, ip, mask, gateway, extraAddr, dns;
};

struct Settings {
  std::array<unsigned char, 6> mac{};
  std::string user, password, name, ip, mask, gateway, extraAddr, dns;
  int webPort = 0, dataPort = 0, extraPort = 0, dhcp = 0;
};

inline std::uint16_t le16(const unsigned char *p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// A zero-terminated text of a fixed field; a field without a zero is refused.
inline bool fieldText(const unsigned char *d, std::size_t off, std::size_t width, std::string &out) {
  const void *nul = std::memchr(d + off, 0, width);
  if (!nul) return false;
  out.assign(reinterpret_cast<const char *>(d + off), static_cast<const unsigned char *>(nul) - (d + off));
  return true;
}

inline bool dottedQuad(const std::string &s) {
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    std::size_t start = i;
    unsigned v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 3) v = v * 10 + static_cast<unsigned>(s[i++] - '0');
    if (i == start || v > 255) return false;
    if (++parts < 4) {
      if (i >= s.size() || s[i] != '.') return false;
      ++i;
    }
  }
  return i == s.size();
}

inline void header(std::vector<unsigned char> &b, std::uint8_t type, std::uint16_t tx) {
  std::memcpy(b.data(), "DVSN", 4);
  b[4] = kVersion;
  b[5] = type;
  b[6] = static_cast<unsigned char>(tx);
  b[7] = static_cast<unsigned char>(tx >> 8);
}

inline bool headerIs(const unsigned char *d, std::size_t n, std::uint8_t type, std::uint16_t tx) {
  return n >= kHeader && std::memcmp(d, "DVSN", 4) == 0 && d[4] == kVersion && d[5] == type && le16(d + 6) == tx;
}

inline std::vector<unsigned char> searchRequest(std::uint16_t tx) {
  std::vector<unsigned char> b(kHeader, 0);
  header(b, kSearch, tx);
  return b;
}

// A search answer to the search tx, or nothing.
inline std::optional<Camera> parseSearchAnswer(const unsigned char *d, std::size_t n, std::uint16_t tx) {
  if (n < kAnswerLength || n > kMaxDatagram || !headerIs(d, n, kSearchAnswer, tx)) return std::nullopt;
  Camera c;
  std::memcpy(c.mac.data(), d + 8, 6);
  c.dhcp = d[14] == 1 ? 1 : 0;
  c.webPort = le16(d + 16);
  c.dataPort = le16(d + 18);
  c.extraPort = le16(d + 20);
  std::uint32_t extra = 0;
  for (int i = 3; i >= 0; --i) extra = (extra << 8) | d[24 + i];
  std::memcpy(&c.extraValue, &extra, sizeof extra);
  if (!fieldText(d, 28, 32, c.serial) || !fieldText(d, 60, 64, c.name) || !fieldText(d, 124, 32, c.version) ||
      !fieldText(d, 156, 16, c.ip) || !fieldText(d, 172, 16, c.mask) || !fieldText(d, 188, 16, c.gateway) ||
      !fieldText(d, 204, 16, c.extraAddr) || !fieldText(d, 220, 16, c.dns))
    return std::nullopt;
  if (!dottedQuad(c.ip) || !dottedQuad(c.mask) || !dottedQuad(c.gateway) || !dottedQuad(c.extraAddr) ||
      !dottedQuad(c.dns))
    return std::nullopt;
  return c;
}

// The configure request, or nothing when a value does not fit its field.
inline std::optional<std::vector<unsigned char>> configRequest(const Settings &s, std::uint16_t tx) {
  auto fits = [](const std::string &t, std::size_t width) { return t.size() < width && t.find('\0') == std::string::npos; };
  if (!fits(s.user, 32) || !fits(s.password, 32) || !fits(s.name, 64)) return std::nullopt;
  for (const std::string *a : {&s.ip, &s.mask, &s.gateway, &s.extraAddr, &s.dns})
    if (!dottedQuad(*a)) return std::nullopt;
  if (s.webPort < 1 || s.webPort > 65535 || s.dataPort < 0 || s.dataPort > 65535 || s.extraPort < 0 ||
      s.extraPort > 65535 || (s.dhcp != 0 && s.dhcp != 1))
    return std::nullopt;
  std::vector<unsigned char> b(kConfigLength, 0);
  header(b, kConfig, tx);
  std::memcpy(b.data() + 8, s.mac.data(), 6);
  b[14] = static_cast<unsigned char>(s.dhcp);
  auto put16 = [&b](std::size_t off, int v) {
    b[off] = static_cast<unsigned char>(v);
    b[off + 1] = static_cast<unsigned char>(v >> 8);
  };
  put16(16, s.webPort);
  put16(18, s.dataPort);
  put16(20, s.extraPort);
  auto put = [&b](std::size_t off, const std::string &t) { std::memcpy(b.data() + off, t.data(), t.size()); };
  put(24, s.user);
  put(56, s.password);
  put(88, s.name);
  put(152, s.ip);
  put(168, s.mask);
  put(184, s.gateway);
  put(200, s.extraAddr);
  put(216, s.dns);
  return b;
}

// The result byte of the answer to configure request tx for mac, or nothing.
inline std::optional<int> parseConfigAnswer(const unsigned char *d, std::size_t n, std::uint16_t tx,
                                            const std::array<unsigned char, 6> &mac) {
  if (n < kConfigAnswerLength || n > kMaxDatagram || !headerIs(d, n, kConfigAnswer, tx)) return std::nullopt;
  if (std::memcmp(d + 8, mac.data(), 6) != 0) return std::nullopt;
  return d[14];
}

}  // namespace dvsnet
