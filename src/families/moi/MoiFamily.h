#pragma once
// Family 2 (series "F"): the binary "MO_I" datagrams. Found by a search probe on port 10000,
// re-addressed by a set-network message that names the camera by its MAC text; configured
// through the CGI pages its web server shares with family 8.

#include "CameraFamily.h"
#include "MoiFirmware.h"
#include "VendorEasy.h"

#include <optional>

namespace MoI {
inline constexpr qint32 kFamily = 2;
inline constexpr int kHeaderSize = 23;
inline constexpr int kReplyBufferSize = 279;  // replies are read as if zero-padded to this
// Reply bodies: the core layout of 64 bytes (65 reads the same), the one with the DHCP flag
// and the DDNS texts. Other lengths from 64 up are read by the core layout and the flag.
inline constexpr quint32 kCoreBody = 64;
inline constexpr quint32 kDdnsBody = 195;
inline constexpr quint16 kOpSearch = 0;
inline constexpr quint16 kOpSearchReply = 1;
inline constexpr quint16 kOpSetNetwork = 2;
inline constexpr int kSetNetworkSize = 84;  // 23-byte header, 61-byte body
inline constexpr int kTextField = 13;       // MAC, user name and password, each

// Probe and settings command leave from engine socket 2, to port 10000.
inline constexpr int kSocket = 2;
inline constexpr quint16 kPort = 10000;

// The 27-byte search probe.
QByteArray SearchProbe();
// A "MO_I" datagram; true for a search reply (operation 1, body length at least 64) that
// gives a record.
bool ParseSearchReply(const QByteArray& dgram, TDevInfo& rec);
// The 84-byte set-network message (operation 2, body length 61) from the new record and the
// credentials. Name, Dns2 and AddrMode are not carried.
std::optional<QByteArray> BuildSetNetwork(const TDevInfo& newRec, const QString& user,
                                          const QString& password);
}  // namespace MoI

class TMoiFamily final : public ICameraFamily {
public:
    TMoiFamily();
    qint32 Code() const override { return MoI::kFamily; }
    const TFamilyTraits& Traits() const override { return traits_; }

    void SendProbes(ISearchSink& sink, int tick, bool withLibrary) override;
    TReplyMatch ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink& sink) override;
    TApplyResult ApplyNetwork(ISearchSink& sink, TApplyOrigin origin, const TDevInfo& oldRec,
                              const TDevInfo& newRec, const TLogin& login) override;
    TLoginResult TestCredentials(const QString& devUrl, const TLogin& login) override;
    bool CanRestart() const override { return true; }
    bool Restart(const TDevInfo& cam, const TLogin& login) override;
    ICameraFirmware* Firmware() override { return &firmware_; }

    ICameraWiFi* WiFi() override { return &wifi_; }
    ICameraDdns* Ddns() override { return &ddns_; }

private:
    TFamilyTraits traits_;
    TMoiFirmware firmware_;
    // Scans are asked for twice before their result is fetched.
    VendorCgi::TVendorWiFi wifi_{VendorCgi::TVendorPages{false, true, false}};
    VendorCgi::TVendorDdns ddns_;
};
