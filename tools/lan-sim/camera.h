// One simulated camera and the datagrams it answers with, per family.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "wire.h"

namespace lansim {

// UDP ports a camera listens on for the broadcast search of its family.
inline constexpr std::uint16_t kPortMoI = 10000;   // family 2
inline constexpr std::uint16_t kPortCtp = 7999;    // family 5
inline constexpr std::uint16_t kPortBin8 = 6801;   // family 8
inline constexpr std::uint16_t kPortT9 = 8600;     // family 9 (UDP, and TCP for the firmware upload)
inline constexpr std::uint16_t kPortDvs = 9909;    // family 4, the stand-in library's protocol
inline constexpr std::uint16_t kPortWsd = 3702;    // family 10 (ONVIF): WS-Discovery, multicast 239.255.255.250

// Security of a wireless network a camera sees, and of its own settings.
enum class WifiSecurity { None, Wep, WpaAes, WpaTkip, Wpa2Aes, Wpa2Tkip, Other };

struct AccessPoint {
  std::string ssid, mac;
  WifiSecurity security = WifiSecurity::None;
  int signal = 0;  // percent
  int mode = 0;    // 0 infrastructure, 1 ad hoc
};

// A camera's wireless settings. The CGI families keep the numbers of their
// pages, family 5 the texts of its cfgwnic command; both share ssid and key.
struct WifiSettings {
  int enable = 0;
  std::string ssid;
  std::string key;  // WPA pass phrase: "wpa_psk" of the CGI pages, "-key" of cfgwnic
  int mode = 0, encrypt = 0, authtype = 0, defkey = 0, keyformat = 0, channel = 5;
  std::array<std::string, 4> wepKeys;
  std::array<int, 4> wepBits{};
  std::string authmode = "NONE", encryptype;  // family 5
};

struct CameraDef {
  std::string id;       // name used by the control socket and in logs
  int family = 0;       // 2, 4, 5, 8, 9 or 10 (ONVIF)
  std::string mac;      // as configured; families 4, 8 and 9 send it as 6 bytes
  std::string sn;       // family 8: 14 hex digits (7 bytes); others: text
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

  // Login of the settings commands, the CTP session and the CGI pages.
  std::string user = "admin", password;
  // Family 4: the values only its library reports and sets.
  Ipv4 extraAddr{};
  std::uint16_t extraPort = 0;
  std::uint32_t extraValue = 0;
  // DDNS values beyond the search replies.
  std::uint16_t ddnsPort = 808;
  std::string ddnsHost;             // family 9
  std::string ddnsService = "7";    // family 2: get_params "ddns_service"
  std::string factoryIndex = "10";  // family 9: "factory_index"
  int orayStatus = 0;               // family 5: getoraystate "-status"; -1 leaves the line out
  bool loginRequired = false;       // family 5: commands need a cfgusr login first
  // Restart: how long the camera is away, and whether an address change
  // takes effect by one (otherwise at once).
  int restartMs = 3000;
  bool setipRestart = false;
  bool hasDhcpIp = false;
  Ipv4 dhcpIp{};  // the address a switch to DHCP gives, when configured
  WifiSettings wifi;
  std::vector<AccessPoint> aps;  // the wireless networks the camera sees

