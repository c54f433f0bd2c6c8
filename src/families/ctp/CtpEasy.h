#pragma once
// Family 5 in easy mode, over pooled CTP/1.0 sessions: the wireless LAN of step 5 and the DDNS
// state of step 6.

#include "CameraCapabilities.h"

#include <QHash>
#include <memory>
#include <mutex>

class TCTPSocket;

namespace CtpFamily {

// cfgwnic's words for the security of a network the user took (TWiFi2 values), or the camera's
// own words when none was taken.
void SecurityWords(const TWiFiNetwork* network, const TWiFiSettings& asRead, QString& authmode, QString& encryptype);

class TCtpWiFi final : public ICameraWiFi {
public:
    TCtpWiFi();
    const TWiFiPageRules& Rules() const override { return rules_; }
    TWiFiScan Scan(const TDevInfo& cam, const TLogin& login) override;
    TWiFiRead Read(const TDevInfo& cam, const TLogin& login) override;
    TWiFiApply Apply(const TDevInfo& cam, const TLogin& login, const TWiFiSettings& settings,
                     const TWiFiNetwork* network) override;
    // Releases the session Apply used, after the restart wait.
    void EndApply(const TDevInfo& cam) override;

private:
    TWiFiPageRules rules_;
    std::mutex mutex_;
    QHash<QString, std::shared_ptr<TCTPSocket>> held_;  // by session key
};

class TCtpDdns final : public ICameraDdns {
public:
    bool AsksCameraForRegistration() const override { return true; }
    TDdnsRegistration Registration(const TDevInfo& cam, const TCancelToken& cancel) override;
};

}  // namespace CtpFamily
