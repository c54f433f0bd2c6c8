#pragma once
// Family 8 (series "H"): the three-step binary exchange on port 6801. A search answer is
// followed by a request for the camera's network block and one for its DDNS values, each
// triggered by the reply before it; the settings command sends the camera's own block back
// with the new one. Configured through the CGI pages its web server shares with family 2.

#include "CameraFamily.h"
#include "Bin8Firmware.h"
#include "VendorEasy.h"

#include <optional>

namespace Bin8 {
inline constexpr qint32 kFamily = 8;
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
inline constexpr int kSetNetworkSize = 264;  // header, old block, new block

// The search and its follow-ups leave from engine socket 5; the settings command from socket
// 5 (advanced window) or socket 1 (easy mode). All go to port 6801.
inline constexpr int kSearchSocket = 5;
inline constexpr int kAdvancedSocket = 5;
inline constexpr int kEasySocket = 1;
inline constexpr quint16 kPort = 6801;

// The 8-byte search probe.
QByteArray SearchProbe();
// A follow-up request: the reply's header with command and length replaced, then the body.
QByteArray Request(const QByteArray& replyHeader, quint16 command, const QByteArray& body);
// The record from a 0x8F12 reply (network block at offset 8, version text at 136).
bool ParseNetReply(const QByteArray& dgram, TDevInfo& rec);
// The MAC text and DDNS values of a 0x8F0F reply.
struct TDdnsReply {
    QString Mac;
    QString Server;
    QString User;
    QString Pwd;
};
bool ParseDdnsReply(const QByteArray& dgram, TDdnsReply& out);
// The 264-byte 0x0F02 message, the old network block followed by the new one.
std::optional<QByteArray> BuildSetNetwork(const TDevInfo& oldRec, const TDevInfo& newRec);

// One datagram of the exchange: true when rec is to be merged; followUp receives the next
// request to broadcast, when the reply calls for one. list is where a 0x8F0F reply finds its
// camera (may be null). False for datagrams of the exchange that give no record and for
// datagrams that are not the family's.
bool ParseExchange(const QByteArray& dgram, TDevInfo& rec, const class TDeviceList* list,
                   QByteArray* followUp);
// Whether a datagram belongs to the exchange at all (its first two bytes).
bool IsExchange(const QByteArray& dgram);
}  // namespace Bin8

class TBin8Family final : public ICameraFamily {
public:
    TBin8Family();
    qint32 Code() const override { return Bin8::kFamily; }
    const TFamilyTraits& Traits() const override { return traits_; }

    void SendProbes(ISearchSink& sink, int tick, bool withLibrary) override;
    TReplyMatch ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink& sink) override;
    TApplyResult ApplyNetwork(ISearchSink& sink, TApplyOrigin origin, const TDevInfo& oldRec,
                              const TDevInfo& newRec, const TLogin& login) override;
    TLoginResult TestCredentials(const QString& devUrl, const TLogin& login) override;
    bool CanRestart() const override { return true; }
    bool Restart(const TDevInfo& cam, const TLogin& login) override;
    ICameraFirmware* Firmware() override { return &firmware_; }

    // Its web server needs a moment after the address change before it answers.
    bool ChecksReachability() const override { return true; }
    bool CheckReachable(const TDevInfo& cam, const TCancelToken& cancel) override;

    // Its pages live under /cgi-bin/; its DDNS settings are not changed from easy mode.
    ICameraWiFi* WiFi() override { return &wifi_; }

private:
    TFamilyTraits traits_;
    TBin8Firmware firmware_;
    VendorCgi::TVendorWiFi wifi_{VendorCgi::TVendorPages{true, false, true}};
};
