#include "CgiEasy.h"

#include "CgiCamera.h"

namespace Cgi {

TCgiWiFi::TCgiWiFi(ICgiCamera& driver) : driver_(driver)
{
    rules_.takesOtherSecurity = true;
    rules_.takeClearsKey = true;
    rules_.readsWep = false;
    rules_.readMatch = TWiFiMatch::kNameEquals;
}

TWiFiScan TCgiWiFi::Scan(const TDevInfo& cam, const TLogin& login)
{
    TWiFiScan out;
    TWiFiList list;
    if (driver_.ScanWiFiList(cam, login.user, login.password, list) < 0)
        return out;
    out.status = TWiFiStatus::kOk;
    for (const TWiFiListItem& item : list) {
        TWiFiNetwork n;
        n.text = item.text;
        if (item.record) {
            n.ssid = item.record->ssid;
            n.security = item.record->security;
            n.mode = item.record->mode;
            n.signal = item.record->dbm0;
            n.mac = item.record->mac;
        }
        out.networks.push_back(n);
    }
    return out;
}

TWiFiRead TCgiWiFi::Read(const TDevInfo& cam, const TLogin& login)
{
    TWiFiRead out;
    const std::optional<TCgiWiFiParams> p = driver_.GetWiFiParams(cam, login.user, login.password);
    if (!p)
        return out;
    out.status = TWiFiStatus::kOk;
    TWiFiSettings& s = out.settings;
    s.read = true;
    s.enable = p->enable == 1;
    s.ssid = p->ssid;
    s.mode = p->mode;
    s.security = p->encrypt;
    s.authType = p->authtype;
    s.defaultKey = p->defkey;
    s.keyFormat = p->keyformat;
    s.keys[0] = p->key1;
    s.keys[1] = p->key2;
    s.keys[2] = p->key3;
    s.keys[3] = p->key4;
    s.keyBits[0] = p->key1_bits;
    s.keyBits[1] = p->key2_bits;
    s.keyBits[2] = p->key3_bits;
    s.keyBits[3] = p->key4_bits;
    s.sharedKey = p->wpa_psk;
    return out;
}

TWiFiApply TCgiWiFi::Apply(const TDevInfo& cam, const TLogin& login, const TWiFiSettings& settings,
                           const TWiFiNetwork*)
{
    std::optional<TCgiWiFiParams> p = driver_.GetWiFiParams(cam, login.user, login.password);
    if (!p)
        return TWiFiApply::kNotTaken;
    p->enable = settings.enable ? 1 : 0;
    p->ssid = settings.ssid.trimmed();
    p->wpa_psk = settings.sharedKey;
    p->mode = settings.mode;
    p->encrypt = settings.security;
    switch (driver_.SetWiFiParams(cam, login.user, login.password, *p)) {
    case kWiFiRestarting:
        return TWiFiApply::kRestarting;
    case kWiFiRestartFailed:
        return TWiFiApply::kRestartFailed;
    default:
        return TWiFiApply::kNotTaken;
    }
}

TDdnsConfigCheck TCgiDdns::CheckSettings(const TDevInfo& cam, const TLogin& login, const TCancelToken&)
{
    TDdnsConfigCheck out;
    const TCgiFactoryParams p = driver_.GetFactoryParams(InnerUrl(cam), login.user, login.password, false);
    out.status = p.status >= 0 && p.status <= 6 ? TDdnsConfig(p.status) : TDdnsConfig::kUnreachable;
    return out;
}

}  // namespace Cgi
