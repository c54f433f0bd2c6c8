#include "DdnsCheckService.h"

#include "Tools.h"
#include "UrlQuery.h"

#include <utility>

namespace ddns {

namespace {

const QString kNoId = QStringLiteral("IDS_SERVER_NOID");
const QString kOffline = QStringLiteral("IDS_SERVER_OFFLINE");
const QString kAuthNoId = QStringLiteral("ERRIDS_SERVER_NOID");
const QString kAuthNoAuth = QStringLiteral("ERRIDS_SERVER_NOAUTH");

bool IsLabelChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'_';
}

bool DefaultFetch(const QString& url, int timeoutMs, QString& body)
{
    return TTools::HttpGetText(url, QString(), QString(), timeoutMs, body);
}

QString Base(const QString& host)
{
    return QStringLiteral("http://") + host + u':' + QString::number(kServicePort);
}

}  // namespace

bool IsUsableHost(const QString& host)
{
    if (host.isEmpty() || host.size() > kMaxHostLength)
        return false;
    qsizetype labelStart = 0;
    for (qsizetype i = 0; i <= host.size(); ++i) {
        if (i == host.size() || host[i] == u'.') {
            // Empty labels ("a..b", ".a", "a.") would make a different or no name.
            if (i == labelStart)
                return false;
            labelStart = i + 1;
        } else if (!IsLabelChar(host[i])) {
            return false;
        }
    }
    // A leading "-" reads as an option to some resolvers and is no valid name.
    return host[0] != u'-';
}

bool IsPublicAddress(const QString& address)
{
    const qsizetype colon = address.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    if (!IsUsableHost(address.left(colon)))
        return false;
    const QString port = address.mid(colon + 1);
    if (port.isEmpty() || port.size() > 5)
        return false;
    int value = 0;
    for (QChar c : port) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value >= 1 && value <= 65535;
}

QString ShownAnswer(const QString& text)
{
    QString out;
    const qsizetype n = qMin<qsizetype>(text.size(), kMaxShownAnswer);
    out.reserve(n + 8);
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c.isPrint() && !c.isSurrogate())
            out += c;
        else if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            // A whole character beyond the BMP stays readable.
            out += c;
            out += text[++i];
        } else
            out += QStringLiteral("\\x{%1}").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    if (text.size() > kMaxShownAnswer)
        out += QStringLiteral("...");
    return out;
}

TRemoteAnswer ClassifyRemote(const QString& body)
{
    TRemoteAnswer a;
    if (body.startsWith(u'1')) {
        a.Kind = TRemoteKind::Online;
        const QString address = body.mid(1);
        if (IsPublicAddress(address))
            a.PublicAddress = address;
        return a;
    }
    if (body.startsWith(u'0')) {
        const QString code = body.mid(1);
        if (code == kNoId) {
            a.Kind = TRemoteKind::NoId;
        } else if (code == kOffline) {
            a.Kind = TRemoteKind::Offline;
        } else {
            a.Kind = TRemoteKind::Unrecognised;
            a.Text = ShownAnswer(code);
        }
        return a;
    }
    a.Kind = TRemoteKind::Unrecognised;
    a.Text = ShownAnswer(body);
    return a;
}

TAuthAnswer ClassifyAuth(const QString& body)
{
    TAuthAnswer a;
    if (body.startsWith(u'1')) {
        a.Kind = TAuthKind::LoggedOut;
    } else if (body.startsWith(u'0') && body.mid(1) == kAuthNoId) {
        a.Kind = TAuthKind::NoId;
    } else if (body.startsWith(u'0') && body.mid(1) == kAuthNoAuth) {
        a.Kind = TAuthKind::WrongPassword;
    } else {
        a.Kind = TAuthKind::Unrecognised;
        a.Text = ShownAnswer(body.mid(1));
    }
    return a;
}

TUrlKind ClassifyUrl(const QString& body)
{
    return body.startsWith(u'1') ? TUrlKind::Reached : TUrlKind::NotReached;
}

const char* ReportKeyOf(TRemoteKind kind)
{
    switch (kind) {
    case TRemoteKind::Online: return kKeyCheckNorm;
    case TRemoteKind::NoId: return kKeyNoId;
    case TRemoteKind::Offline: return nullptr;
    case TRemoteKind::Unrecognised: return kKeyUnknown;
    case TRemoteKind::NoReply: return kKeyCannotConnect;
    }
    return kKeyUnknown;
}

