#include "VendorCgi.h"

#include "HttpUpload.h"
#include "Tools.h"
#include "UrlQuery.h"

namespace VendorCgi {

QString DevUrlOf(const TDevInfo& rec)
{
    return QStringLiteral("http://") + rec.IP + u':' + QString::number(rec.HttpPort);
}

TLoginResult TestParamsLogin(const QString& devUrl, const TLogin& login)
{
    const QString user = login.user.trimmed(), password = login.password.trimmed();
    const QString url = devUrl + QStringLiteral("/get_params.cgi?user=") + UrlQueryEncode(user) +
                        QStringLiteral("&pwd=") + UrlQueryEncode(password);
    QString reply;
    return TTools::HttpGetText(url, user, password, kLoginTimeoutMs, reply) &&
                   reply.contains(QLatin1String("var"))
               ? TLoginResult::kAccepted
               : TLoginResult::kRefused;
}

bool RequestRestart(const TDevInfo& cam, const QString& path, const TLogin& login)
{
    QString reply;
    return TTools::HttpGetText(InnerUrl(cam) + path, login.user, login.password, kRestartTimeoutMs,
                               reply);
}

TFirmwareOutcome PostUpgrade(const TUpgradeRequest& request, const TFirmwareJob& job)
{
    TFirmwarePost post;
    post.url = request.url;
    post.filePath = job.fileName;
    post.partType = request.partType;
    post.accept = request.accept;
    post.acceptEncoding = request.acceptEncoding;
    post.user = request.user;
    post.password = request.password;
    post.timeoutMs = kUpgradeTimeoutMs;
    post.abort = job.abort;
    if (job.progress) {
        post.progress = [&job](qint64 sent, qint64 total) {
            // Before the body size is known libcurl is still connecting.
            if (total > 0)
                job.progress({TFirmwareProgress::TStage::Sending, sent, total, -1});
        };
    }
    return {PostFirmware(post) ? TFirmwareResult::kDone : TFirmwareResult::kFailed, false, QString()};
}

}  // namespace VendorCgi
