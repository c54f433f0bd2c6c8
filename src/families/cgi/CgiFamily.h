#pragma once
// Family 9 (series "T"): the HTTP-CGI cameras, searched and re-addressed by the driver's own
// UDP packets on port 8600 and configured through their CGI pages.

#include "CameraFamily.h"
#include "CgiCamera.h"
#include "CgiFirmware.h"
#include "CgiEasy.h"

class TCgiFamily final : public ICameraFamily {
public:
    TCgiFamily();
    ~TCgiFamily() override;

    qint32 Code() const override { return Cgi::kFamily; }
    const TFamilyTraits& Traits() const override { return traits_; }

    // Each pass searches on port 8600; what the receive thread finds is merged like any reply.
    void SendProbes(ISearchSink& sink, int tick, bool withLibrary) override;
    void StopSearch() override;
    TApplyResult ApplyNetwork(ISearchSink& sink, TApplyOrigin origin, const TDevInfo& oldRec,
                              const TDevInfo& newRec, const TLogin& login) override;
    TLoginResult TestCredentials(const QString& devUrl, const TLogin& login) override;
    bool CanRestart() const override { return true; }
    bool Restart(const TDevInfo& cam, const TLogin& login) override;
    ICameraFirmware* Firmware() override { return &firmware_; }

    // The driver, for the family's wireless, DDNS and upgrade pages.
    ICgiCamera& Driver() { return driver_; }
    TT924Series& Series() { return driver_; }

    ICameraWiFi* WiFi() override { return &wifi_; }
    ICameraDdns* Ddns() override { return &ddns_; }

private:
    TFamilyTraits traits_;
    TT924Series driver_;
    TCgiFirmware firmware_{driver_};
    Cgi::TCgiWiFi wifi_{driver_};
    Cgi::TCgiDdns ddns_{driver_};
};
