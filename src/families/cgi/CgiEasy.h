#pragma once
// Family 9 in easy mode, through its driver: the wireless LAN of step 5 and the DDNS
// parameters of step 6.

#include "CameraCapabilities.h"

class ICgiCamera;

namespace Cgi {

class TCgiWiFi final : public ICameraWiFi {
public:
    explicit TCgiWiFi(ICgiCamera& driver);
    const TWiFiPageRules& Rules() const override { return rules_; }
    TWiFiScan Scan(const TDevInfo& cam, const TLogin& login) override;
    TWiFiRead Read(const TDevInfo& cam, const TLogin& login) override;
    // Sends the settings as the driver read them, with the switch, SSID, pass phrase, network
    // type and security of the page.
    TWiFiApply Apply(const TDevInfo& cam, const TLogin& login, const TWiFiSettings& settings,
                     const TWiFiNetwork* network) override;

private:
    ICgiCamera& driver_;
    TWiFiPageRules rules_;
};

class TCgiDdns final : public ICameraDdns {
public:
    explicit TCgiDdns(ICgiCamera& driver) : driver_(driver) {}
    bool ChecksSettings() const override { return true; }
    // The factory parameters, always read anew. The check service is then asked with the
    // record's own DDNS values.
    TDdnsConfigCheck CheckSettings(const TDevInfo& cam, const TLogin& login, const TCancelToken& cancel) override;

private:
    ICgiCamera& driver_;
};

}  // namespace Cgi
