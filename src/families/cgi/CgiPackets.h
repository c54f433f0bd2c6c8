#pragma once
// The HTTP-CGI camera family (family 9) as pure functions: its UDP packets on port 8600, the
// addresses of its CGI pages and the parsing of their script-text answers. Bytes and texts in,
// records or bytes out; every datagram and answer is untrusted, nothing here reads past the
// end of what it is given.

#include "DevInfo.h"

#include <QByteArray>
#include <QString>
#include <vector>

// One wireless network from a scan. Attached to the list item that shows it.
struct TWiFiRecord {
    QString ssid;
    qint32 mode = 0;
    qint32 security = 0;
    QString dbm0;
    QString dbm1;
    QString mac;
    QByteArray ssidRaw = {};  // as received (byte form of ParseScanResult): what a choice sends back

    // Equal when every value is, and ssid would go to the camera as the same bytes.
    bool operator==(const TWiFiRecord& o) const;
};

// The camera's wireless settings, each value named after the answer variable it comes from.
struct TCgiWiFiParams {
    qint32 enable = 0;
    QString ssid;
    qint32 mode = 0;
    qint32 encrypt = 0;
    qint32 authtype = 0;
    qint32 defkey = 0;
    qint32 keyformat = 0;
    QString key1;
    QString key2;
    QString key3;
    QString key4;
    qint32 key1_bits = 0;
    qint32 key2_bits = 0;
    qint32 key3_bits = 0;
    qint32 key4_bits = 0;
    QString wpa_psk;
    // ssid as the camera sent it; SetWiFiUrl sends these bytes while ssid reads the same.
    QByteArray ssidRaw = {};

    // Equal when every value is, and ssid would go to the camera as the same bytes.
    bool operator==(const TCgiWiFiParams& o) const;
};

// The camera's DDNS ("factory") parameters and how complete they are.
struct TCgiFactoryParams {
    QString index;
    QString server;
    QString port;
    QString user;
    QString passwd;
    qint32 status = 0;

    bool operator==(const TCgiFactoryParams&) const = default;
};

