#include "VendorEasy.h"

#include "Tools.h"
#include "UrlQuery.h"

namespace VendorCgi {

namespace {

QString Q(const QString& v) { return UrlQueryEncode(v); }

// Every request of the wireless page carries the login as Basic credentials as well.
bool Get(const QString& url, const TLogin& login, QString& reply) {
    return TTools::HttpGetText(url, login.user, login.password, kWiFiTimeoutMs, reply);
}

qint32 ToInt(const QString& v) {
    bool ok = false;
    const qint32 n = v.trimmed().toInt(&ok, 10);
    return ok ? n : 0;
}

}  // namespace

QString ScriptValue(const QString& reply, const QString& name, bool bothQuotes) {
    const qsizetype at = reply.indexOf(name);
    if (at < 0 || name.isEmpty())
        return QString();
    const qsizetype end = reply.indexOf(u';', at);
    const qsizetype from = at + name.size() + 1;
    if (end < 0 || end < from)
        return QString();
    QString v = reply.mid(from, end - from);
    v.remove(u'\'');
    if (bothQuotes)
        v.remove(u'"');
    return v;
}

qint32 ScriptInt(const QString& reply, const QString& name) { return ToInt(ScriptValue(reply, name)); }

std::vector<TWiFiNetwork> ParseScanResult(const QString& reply, const TVendorPages& pages) {
    std::vector<TWiFiNetwork> out;
    const int n = std::clamp(ScriptInt(reply, QStringLiteral("var ap_number")), 0, kMaxNetworks);
    for (int i = 0; i < n; ++i) {
        const QString index = QLatin1Char('[') + QString::number(i) + QLatin1Char(']');
        QString name = ScriptValue(reply, QStringLiteral("ap_ssid") + index + (pages.ssidBlank ? QStringLiteral(" ") : QString()));
        if (const qsizetype b = name.indexOf(u'['); b >= 0)
            name.truncate(b);
        if (name.isEmpty())
            continue;
        TWiFiNetwork w;
        w.text = name;
        w.ssid = name;
        w.security = ScriptInt(reply, QStringLiteral("ap_security") + index);
        w.mode = ScriptInt(reply, QStringLiteral("ap_mode") + index);
        out.push_back(w);
    }
    return out;
}

TWiFiSettings ParseWiFiSettings(const QString& r) {
    TWiFiSettings s;
    s.read = true;
    s.enable = ScriptInt(r, QStringLiteral("var wifi_enable")) == 1;
    s.ssid = ScriptValue(r, QStringLiteral("var wifi_ssid"));
    s.mode = ScriptInt(r, QStringLiteral("var wifi_mode"));
    s.security = ScriptInt(r, QStringLiteral("var wifi_encrypt"));
    s.authType = ScriptInt(r, QStringLiteral("var wifi_authtype"));
    s.defaultKey = ScriptInt(r, QStringLiteral("var wifi_defkey"));
    s.keyFormat = ScriptInt(r, QStringLiteral("var wifi_keyformat"));
    for (int k = 0; k < 4; ++k) {
        const QString key = QStringLiteral("var wifi_key") + QString::number(k + 1);
        s.keys[k] = ScriptValue(r, key);
        s.keyBits[k] = ScriptInt(r, key + QStringLiteral("_bits"));
    }
    s.sharedKey = ScriptValue(r, QStringLiteral("var wifi_wpa_psk"));
    return s;
}

QString ScanUrl(const QString& base, const TVendorPages& pages, const TLogin& login) {
    if (pages.cgiBin)
        return base + QStringLiteral("/cgi-bin/wifi_scan.cgi?loginuse=") + Q(login.user) + QStringLiteral("&loginpas=") +
               Q(login.password) + QStringLiteral("&next_url=wireless.htm");
    return base + QStringLiteral("/wifi_scan.cgi?user=") + Q(login.user) + QStringLiteral("&pwd=") + Q(login.password) +
           QStringLiteral("&next_url=wireless.htm");
}

QString ScanResultUrl(const QString& base, const TLogin& login) {
    return base + QStringLiteral("/get_wifi_scan_result.cgi?user=") + Q(login.user) + QStringLiteral("&pwd=") +
           Q(login.password);
}

QString ParamsUrl(const QString& base, const TLogin& login) {
    return base + QStringLiteral("/get_params.cgi?user=") + Q(login.user) + QStringLiteral("&pwd=") + Q(login.password);
}

QString SetWiFiUrl(const QString& base, const TVendorPages& pages, const TLogin& login, const TWiFiSettings& s) {
    QString u = base;
    if (pages.cgiBin)
        u += QStringLiteral("/cgi-bin/set_wifi.cgi?next_url=rebootme.htm&loginuse=") + Q(login.user) +
             QStringLiteral("&loginpas=") + Q(login.password);
    else
        u += QStringLiteral("/set_wifi.cgi?next_url=rebootme.htm&user=") + Q(login.user) + QStringLiteral("&pwd=") +
             Q(login.password);
    auto n = [](qint32 v) { return QString::number(v); };
    u += QStringLiteral("&channel=5&enable=") + n(s.enable ? 1 : 0);
    u += QStringLiteral("&ssid=") + Q(s.ssid.trimmed());
    u += QStringLiteral("&mode=") + n(s.mode);
    u += QStringLiteral("&encrypt=") + n(s.security);
    u += QStringLiteral("&authtype=") + n(s.authType);
    u += QStringLiteral("&keyformat=") + n(s.keyFormat);
    u += QStringLiteral("&defkey=") + n(s.defaultKey);
    for (int k = 0; k < 4; ++k)
        u += QStringLiteral("&key%1=").arg(k + 1) + Q(s.keys[k].trimmed());
    for (int k = 0; k < 4; ++k)
        u += QStringLiteral("&key%1_bits=").arg(k + 1) + n(s.keyBits[k]);
    u += QStringLiteral("&wpa_psk=") + Q(s.sharedKey.trimmed());
    return u;
}

QString RebootUrl(const QString& base, const TVendorPages& pages) {
    return base + (pages.cgiBin ? QStringLiteral("/cgi-bin/reboot.cgi?next_url=reboot.htm")
                                : QStringLiteral("/reboot.cgi?next_url=reboot.htm"));
}

QString SetDdnsUrl(const QString& base, const TLogin& login, const QString& account, const QString& password,
                   const QString& server) {
    return base + QStringLiteral("/set_ddns.cgi?cam_user=") + Q(login.user) + QStringLiteral("&cam_pwd=") +
           Q(login.password) + QStringLiteral("&service=7&user=") + Q(account.trimmed()) + QStringLiteral("&pwd=") +
           Q(password.trimmed()) + QStringLiteral("&host=&proxy_svr=") + Q(server.trimmed()) +
           QStringLiteral("&proxy_port=808&restart_dyndns=1");
}

TWiFiScan TVendorWiFi::Scan(const TDevInfo& cam, const TLogin& login) {
    TWiFiScan out;
    const QString base = InnerUrl(cam);
    QString reply;
    if (!Get(ScanUrl(base, pages_, login), login, reply)) {
        out.status = TWiFiStatus::kNoConnection;
        return out;
    }
    if (pages_.scanTwice)
        Get(ScanUrl(base, pages_, login), login, reply);  // its answer is not looked at
    if (!Get(ScanResultUrl(base, login), login, reply))
        return out;
    out.status = TWiFiStatus::kOk;
    out.networks = ParseScanResult(reply, pages_);
    return out;
}

TWiFiRead TVendorWiFi::Read(const TDevInfo& cam, const TLogin& login) {
    TWiFiRead out;
    QString reply;
    if (!Get(ParamsUrl(InnerUrl(cam), login), login, reply)) {
        out.status = TWiFiStatus::kNoConnection;
        return out;
    }
    if (!reply.contains(QLatin1String("var")))
        return out;
    out.status = TWiFiStatus::kOk;
    out.settings = ParseWiFiSettings(reply);
    return out;
}

TWiFiApply TVendorWiFi::Apply(const TDevInfo& cam, const TLogin& login, const TWiFiSettings& settings,
                              const TWiFiNetwork*) {
    const QString base = InnerUrl(cam);
    QString reply;
    if (!Get(SetWiFiUrl(base, pages_, login, settings), login, reply) || !reply.contains(QLatin1String("reboot")))
        return TWiFiApply::kNotTaken;
    return Get(RebootUrl(base, pages_), login, reply) ? TWiFiApply::kRestarting : TWiFiApply::kRestartFailed;
}

TDdnsConfigCheck TVendorDdns::CheckSettings(const TDevInfo& cam, const TLogin& login, const TCancelToken& cancel) {
    TDdnsConfigCheck out;
    QString r;
    // This page is asked without Basic credentials: the login is in the query.
    if (!TTools::HttpGetText(ParamsUrl(InnerUrl(cam), login), QString(), QString(), kDdnsReadTimeoutMs, r,
                             cancel.Check())) {
        out.status = TDdnsConfig::kUnreachable;
        return out;
    }
    if (!r.contains(QLatin1String("var"))) {
        out.status = TDdnsConfig::kRefused;
        return out;
    }
    auto v = [&r](const char* name) { return ScriptValue(r, QStringLiteral("var ") + QLatin1String(name), false); };
    const QString service = v("ddns_service");
    if (service.isEmpty()) {
        out.status = TDdnsConfig::kNoService;
        return out;
    }
    out.server = v("ddns_proxy_svr");
    const QString port = v("ddns_proxy_port");
    out.account = v("ddns_user");
    out.password = v("ddns_pwd");
    out.valuesRead = true;
    if (service != QLatin1String("7"))
        out.status = TDdnsConfig::kWrongService;
    else if (out.server.isEmpty() || port.isEmpty() || port == QLatin1String("0"))
        out.status = TDdnsConfig::kNoServer;
    else if (out.account.isEmpty())
        out.status = TDdnsConfig::kNoAccount;
    else
        out.status = TDdnsConfig::kComplete;
    return out;
}

TDdnsChange TVendorDdns::Change(const TDevInfo& cam, const TLogin& login, const QString& account,
                                const QString& password, const QString& server) {
    QString reply;
    if (!TTools::HttpGetText(SetDdnsUrl(InnerUrl(cam), login, account, password, server), QString(), QString(),
                             kDdnsSetTimeoutMs, reply))
        return TDdnsChange::kNoConnection;
    // A camera that refuses the login says "Unauthorized".
    return reply.contains(QLatin1String("Una")) ? TDdnsChange::kRefused : TDdnsChange::kAccepted;
}

}  // namespace VendorCgi
