// Family 5 in easy mode: the reachability test after an address change, the wireless LAN and
// the DDNS state, all over pooled CTP/1.0 sessions.

#include "CtpEasy.h"

#include "CtpFamily.h"
#include "CtpSocket.h"
#include "RebootThread.h"

namespace {

// The pooled session to the camera's device port; null when there is none (also for an address
// that is no address).
TCTPSession Session(const TDevInfo& cam)
{
    try {
        return TCTPSocket::GetCTPSession(cam.IP, cam.HttpPort);
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace

bool TCtpFamily::CheckReachable(const TDevInfo& cam, const TCancelToken& cancel)
{
    // The device port from the record: the LAN address carries no port for port 80.
    if (cancel.Cancelled())
        return false;
    const TCTPSession session = Session(cam);
    if (!session)
        return false;
    // Closing the connection ends a keepalive that the camera leaves unanswered.
    const TCancelToken::TRegistration closeOnCancel(cancel, [session] { session->Close(); });
    return session->KeepAlive();
}

namespace CtpFamily {

void SecurityWords(const TWiFiNetwork* network, const TWiFiSettings& asRead, QString& authmode, QString& encryptype)
{
    authmode = asRead.authMode;
    encryptype = asRead.encryptType;
    if (!network)
        return;  // the SSID is the camera's own: its security stays
    if (network->security != 1) {
        authmode = QStringLiteral("NONE");
        encryptype.clear();
        return;
    }
    if (network->auth == 0) {
        authmode = QStringLiteral("WEP");
        encryptype = QStringLiteral("WEPAUTO");
        return;
    }
    authmode = network->auth == 1 ? QStringLiteral("WPAPSK") : QStringLiteral("WPA2PSK");
    if (network->cipher == 1)
        encryptype = QStringLiteral("TKIP");
    else if (network->cipher == 2)
        encryptype = QStringLiteral("AES");
}

TCtpWiFi::TCtpWiFi()
{
    // The camera's wireless LAN is always used; the network is taken from its own list.
    rules_.onOffShown = false;
    rules_.ssidEditable = false;
    rules_.readsWep = false;
    rules_.readMatch = TWiFiMatch::kContains;
    rules_.singleKey = true;
}

TWiFiScan TCtpWiFi::Scan(const TDevInfo& cam, const TLogin&)
{
    TWiFiScan out;
    const TCTPSession session = Session(cam);
    if (!session)
        return out;
    TWiFi2List list;
    session->ScanWiFi(&list);
    out.status = TWiFiStatus::kOk;
    for (const TWiFi2Item& item : list) {
        TWiFiNetwork n;
        n.text = item.text;
        n.ssid = item.wifi.ssid;
        n.security = item.wifi.security;
        n.mode = item.wifi.spare;
        n.auth = item.wifi.auth;
        n.cipher = item.wifi.cipher;
        n.signal = item.wifi.signal;
        out.networks.push_back(n);
    }
    return out;
}

TWiFiRead TCtpWiFi::Read(const TDevInfo& cam, const TLogin&)
{
    TWiFiRead out;
    const TCTPSession session = Session(cam);
    const std::optional<TDEVWiFi> w = session ? session->GetWiFi() : std::nullopt;
    if (!w) {
        out.status = TWiFiStatus::kNoConnection;
        return out;
    }
    out.status = TWiFiStatus::kOk;
    out.settings.read = true;
    out.settings.enable = w->enable == 1;
    out.settings.ssid = w->ssid;
    out.settings.sharedKey = w->key;
    out.settings.authMode = w->authmode;
    out.settings.encryptType = w->encryptype;
    // In the page's terms only "secured" or not, as the camera's scan says of a network.
    out.settings.security = w->authmode.isEmpty() || w->authmode == QLatin1String("NONE") ? 0 : 1;
    return out;
}

TWiFiApply TCtpWiFi::Apply(const TDevInfo& cam, const TLogin&, const TWiFiSettings& settings,
                           const TWiFiNetwork* network)
{
    // Nothing to build on without the camera's own settings.
    if (!settings.read)
        return TWiFiApply::kNotTaken;
    TDEVWiFi w;
    // The camera is to come back over the wireless LAN: it is switched on (the page shows no
    // switch for this family).
    w.enable = 1;
    w.ssid = settings.ssid;
    w.key = settings.sharedKey;
    SecurityWords(network, settings, w.authmode, w.encryptype);
    const TCTPSession session = Session(cam);
    if (!session)
        return TWiFiApply::kNotTaken;
    {
        std::lock_guard lock(mutex_);
        held_.insert(session->Key(), session);
    }
    if (!session->SetWiFi(w))
        return TWiFiApply::kNotTaken;
    return TRebootThread::Start(cam.IP, cam.HttpPort) ? TWiFiApply::kRestarting : TWiFiApply::kRestartFailed;
}

void TCtpWiFi::EndApply(const TDevInfo& cam)
{
    TCTPSession session;
    {
        std::lock_guard lock(mutex_);
        session = held_.take(TCTPSocket::SessionKey(cam.IP, cam.HttpPort));
    }
    // The restart thread may still wait on this connection: it then ends with no answer, which
    // it takes as a restart sent without reply.
    TCTPSocket::ReleaseCTPSession(session);
}

TDdnsRegistration TCtpDdns::Registration(const TDevInfo& cam, const TCancelToken& cancel)
{
    if (cancel.Cancelled())
        return TDdnsRegistration::kNoConnection;
    const TCTPSession session = Session(cam);
    if (!session)
        return TDdnsRegistration::kNoConnection;
    const TCancelToken::TRegistration closeOnCancel(cancel, [session] { session->Close(); });
    switch (session->GetOrayState()) {
    case 0:
        return TDdnsRegistration::kRegistered;
    case 1:
    case 4:
        return TDdnsRegistration::kServerUnreachable;
    case 2:
    case 5:
        return TDdnsRegistration::kUnknown;
    case 3:
        return TDdnsRegistration::kNotRegistered;
    default:
        return TDdnsRegistration::kSilent;
    }
}

}  // namespace CtpFamily
