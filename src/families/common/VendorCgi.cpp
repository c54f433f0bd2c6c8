#include "VendorCgi.h"

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

}  // namespace VendorCgi
