#pragma once
// Family 10 (series "O"): ONVIF cameras. Found by the WS-Discovery probe of TOnvifSearch,
// which has a socket of its own beside the engine's five; read, readdressed and restarted
// through the blocking device-service client (OnvifClient.h).

#include "CameraFamily.h"
#include "OnvifClient.h"
#include "OnvifDiscovery.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <optional>

namespace Onvif {

class TOnvifSearch;

// The settings a change asks of a camera whose interface reads as current. A search record
// carries no mask, gateway or DNS servers (the probe's answer has none); a value the editor
// leaves as the record had it, empty or the unset "0.0.0.0", keeps the camera's own: the
// mask its prefix length, the gateway and DNS servers are not sent. None when the mask is
// given but is not a mask of contiguous ones.
std::optional<TNetSettings> SettingsFor(const TDevInfo& oldRec, const TDevInfo& newRec,
                                        const TDevice& current);

// The list keys of the cameras a search has seen. A camera is keyed by its hardware address
// from the PC's neighbour table, which may hold none yet at its first answers (then the
// endpoint address is the key) and holds one address for several cameras behind one link
// (a recorder that answers for its channels): each endpoint keeps the key it was first
// given, and a hardware address that keys another endpoint is not taken again.
class TOnvifKeys {
public:
    static constexpr int kMaxKept = 4096;  // endpoints beyond this are keyed afresh each time

    // The key of endpoint; neighbourMac is the table's address, empty when it has none.
    QString KeyFor(const QString& endpoint, const QString& neighbourMac);

private:
    QHash<QString, QString> byEndpoint_;
    QSet<QString> taken_;  // hardware addresses that key an endpoint
};

// A client's result as the families report a settings change.
TApplyResult ApplyResultOf(const TResult& r);
TLoginResult LoginResultOf(const TResult& r);

}  // namespace Onvif

class TOnvifFamily final : public ICameraFamily {
public:
    TOnvifFamily();
    ~TOnvifFamily() override;
    qint32 Code() const override { return Onvif::kFamilyOnvif; }
    const TFamilyTraits& Traits() const override { return traits_; }

    // The search socket is made on the engine's thread at the first pass, as a child of the
    // engine: it goes with the engine, and its records never reach one that is gone.
    void SendProbes(ISearchSink& sink, int tick, bool withLibrary) override;
    void StopSearch() override;

    TNetCheck CheckNetwork(const TDevInfo& oldRec, const TDevInfo& newRec,
                           const TLogin& login) const override;
    TApplyResult ApplyNetwork(ISearchSink& sink, TApplyOrigin origin, const TDevInfo& oldRec,
                              const TDevInfo& newRec, const TLogin& login) override;
    TLoginResult TestCredentials(const QString& devUrl, const TLogin& login) override;
    bool CanRestart() const override { return true; }
    bool Restart(const TDevInfo& cam, const TLogin& login) override;

private:
    TFamilyTraits traits_;
    QPointer<Onvif::TOnvifSearch> search_;
    Onvif::TOnvifKeys keys_;  // the engine's thread only
};
