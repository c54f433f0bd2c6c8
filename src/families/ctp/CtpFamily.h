#pragma once
// Family 5 (series "E"): the CTP/1.0 text protocol. Found by the "SEARCH * CTP/1.0" broadcast
// on port 7999 and re-addressed by the "CMD setip" broadcast that names the camera by its
// serial number and old address; everything else runs over CTP/1.0 TCP sessions on the
// camera's device port (src/ctp).

#include "CameraFamily.h"
#include "CtpFirmware.h"
#include "CtpEasy.h"

#include <optional>

namespace CtpFamily {
inline constexpr qint32 kFamily = 5;
inline constexpr const char* kFactoryPassword = "qelvo";
// The search and the address change leave from engine socket 4, to port 7999.
inline constexpr int kSocket = 4;
inline constexpr quint16 kPort = 7999;

// A "REPLY" text datagram; always gives a record. A key matches a line that begins with it
// and a separator (not with a longer key: "-ddns" is not "-ddnsuser").
bool ParseSearchReply(const QByteArray& dgram, TDevInfo& rec);
// The "CMD setip CTP/1.0" datagram; the old record gives the interface address. Values go
// as they are, empty ones too; only a line break in any of them is refused: it would end the
// line and let the rest pass for further settings. An unchanged name goes back as received.
std::optional<QByteArray> BuildSetNetwork(const TDevInfo& oldRec, const TDevInfo& newRec,
                                          const QString& password);
// host and port of a login address "http://" + host + ":" + port; none when the port part is
// not a number.
std::optional<std::pair<QString, int>> SessionAddress(const QString& devUrl);
}  // namespace CtpFamily

class TCtpFamily final : public ICameraFamily {
public:
    TCtpFamily();
    qint32 Code() const override { return CtpFamily::kFamily; }
    const TFamilyTraits& Traits() const override { return traits_; }

    void SendProbes(ISearchSink& sink, int tick, bool withLibrary) override;
    TReplyMatch ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink& sink) override;
    TNetCheck CheckNetwork(const TDevInfo& oldRec, const TDevInfo& newRec,
                           const TLogin& login) const override;
    TApplyResult ApplyNetwork(ISearchSink& sink, TApplyOrigin origin, const TDevInfo& oldRec,
                              const TDevInfo& newRec, const TLogin& login) override;
    TLoginResult TestCredentials(const QString& devUrl, const TLogin& login) override;
    bool CanRestart() const override { return true; }
    bool Restart(const TDevInfo& cam, const TLogin& login) override;
    ICameraFirmware* Firmware() override { return &firmware_; }
    TCtpFirmware& PackageUpload() { return firmware_; }

    // Easy mode (CtpEasy.cpp).
    bool ChecksReachability() const override { return true; }
    bool CheckReachable(const TDevInfo& cam, const TCancelToken& cancel) override;
    ICameraWiFi* WiFi() override { return &wifi_; }
    ICameraDdns* Ddns() override { return &ddns_; }

private:
    TFamilyTraits traits_;
    TCtpFirmware firmware_;
    CtpFamily::TCtpWiFi wifi_;
    CtpFamily::TCtpDdns ddns_;
};
