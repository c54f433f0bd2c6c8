#pragma once
// Family 9's firmware upgrade through the driver's UpgradeSystem and UpgradeWeb: any file of
// four bytes is sent; the camera's version chooses the port it goes to.

#include "CameraFirmware.h"

class ICgiCamera;

class TCgiFirmware final : public ICameraFirmware {
public:
    // driver must outlive this object.
    explicit TCgiFirmware(ICgiCamera& driver) : driver_(driver) {}

    TFirmwareCheck CheckFile(const QString& fileName, TFirmwareKind kind) const override;
    // The job's camera record, when given, is the driver's current camera; the user and
    // password go to the driver as entered.
    TFirmwareOutcome Send(const TFirmwareJob& job) override;

private:
    ICgiCamera& driver_;
};
