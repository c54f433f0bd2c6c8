#pragma once
// The network-setting command of each UDP-searched family (2, 5, 8): pure builders (records
// in, bytes out) and senders that broadcast through the search sockets. The camera is found
// by the MAC or serial number inside the message, so it may sit in any subnet. Nothing here
// waits for an answer; the caller finds the camera again by searching.
//
// Every address text that goes out is checked first: a malformed one makes the builder return
// nothing and the sender send nothing, so a camera never gets half of a settings change.

#include "DevInfo.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

class DiscoveryEngine;

namespace NetCmd {
// Sockets (1..5 of the engine) and destination ports of the commands.
inline constexpr int kMoISocket = 2;        // family 2, to port 10000
inline constexpr int kCtpSocket = 4;        // family 5, to port 7999
inline constexpr int kBin8ApplySocket = 5;  // family 8 from the advanced window's Apply
inline constexpr int kBin8EasySocket = 1;   // family 8 from ApplyNetSettings
inline constexpr quint16 kMoIPort = 10000;
inline constexpr quint16 kCtpPort = 7999;
inline constexpr quint16 kBin8Port = 6801;

inline constexpr int kMoISize = 84;   // 23-byte header, 61-byte body
inline constexpr int kBin8Size = 264; // header, old block, new block
inline constexpr int kMoITextField = 13;  // MAC, user name and password, each
}  // namespace NetCmd

using TIp4 = std::array<quint8, 4>;

// Exactly four "."-separated decimal numbers of one to three digits, each 0..255; anything
// else (blanks, signs, empty parts, 256) is refused rather than wrapped into a byte.
std::optional<TIp4> IpToBytes(const QString& text);
// Four bytes as decimal numbers joined by ".", in byte order.
QString BytesToIp(const TIp4& bytes);

// Pairs of hexadecimal digits (either case), high digit first. Refuses an odd length or any
// other character.
std::optional<QByteArray> HexToBytes(const QString& text);
// Pairs counted from the end, joined by ":"; a leading odd character is dropped.
QString MacWithColons(const QString& mac);

// Family 2: the 84-byte "MO_I" set-network message (operation 2, body length 61) from the new
// record and the credentials. Name, Dns2 and AddrMode are not carried.
std::optional<QByteArray> BuildSetNetMoI(const TDevInfo& newRec, const QString& user,
                                         const QString& password);
// Family 5: the "CMD setip CTP/1.0" datagram; the old record gives the interface address.
// Besides malformed addresses, a line break in any value is refused: it would end the line
// and let the rest pass for further settings.
std::optional<QByteArray> BuildSetNetCtp(const TDevInfo& oldRec, const TDevInfo& newRec,
                                         const QString& password);
// Family 8: the 264-byte 0x0F02 message, the old network block followed by the new one.
std::optional<QByteArray> BuildSetNetBin8(const TDevInfo& oldRec, const TDevInfo& newRec);

// What a sender did. Only kSent means the datagram was handed to the socket.
enum class TNetSendResult { kSent, kMalformed, kSendFailed };

// Build and broadcast one command from the engine's socket socketNumber to port. The user
// name is not carried by family 5 and not used by family 8; all take it for one signature.
TNetSendResult SetNetMoI(DiscoveryEngine& engine, int socketNumber, quint16 port,
                         const TDevInfo& oldRec, const TDevInfo& newRec, const QString& user,
                         const QString& password);
TNetSendResult SetNetCtp(DiscoveryEngine& engine, int socketNumber, quint16 port,
                         const TDevInfo& oldRec, const TDevInfo& newRec, const QString& user,
                         const QString& password);
TNetSendResult SetNetBin8(DiscoveryEngine& engine, int socketNumber, quint16 port,
                          const TDevInfo& oldRec, const TDevInfo& newRec, const QString& user,
                          const QString& password);
