#pragma once
// Search probes and reply parsers of the UDP-searched families (2, 5, 8), as pure functions:
// bytes in, record or bytes out. Every datagram comes from an untrusted LAN; nothing here
// reads past the end of the bytes it is given.

#include "DevInfo.h"

#include <QByteArray>
#include <QHostAddress>

class TDeviceList;

namespace DiscoveryNet {
// Every probe and search follow-up goes to the limited broadcast address.
inline const QHostAddress kBroadcast() { return QHostAddress(QHostAddress::Broadcast); }

// Nominal local ports of the five sockets, in the order they are bound.
inline constexpr quint16 kLocalPort1 = 10001;  // SQ610, IMAGIAQUERY
inline constexpr quint16 kLocalPort2 = 10000;  // MO_I
inline constexpr quint16 kLocalPort3 = 10002;  // uicam
inline constexpr quint16 kLocalPort4 = 7999;   // CTP/1.0
inline constexpr quint16 kLocalPort5 = 6800;   // family-8 exchange
// BindUdp looks this far above the nominal port for a free one.
inline constexpr int kBindRange = 1000;

// Destination ports.
inline constexpr quint16 kImagiaPort = 10000;
inline constexpr quint16 kSq610Port = 4000;
inline constexpr quint16 kMoIPort = 10000;
inline constexpr quint16 kUicamPort = 10139;
inline constexpr quint16 kCtpPort = 7999;
inline constexpr quint16 kBin8Port = 6801;
inline constexpr quint16 kCgiSearchPort = 8600;  // family-9 driver

// Datagrams are received into a buffer of this size; longer ones are cut.
inline constexpr int kReceiveBufferSize = 1024;
}  // namespace DiscoveryNet

namespace Bin8 {
inline constexpr quint8 kMagic = 0x10;
inline constexpr int kHeaderSize = 8;
inline constexpr int kBlockSize = 128;
inline constexpr quint16 kCmdSearch = 0x0F01;
inline constexpr quint16 kCmdReadNet = 0x0F12;
inline constexpr quint16 kCmdReadDdns = 0x0F0F;
inline constexpr quint16 kCmdWriteNet = 0x0F02;
inline constexpr quint16 kReplyBit = 0x8000;
// Offsets into a 0x8F0F reply.
inline constexpr int kDdnsServerAt = 142;
inline constexpr int kDdnsUserAt = 272;
inline constexpr int kDdnsPwdAt = 336;
}  // namespace Bin8

namespace MoI {
inline constexpr int kHeaderSize = 23;
inline constexpr int kReplyBufferSize = 279;  // replies are read as if zero-padded to this
inline constexpr quint16 kOpSearch = 0;
inline constexpr quint16 kOpSearchReply = 1;
inline constexpr quint16 kOpSetNetwork = 2;
}  // namespace MoI

// The probes, byte for byte.
QByteArray ImagiaProbe();  // 13 bytes
QByteArray Sq610Probe();   // 256 bytes
QByteArray MoIProbe();     // 27 bytes
QByteArray UicamProbe();   // 11 bytes
QByteArray CtpProbe();     // 34 bytes
QByteArray Bin8Probe();    // 8 bytes
// The "IMAGIAQUERY,0" probe goes out on every third tick only.
bool ImagiaProbeDue(int tick);

// A family-8 follow-up request: the reply's header with command and length replaced, then
// a 128-byte body.
QByteArray Bin8Request(const QByteArray& replyHeader, quint16 command, const QByteArray& body);

// Family 2: a "MO_I" datagram; true for a search reply that gives a record.
bool ParseMoIReply(const QByteArray& dgram, TDevInfo& rec);
// Family 5: a "REPLY" text datagram; always gives a record.
bool ParseCtpReply(const QByteArray& dgram, TDevInfo& rec);
// Family 8: the record from a 0x8F12 reply (network block at offset 8, version text at 136).
bool ParseBin8NetReply(const QByteArray& dgram, TDevInfo& rec);
// Family 8: the MAC text and DDNS values of a 0x8F0F reply.
struct TBin8Ddns {
    QString Mac;
    QString Server;
    QString User;
    QString Pwd;
};
bool ParseBin8DdnsReply(const QByteArray& dgram, TBin8Ddns& out);

// Recognises one datagram and fills rec (which starts with Family -1). True when rec is to be
// merged. A family-8 answer that calls for the next request of the exchange puts it into
// followUp (to be broadcast to the family-8 port); list is where 0x8F0F looks up the camera
// (may be null).
bool ParseReply(const QByteArray& dgram, TDevInfo& rec, const TDeviceList* list,
                QByteArray* followUp);
