#include "wire.h"

#include <algorithm>
#include <cstdio>

namespace lansim {

std::optional<Ipv4> parseIpv4(std::string_view text) {
  Ipv4 out{};
  std::size_t part = 0, pos = 0;
  while (part < 4) {
    std::size_t start = pos;
    unsigned value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
    }
    if (pos == start || value > 255) return std::nullopt;
    out[part++] = static_cast<std::uint8_t>(value);
    if (part < 4) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
  }
  if (pos != text.size()) return std::nullopt;
  return out;
}

std::string ipv4Text(const Ipv4 &ip) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
  return buf;
}

std::uint32_t ipv4ToHost(const Ipv4 &ip) {
  return (static_cast<std::uint32_t>(ip[0]) << 24) | (static_cast<std::uint32_t>(ip[1]) << 16) |
         (static_cast<std::uint32_t>(ip[2]) << 8) | ip[3];
}

Ipv4 ipv4FromHost(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

static int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<Bytes> parseHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  Bytes out;
  out.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return out;
}

std::optional<std::array<std::uint8_t, 6>> parseMac(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (c != ':' && c != '-') digits.push_back(c);
  auto bytes = parseHex(digits);
  if (!bytes || bytes->size() != 6) return std::nullopt;
  std::array<std::uint8_t, 6> mac{};
  std::copy(bytes->begin(), bytes->end(), mac.begin());
  return mac;
}

void putLe16(Bytes &b, std::size_t off, std::uint16_t v) {
  if (off + 2 > b.size()) return;
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

void putBe16(Bytes &b, std::size_t off, std::uint16_t v) {
  if (off + 2 > b.size()) return;
  b[off] = static_cast<std::uint8_t>(v >> 8);
  b[off + 1] = static_cast<std::uint8_t>(v);
}

void putLe32(Bytes &b, std::size_t off, std::uint32_t v) {
  if (off + 4 > b.size()) return;
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void putBytes(Bytes &b, std::size_t off, ByteView src) {
  if (off > b.size() || src.size() > b.size() - off) return;
  std::copy(src.begin(), src.end(), b.begin() + static_cast<std::ptrdiff_t>(off));
}

void putText(Bytes &b, std::size_t off, std::size_t width, std::string_view text) {
  if (off > b.size() || width > b.size() - off) return;
  std::size_t n = std::min(width, text.size());
  std::fill(b.begin() + static_cast<std::ptrdiff_t>(off), b.begin() + static_cast<std::ptrdiff_t>(off + width), 0);
  for (std::size_t i = 0; i < n; ++i) b[off + i] = static_cast<std::uint8_t>(text[i]);
}

std::string getText(ByteView d, std::size_t off, std::size_t width) {
  std::string out;
  for (std::size_t i = off; i < off + width && i < d.size() && d[i] != 0; ++i) out += static_cast<char>(d[i]);
  return out;
}

bool nulPadded(ByteView d, std::size_t off, std::size_t width) {
  if (off > d.size() || width > d.size() - off) return false;
  std::size_t i = off;
  while (i < off + width && d[i] != 0) ++i;
  if (i == off + width) return false;
  for (; i < off + width; ++i)
    if (d[i] != 0) return false;
  return true;
}

bool allZero(ByteView d, std::size_t off, std::size_t width) {
  if (off > d.size() || width > d.size() - off) return false;
  return std::all_of(d.begin() + static_cast<std::ptrdiff_t>(off),
                     d.begin() + static_cast<std::ptrdiff_t>(off + width), [](std::uint8_t b) { return b == 0; });
}

std::string macText(const std::array<std::uint8_t, 6> &mac, char sep, bool upper) {
  const char *hex = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < mac.size(); ++i) {
    if (i && sep) s += sep;
    s += hex[mac[i] >> 4];
    s += hex[mac[i] & 15];
  }
  return s;
}

std::string base64Encode(std::string_view bytes) {
  static const char *kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 3; ++k)
      v = (v << 8) | (k < n ? static_cast<std::uint8_t>(bytes[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() % 4 == 1) return std::nullopt;
  std::string out;
  std::uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    int v = value(c);
    if (v < 0) return std::nullopt;
    acc = (acc << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

std::string percentDecode(std::string_view text, bool plusIsBlank) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size()) {
      int hi = hexDigit(text[i + 1]), lo = hexDigit(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += (c == '+' && plusIsBlank) ? ' ' : c;
  }
  return out;
}

}  // namespace lansim
