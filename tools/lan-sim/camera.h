// One simulated camera and the datagrams it answers with, per family.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "wire.h"

namespace lansim {

// UDP ports a camera listens on for the broadcast search of its family.
inline constexpr std::uint16_t kPortMoI = 10000;   // family 2
inline constexpr std::uint16_t kPortCtp = 7999;    // family 5
inline constexpr std::uint16_t kPortBin8 = 6801;   // family 8

struct CameraDef {
  std::string id;       // name used by the control socket and in logs
  int family = 0;       // 2, 5 or 8
  std::string mac;      // as configured; family 8 sends it as 6 bytes
  std::string sn;       // family 5: text; family 8: 14 hex digits (7 bytes)
  std::string name;
  std::string version;  // family 2: "a.b.c.d:e.f.g.h"
  Ipv4 ip{}, mask{}, gateway{}, dns1{}, dns2{};
  std::uint16_t httpPort = 80;
  std::uint16_t dataPort = 0;
  bool dhcp = false;
  std::string ddnsServer, ddnsUser, ddnsPassword;
  std::uint16_t word8 = 0;    // family 8: value echoed in the block
  std::uint16_t session = 0;  // family 8: header word 4 of the replies
  int moiBody = 195;          // family 2: reply body length, 64, 65 or 195
  int delayMs = 0;            // answer this long after the request
};

// Field limits of the reply layouts; the configuration checks against them.
namespace limits {
inline constexpr std::size_t kMoIMac = 13, kMoIName = 21, kMoIDdns = 65;
inline constexpr std::size_t kBin8Name = 23, kBin8Version = 31;
inline constexpr std::size_t kBin8DdnsServer = 129, kBin8DdnsUser = 63, kBin8DdnsPwd = 63;
}  // namespace limits

// Family 8: length of the follow-up requests and offsets inside the replies.
namespace bin8 {
inline constexpr std::uint16_t kSearch = 0x0F01, kReadBlock = 0x0F12, kReadDdns = 0x0F0F, kWrite = 0x0F02;
inline constexpr std::uint16_t kReplyBit = 0x8000;
inline constexpr std::size_t kHeader = 8, kBlock = 128;
inline constexpr std::size_t kSearchReply = 140;  // header, 4 bytes, block at 12
inline constexpr std::size_t kBlockReply = 168;   // header, block at 8, version at 136
inline constexpr std::size_t kDdnsReply = 400;    // header, block, texts at 142, 272, 336
inline constexpr std::size_t kFollowUp = 136;     // header + block
}  // namespace bin8

// The datagrams a camera sends, built once from its definition.
struct CameraReplies {
  Bytes moi;             // family 2 search reply
  Bytes ctp;             // family 5 search reply
  Bytes bin8Search;      // family 8, 0x8F01
  Bytes bin8BlockReply;  // family 8, 0x8F12
  Bytes bin8DdnsReply;   // family 8, 0x8F0F
  Bytes bin8Block;       // the 128-byte network block the follow-ups carry back
  std::array<std::uint8_t, 6> mac6{};
};

CameraReplies buildReplies(const CameraDef &cam);

// Requests recognised on the search ports.
enum class Request { None, MoISearch, CtpSearch, Bin8Search, Bin8ReadBlock, Bin8ReadDdns, Bin8Write };

struct Classified {
  Request kind = Request::None;
  const char *why = "";  // reason a datagram was not recognised, for the log
};

// strict: the datagram must be exactly what the program sends; otherwise
// only the parts a camera needs to tell the request apart are checked.
Classified classifyMoI(ByteView d, bool strict);
Classified classifyCtp(ByteView d, bool strict);
Classified classifyBin8(ByteView d, bool strict);

}  // namespace lansim