  // Family 10 (ONVIF): the device service and the discovery answers.
  struct Onvif {
    std::string endpoint;              // EndpointReference address, urn:uuid:...
    std::string manufacturer = "lan-sim", model = "LS-ONVIF", location;
    bool rebootNeeded = false;         // network changes wait for SystemReboot
    bool dnsFromDhcp = false;
    long long clockOffsetS = 0;        // the camera's clock minus the true time
    int authWindowS = 300;             // how far a token's Created may be from the camera's clock
    bool wrongLogin401 = false;        // a refused login: HTTP 401 instead of the SOAP fault
  } onvif;
};

// Field limits of the reply layouts; the configuration checks against them.
namespace limits {
inline constexpr std::size_t kMoIMac = 13, kMoIName = 21, kMoIDdns = 65, kMoILogin = 13;
inline constexpr std::size_t kBin8Name = 23, kBin8Version = 31;
inline constexpr std::size_t kBin8DdnsServer = 129, kBin8DdnsUser = 63, kBin8DdnsPwd = 63;
// Family 9: texts are zero-terminated inside their fields.
inline constexpr std::size_t kT9Sn = 31, kT9Name = 79, kT9Version = 15, kT9Login = 31;
inline constexpr std::size_t kT9DdnsServer = 63, kT9DdnsHost = 63, kT9DdnsUser = 31, kT9DdnsPwd = 31;
// Family 4: the stand-in protocol, see dvs below.
inline constexpr std::size_t kDvsSn = 31, kDvsName = 63, kDvsVersion = 31, kDvsLogin = 31;
inline constexpr std::size_t kMaxAps = 32;
inline constexpr std::size_t kOnvifText = 64;  // name, model, manufacturer, location, serial, version
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
inline constexpr std::size_t kWriteLength = 264;  // header, old block, new block
}  // namespace bin8

// Family 9: packets of magic 0x4844 on UDP 8600.
namespace t9 {
inline constexpr std::uint16_t kMagic = 0x4844;
inline constexpr std::uint16_t kSearch = 0x0101, kSearchReply = 0x0801, kSet = 0x0102, kSetReply = 0x0802;
inline constexpr std::size_t kProbe = 4, kReplyLength = 516, kSetLength = 324, kSetReplyLength = 328;
inline constexpr std::uint32_t kAccepted = 0x8000, kRefused = 0x8001;
// Offsets shared by the search reply and the address change.
inline constexpr std::size_t kIp = 4, kMask = 20, kGateway = 36, kDns1 = 52, kDns2 = 68, kMac = 84, kPort = 90,
                             kSn = 92, kName = 124, kVersion = 204, kUser = 236, kPassword = 268, kDhcp = 301,
                             kDdnsServer = 324, kDdnsHost = 388, kDdnsUser = 452, kDdnsPwd = 484;
}  // namespace t9

// Family 4: the protocol between the stand-in library and the cameras
// (README.md, "Family 4"). Little-endian; texts zero-terminated in fields.
namespace dvs {
inline constexpr char kMagic[4] = {'D', 'V', 'S', 'N'};
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint8_t kSearch = 0x01, kSearchAnswer = 0x81, kConfig = 0x02, kConfigAnswer = 0x82;
inline constexpr std::size_t kHeader = 8, kSearchLength = 8, kAnswerLength = 236, kConfigLength = 232,
                             kConfigAnswerLength = 16;
// Search answer: MAC, DHCP, ports, extra value, then the texts.
inline constexpr std::size_t kAMac = 8, kADhcp = 14, kAWebPort = 16, kADataPort = 18, kAExtraPort = 20,
                             kAExtraValue = 24, kASn = 28, kAName = 60, kAVersion = 124, kAIp = 156,
                             kAMask = 172, kAGateway = 188, kAExtraAddr = 204, kADns = 220;
// Configure: MAC, DHCP, ports, login, then the texts.
inline constexpr std::size_t kCMac = 8, kCDhcp = 14, kCWebPort = 16, kCDataPort = 18, kCExtraPort = 20,
                             kCUser = 24, kCPassword = 56, kCName = 88, kCIp = 152, kCMask = 168,
                             kCGateway = 184, kCExtraAddr = 200, kCDns = 216;
// Configure answer: the MAC, then a result byte.
inline constexpr std::size_t kRMac = 8, kRResult = 14;
inline constexpr std::uint8_t kOk = 0, kBadLogin = 1, kBadValue = 2;
}  // namespace dvs

// The datagrams a camera sends, built from its current settings.
struct CameraReplies {
  Bytes moi;             // family 2 search reply
  Bytes ctp;             // family 5 search reply
  Bytes bin8Search;      // family 8, 0x8F01
  Bytes bin8BlockReply;  // family 8, 0x8F12
  Bytes bin8DdnsReply;   // family 8, 0x8F0F
  Bytes bin8Block;       // the 128-byte network block the follow-ups carry back
  Bytes t9Search;        // family 9, 0x0801
  Bytes dvsSearch;       // family 4, search answer (transaction word 0, set per answer)
  std::array<std::uint8_t, 6> mac6{};
};

CameraReplies buildReplies(const CameraDef &cam);

// Family 9: the camera's settings in the layout of offsets 0..323 that the
// search reply and the address-change answer share, of the given length.
Bytes buildT9Record(const CameraDef &cam, const std::array<std::uint8_t, 6> &mac, std::uint16_t type,
                    std::size_t length);

// Requests recognised on the search ports.
enum class Request {
  None, MoISearch, CtpSearch, Bin8Search, Bin8ReadBlock, Bin8ReadDdns, Bin8Write,
  MoISet, CtpSetip, T9Search, T9Set, DvsSearch, DvsConfig
};

struct Classified {
  Request kind = Request::None;
  const char *why = "";  // reason a datagram was not recognised, for the log
};

// strict: the datagram must be exactly what the program sends; otherwise
// only the parts a camera needs to tell the request apart are checked.
// Settings commands are only told apart here; settings.h reads them.
Classified classifyMoI(ByteView d, bool strict);
Classified classifyCtp(ByteView d, bool strict);
Classified classifyBin8(ByteView d, bool strict);
Classified classifyT9(ByteView d, bool strict);
Classified classifyDvs(ByteView d, bool strict);

// Names of the security kinds in the configuration and what each family
// makes of them.
const char *securityName(WifiSecurity s);
bool parseSecurity(std::string_view text, WifiSecurity &out);
int cgiSecurityIndex(WifiSecurity s);  // 0 none, 1 WEP, 2..5 WPA/WPA2 AES/TKIP, 6 other
// Family 5: the numbers of an iwlist line, and cfgwnic's texts.
struct CtpSecurity { int security, auth, cipher; const char *authmode, *encryptype; };
CtpSecurity ctpSecurity(WifiSecurity s);

}  // namespace lansim
