// The settings commands of each family: what they carry, read without
// trusting a byte. The Simulator finds the camera they name, checks the
// login where the family carries one, and applies the values.
#pragma once

#include <optional>
#include <string>

#include "camera.h"

namespace lansim {

struct NetChange {
  // Which camera is meant: family 2 by its MAC text, family 5 by serial
  // number and MAC text, families 4, 8 and 9 by six MAC bytes.
  std::string macText, sn;
  std::array<std::uint8_t, 6> mac6{};
  Bytes oldBlock;          // family 8: the camera's block as the sender knows it
  std::string interfaceIp; // family 5: "-interface", the camera's present address
  // The login, where the command carries one (family 8 carries none).
  bool hasLogin = false, hasUser = false;
  std::string user, password;
  // New values; those left empty stay as they are.
  std::optional<Ipv4> ip, mask, gateway, dns1, dns2, extraAddr;
  std::optional<std::uint16_t> httpPort, dataPort, extraPort, word8;
  std::optional<bool> dhcp;
  std::optional<std::string> name;
};

struct ParsedChange {
  bool ok = false;
  const char *why = "";
  NetChange change;
};

// "MO_I" operation 2, 84 bytes.
ParsedChange parseMoISet(ByteView d, bool strict);
// "CMD setip CTP/1.0" with its argument lines.
ParsedChange parseCtpSetip(ByteView d, bool strict);
// 0x0F02: header, the old block and the new block.
ParsedChange parseBin8Write(ByteView d, bool strict);
// Family 9, type 0x0102.
ParsedChange parseT9Set(ByteView d, bool strict);
// Family 4, configure.
ParsedChange parseDvsConfig(ByteView d, bool strict);

}  // namespace lansim
