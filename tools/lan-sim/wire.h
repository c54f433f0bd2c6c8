// Byte-level helpers for the camera datagrams. Every read is bounds-checked
// against the datagram, every write against the buffer being built.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lansim {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
using Ipv4 = std::array<std::uint8_t, 4>;

// Strict dotted quad: four decimal parts 0..255, nothing else.
std::optional<Ipv4> parseIpv4(std::string_view text);
std::string ipv4Text(const Ipv4 &ip);
std::uint32_t ipv4ToHost(const Ipv4 &ip);
Ipv4 ipv4FromHost(std::uint32_t v);

// "00:1A:2B:3C:4D:5E", "00-1a-2b-3c-4d-5e" or "001A2B3C4D5E".
std::optional<std::array<std::uint8_t, 6>> parseMac(std::string_view text);
// An even number of hexadecimal digits into bytes.
std::optional<Bytes> parseHex(std::string_view text);

inline std::uint16_t le16(ByteView d, std::size_t off) {
  if (off + 2 > d.size()) return 0;
  return static_cast<std::uint16_t>(d[off] | (d[off + 1] << 8));
}
inline std::uint32_t le32(ByteView d, std::size_t off) {
  if (off + 4 > d.size()) return 0;
  return static_cast<std::uint32_t>(d[off]) | (static_cast<std::uint32_t>(d[off + 1]) << 8) |
         (static_cast<std::uint32_t>(d[off + 2]) << 16) | (static_cast<std::uint32_t>(d[off + 3]) << 24);
}

// Writers into a buffer that the caller sized; an overrun is a programming
// error and is refused rather than written.
void putLe16(Bytes &b, std::size_t off, std::uint16_t v);
void putBe16(Bytes &b, std::size_t off, std::uint16_t v);
void putLe32(Bytes &b, std::size_t off, std::uint32_t v);
void putBytes(Bytes &b, std::size_t off, ByteView src);
// Text into a fixed field, zero-padded; a text as long as the field fills it
// without a NUL, a longer one is cut (configuration checks prevent that).
void putText(Bytes &b, std::size_t off, std::size_t width, std::string_view text);

// A NUL-terminated text inside a fixed field; a field without NUL gives all
// of it. Never reads past the field or the datagram.
std::string getText(ByteView d, std::size_t off, std::size_t width);
// The field holds a NUL and nothing but zeros after it, as a builder that
// starts from a zero-filled buffer leaves it.
bool nulPadded(ByteView d, std::size_t off, std::size_t width);
bool allZero(ByteView d, std::size_t off, std::size_t width);

// Six bytes as hexadecimal pairs, joined by sep (0: none).
std::string macText(const std::array<std::uint8_t, 6> &mac, char sep = 0, bool upper = true);

// RFC 4648 Base64 with padding, without line breaks.
std::string base64Encode(std::string_view bytes);
// RFC 4648 Base64 without line breaks; nullopt on any other character.
std::optional<std::string> base64Decode(std::string_view text);
// "%XX" into its byte, "+" into a blank when asked; a "%" without two
// hexadecimal digits stays as it is.
std::string percentDecode(std::string_view text, bool plusIsBlank);

inline bool startsWith(ByteView d, std::string_view prefix) {
  if (d.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (d[i] != static_cast<std::uint8_t>(prefix[i])) return false;
  return true;
}

}  // namespace lansim
