#include "Bin8Firmware.h"

#include "VendorCgi.h"

QString TBin8Firmware::UpgradeUrl(const QString& baseUrl, TFirmwareKind kind)
{
    return baseUrl + (kind == TFirmwareKind::System
                          ? QStringLiteral("/cgi-bin/upgrade_firmware.cgi?next_url=reboot.htm")
                          : QStringLiteral("/cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm"));
}

namespace {
// Part type "application/x-zip-compressed", the browsers' Accept list, Accept-Encoding
// "gzip,deflate", the trimmed user and password as Basic credentials.
VendorCgi::TUpgradeRequest Request(const TFirmwareJob& job)
{
    VendorCgi::TUpgradeRequest r;
    r.url = TBin8Firmware::UpgradeUrl(ICameraFirmware::BaseUrl(job.ip, job.port), job.kind);
    r.partType = "application/x-zip-compressed";
    r.accept = VendorCgi::kBrowserAccept;
    r.acceptEncoding = "gzip,deflate";
    r.user = job.user.trimmed();
    r.password = job.password.trimmed();
    return r;
}
}  // namespace

TFirmwareCheck TBin8Firmware::CheckFile(const QString& fileName, TFirmwareKind) const
{
    // Read, not judged: the camera decides what it takes.
    return FirstBytes(fileName) ? TFirmwareCheck::kOk : TFirmwareCheck::kBadFile;
}

TFirmwareOutcome TBin8Firmware::Send(const TFirmwareJob& job)
{
    return VendorCgi::PostUpgrade(Request(job), job);
}