namespace Cgi {

// status of TCgiFactoryParams.
enum TFactoryStatus : qint32 {
    kFactoryComplete = 0,
    kFactoryNoIndex = 1,
    kFactoryWrongIndex = 2,   // index is not "10"
    kFactoryNoServer = 3,     // server or port missing, or port "0"
    kFactoryNoUser = 4,
    kFactoryNoVar = 5,        // answer without "var": wrong password
    kFactoryUnreachable = 6,  // the request failed
};

inline constexpr qint32 kFamily = 9;
inline constexpr quint16 kMagic = 0x4844;  // the bytes "D", "H"
inline constexpr quint16 kTypeSearch = 0x0101;
inline constexpr quint16 kTypeSearchReply = 0x0801;
inline constexpr quint16 kTypeSetNetwork = 0x0102;
inline constexpr quint16 kTypeSetNetworkAnswer = 0x0802;
inline constexpr quint32 kAccepted = 0x8000;

inline constexpr quint16 kPort = 8600;          // camera side of every packet
inline constexpr quint16 kSearchLocalPort = 3565;  // where search replies come back

inline constexpr int kProbeSize = 4;
inline constexpr int kReplyBufferSize = 1024;
inline constexpr int kSetNetworkSize = 324;
inline constexpr int kAnswerSize = 328;

// Offsets shared by the search reply and the address change.
inline constexpr int kIpAt = 4;
inline constexpr int kMaskAt = 20;
inline constexpr int kGatewayAt = 36;
inline constexpr int kDns1At = 52;
inline constexpr int kDns2At = 68;
inline constexpr int kAddrSize = 16;
inline constexpr int kMacAt = 84;
inline constexpr int kHttpPortAt = 90;
inline constexpr int kIdAt = 92;
inline constexpr int kIdSize = 32;
inline constexpr int kNameAt = 124;
inline constexpr int kNameSize = 80;
inline constexpr int kVersionAt = 204;
inline constexpr int kVersionSize = 16;
inline constexpr int kUserAt = 236;
inline constexpr int kPasswordAt = 268;
inline constexpr int kLoginSize = 32;
inline constexpr int kDhcpAt = 301;
inline constexpr int kResultAt = 324;
inline constexpr int kDdnsServerAt = 324;
inline constexpr int kDdnsHostAt = 388;
inline constexpr int kDdnsLongSize = 64;
inline constexpr int kDdnsUserAt = 452;
inline constexpr int kDdnsPwdAt = 484;
inline constexpr int kDdnsShortSize = 32;

inline constexpr qint32 kDdnsServicePort = 808;

// Firmware older than this (plain character comparison) takes uploads on its web port;
// newer firmware on port 8600.
inline constexpr const char* kUploadVersionSplit = "48.2.0.121";
inline constexpr quint16 kUploadPortNew = 8600;
inline constexpr const char* kSystemFirmwarePath = "/upgrade_firmware.cgi?loginuse=";
inline constexpr const char* kWebPagesPath = "/upgrade_htmls.cgi?loginuse=";

// A scan answer may claim any number of networks; no camera sees more than this.
inline constexpr int kMaxNetworks = 1000;

// The 4-byte search probe.
QByteArray SearchProbe();
// A search reply (magic, type 0x0801) into a fresh record; false for any other datagram.
// A short datagram leaves the fields it does not reach empty.
bool ParseSearchReply(const QByteArray& dgram, TDevInfo& rec);
// The 324-byte address change for the new settings and the caller's credentials. Texts too
// long for their field are cut (a zero always ends them). Empty when the record's MacHex is
// not twelve hexadecimal digits: such a packet would address no camera.
QByteArray AddressChange(const TDevInfo& next, const QString& user, const QString& password);

enum class TAnswer { NotAnswer, Accepted, Refused };
// An answer to the address change (magic, type 0x0802): accepted when its result is 0x8000.
TAnswer ParseAddressChangeAnswer(const QByteArray& dgram);

// The value of "name=value;" in a script answer: the text between the name plus one
// character and the first ";" at or after the name, with every quote removed; empty when the
// name or the ";" is missing.
QString CgiValue(const QString& reply, const QString& name);

// "http://" + IP, plus ":" + port unless it is 80.
QString BaseUrl(const TDevInfo& rec);

// Request addresses. Credentials and texts are percent-encoded where they would change the
// query's structure; user and password are trimmed where the camera expects them trimmed.
QString CheckLoginUrl(const QString& baseUrl, const QString& user, const QString& password);
// The scan pages hang off "Http://" + IP + ":" + port + "/", the port always written.
QString ScanBase(const TDevInfo& rec);
QString ScanUrl(const QString& scanBase, const QString& user, const QString& password);
QString ScanResultUrl(const QString& scanBase, const QString& user, const QString& password);
QString GetParamsUrl(const QString& baseUrl, const QString& user, const QString& password);
QString SetWiFiUrl(const QString& baseUrl, const QString& user, const QString& password,
                   const TCgiWiFiParams& p);
QString RebootUrl(const QString& baseUrl);
QString FactoryUrl(const QString& baseUrl, const QString& user, const QString& password);
QString SetDdnsUrl(const QString& baseUrl, const TCgiFactoryParams& p, const QString& loginUser,
                   const QString& loginPassword);
QString StatusUrl(const QString& baseUrl, const QString& user, const QString& password);

// The networks of a scan result: count records, filled from the lines that name them. The
// count is what the answer claims (0 when it is not a number), capped at kMaxNetworks.
std::vector<TWiFiRecord> ParseScanResult(const QString& reply);
// The same from the answer's bytes, keeping each network name's bytes (ssidRaw).
std::vector<TWiFiRecord> ParseScanResult(const QByteArray& reply);
// The list text of one network: ssid + "(" + dbm0 + ")".
QString ScanItemText(const TWiFiRecord& r);

// The 16 wireless values of a get_params answer. The text form keeps ssid as UTF-8 in ssidRaw;
// the byte form keeps the bytes the camera sent.
void ParseWiFiParams(const QString& reply, TCgiWiFiParams& p);
void ParseWiFiParams(const QByteArray& reply, TCgiWiFiParams& p);
// Fills p from a get_factory_param answer (requestOk false: the request failed). Values that
// are not read keep what they held.
void ReadFactoryAnswer(bool requestOk, const QString& reply, TCgiFactoryParams& p);

// The firmware version in a get_status answer: what follows sys_ver=" up to the next quote.
QString StatusVersion(const QString& reply);
// The host of a base URL: without everything up to "//" and from the next ":" on.
QString HostOfBaseUrl(const QString& baseUrl);
// Where a firmware upload goes: the base URL for firmware older than kUploadVersionSplit,
// else "http://" + host + ":8600"; then the path, the user, "&loginpas=", the password.
QString UploadUrl(const QString& version, const QString& baseUrl, const QString& host,
                  const char* path, const QString& user, const QString& password);

}  // namespace Cgi