const char* ReportKeyOf(TAuthKind kind)
{
    switch (kind) {
    case TAuthKind::LoggedOut: return kKeyNoReg;
    case TAuthKind::NoId: return kKeyNoId;
    case TAuthKind::WrongPassword: return kKeyErrPwd;
    case TAuthKind::Unrecognised: return kKeyUnknown;
    case TAuthKind::NoReply: return kKeyCannotConnect;
    }
    return kKeyUnknown;
}

QString ServiceHostOf(const QString& ddnsServer)
{
    const qsizetype colon = ddnsServer.lastIndexOf(u':');
    if (colon < 0)
        return ddnsServer;
    const QString port = ddnsServer.mid(colon + 1);
    if (port.isEmpty() || port.size() > 5)
        return ddnsServer;
    for (QChar c : port) {
        if (c < u'0' || c > u'9')
            return ddnsServer;
    }
    return ddnsServer.left(colon);
}

TDdnsCheckService::TDdnsCheckService(QString host, Fetch fetch, int timeoutMs)
    : host_(ServiceHostOf(host)), fetch_(fetch ? std::move(fetch) : Fetch(DefaultFetch)),
      timeoutMs_(timeoutMs)
{
}

QString TDdnsCheckService::GetRemoteUrl(const QString& account) const
{
    if (!HostUsable())
        return QString();
    return Base(host_) + QStringLiteral("/func/getremote.asp?id=") + UrlQueryEncode(account);
}

QString TDdnsCheckService::CheckAuthUrl(const QString& account, const QString& password) const
{
    if (!HostUsable())
        return QString();
    return Base(host_) + QStringLiteral("/api/checkauth.asp?id=") + UrlQueryEncode(account) +
           QStringLiteral("&pwd=") + UrlQueryEncode(password);
}

QString TDdnsCheckService::CheckUrlUrl(const QString& publicAddress) const
{
    if (!HostUsable() || !IsPublicAddress(publicAddress))
        return QString();
    return Base(host_) + QStringLiteral("/api/checkurl.asp?url=http://") + publicAddress +
           QStringLiteral("/oem.txt");
}

bool TDdnsCheckService::Get(const QString& url, QString& body) const
{
    body.clear();
    if (url.isEmpty())
        return false;
    return fetch_(url, timeoutMs_, body);
}

TRemoteAnswer TDdnsCheckService::GetRemote(const QString& account) const
{
    QString body;
    if (!Get(GetRemoteUrl(account), body))
        return TRemoteAnswer{};
    return ClassifyRemote(body);
}

TAuthAnswer TDdnsCheckService::CheckAuth(const QString& account, const QString& password) const
{
    QString body;
    if (!Get(CheckAuthUrl(account, password), body))
        return TAuthAnswer{};
    return ClassifyAuth(body);
}

TUrlKind TDdnsCheckService::CheckUrl(const QString& publicAddress) const
{
    if (!IsPublicAddress(publicAddress))
        return TUrlKind::NotReached;
    QString body;
    if (!Get(CheckUrlUrl(publicAddress), body))
        return TUrlKind::NoReply;
    return ClassifyUrl(body);
}

QString OuterCheckHost(const QString& outerUrl)
{
    const qsizetype dot = outerUrl.indexOf(u'.');
    if (dot < 0)
        return QString();
    return QStringLiteral("user") + outerUrl.mid(dot);
}

TOuterCheck CheckOuterAddress(const TDdnsCheckService& service, const QString& account,
                              const QString& password)
{
    const TRemoteAnswer remote = service.GetRemote(account);
    if (remote.Kind != TRemoteKind::Offline)
        return {QString::fromLatin1(ReportKeyOf(remote.Kind)), remote.Text};
    const TAuthAnswer auth = service.CheckAuth(account, password);
    return {QString::fromLatin1(ReportKeyOf(auth.Kind)), auth.Text};
}

TOuterCheck CheckOuterUrl(const QString& outerUrl, const QString& account,
                          const QString& password, TDdnsCheckService::Fetch fetch, int timeoutMs)
{
    const QString host = OuterCheckHost(outerUrl);
    if (host.isEmpty())
        return {};
    return CheckOuterAddress(TDdnsCheckService(host, std::move(fetch), timeoutMs), account,
                             password);
}

}  // namespace ddns
