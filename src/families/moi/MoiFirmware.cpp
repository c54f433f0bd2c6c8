#include "MoiFirmware.h"

#include "UrlQuery.h"
#include "VendorCgi.h"

QByteArray TMoiFirmware::Signature(TFirmwareKind kind)
{
    return kind == TFirmwareKind::System ? QByteArrayLiteral("BNEG")
                                         : QByteArrayLiteral("\xBD\x9A\x0C\x44");
}

QString TMoiFirmware::UpgradeUrl(const QString& baseUrl, TFirmwareKind kind, const QString& user,
                                 const QString& password)
{
    const QString page = kind == TFirmwareKind::System ? QStringLiteral("/upgrade_firmware.cgi?user=")
                                                       : QStringLiteral("/upgrade_htmls.cgi?user=");
    return baseUrl + page + UrlQueryEncode(user.trimmed()) + QStringLiteral("&pwd=") +
           UrlQueryEncode(password.trimmed()) + QStringLiteral("&next_url=reboot.htm");
}

namespace {
// Part type "application/octet-stream", Accept "text/html, */*", no Accept-Encoding and no
// credentials: the login is in the query.
VendorCgi::TUpgradeRequest Request(const TFirmwareJob& job)
{
    VendorCgi::TUpgradeRequest r;
    r.url = TMoiFirmware::UpgradeUrl(ICameraFirmware::BaseUrl(job.ip, job.port), job.kind, job.user,
                                     job.password);
    r.partType = "application/octet-stream";
    r.accept = "text/html, */*";
    return r;
}
}  // namespace

TFirmwareCheck TMoiFirmware::CheckFile(const QString& fileName, TFirmwareKind kind) const
{
    const std::optional<QByteArray> head = FirstBytes(fileName);
    return head && *head == Signature(kind) ? TFirmwareCheck::kOk : TFirmwareCheck::kBadFile;
}

TFirmwareOutcome TMoiFirmware::Send(const TFirmwareJob& job)
{
    return VendorCgi::PostUpgrade(Request(job), job);
}
