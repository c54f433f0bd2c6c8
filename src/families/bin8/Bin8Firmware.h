#pragma once
// Family 8's firmware upgrade: a multipart POST to the camera's upgrade pages under /cgi-bin,
// the login as Basic credentials. The camera judges the file; any file of four bytes is sent.

#include "CameraFirmware.h"

class TBin8Firmware final : public ICameraFirmware {
public:
    // base + "/cgi-bin/upgrade_firmware.cgi?next_url=reboot.htm" (system) or
    // "/cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm" (web pages).
    static QString UpgradeUrl(const QString& baseUrl, TFirmwareKind kind);

    TFirmwareCheck CheckFile(const QString& fileName, TFirmwareKind kind) const override;
    TFirmwareOutcome Send(const TFirmwareJob& job) override;
};
