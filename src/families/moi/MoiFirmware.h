#pragma once
// Family 2's firmware upgrade: a multipart POST to the camera's upgrade pages, whose first
// four bytes must say which kind of firmware the file is.

#include "CameraFirmware.h"

class TMoiFirmware final : public ICameraFirmware {
public:
    // "BNEG" starts system firmware, BD 9A 0C 44 the web pages.
    static QByteArray Signature(TFirmwareKind kind);
    // base + "/upgrade_firmware.cgi?user=" (system) or "/upgrade_htmls.cgi?user=" (web pages),
    // the trimmed user, "&pwd=", the trimmed password, "&next_url=reboot.htm"; the login
    // query-encoded.
    static QString UpgradeUrl(const QString& baseUrl, TFirmwareKind kind, const QString& user,
                              const QString& password);

    TFirmwareCheck CheckFile(const QString& fileName, TFirmwareKind kind) const override;
    TFirmwareOutcome Send(const TFirmwareJob& job) override;
};
