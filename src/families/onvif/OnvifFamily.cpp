#include "OnvifFamily.h"

#include "NetAddress.h"
#include "OnvifSearch.h"

namespace Onvif {

namespace {

// A value the change leaves as the record had it. The editor shows an address the record
// lacks as "0.0.0.0" and hands it back so.
bool Unchanged(const QString& oldText, const QString& newText)
{
    return newText == oldText || newText.isEmpty() ||
           (oldText.isEmpty() && newText == QLatin1String("0.0.0.0"));
}

TOnvifClient ClientFor(const QString& deviceUrl, const TLogin& login)
{
    return TOnvifClient(deviceUrl, login.user.trimmed(), login.password.trimmed());
}

}  // namespace

std::optional<TNetSettings> SettingsFor(const TDevInfo& oldRec, const TDevInfo& newRec,
                                        const TDevice& current)
{
    TNetSettings s;
    s.dhcp = newRec.AddrMode == kAddrDhcp;
    if (s.dhcp)
        return s;
    s.address = newRec.IP;
    // A mask of no ones is no mask a camera can work with: the unset field.
    if (Unchanged(oldRec.Mask, newRec.Mask) || newRec.Mask == QLatin1String("0.0.0.0")) {
        s.prefixLength = current.iface.prefixLength > 0 ? current.iface.prefixLength
                                                        : PrefixOfMask(oldRec.Mask);
        if (s.prefixLength <= 0)
            s.prefixLength = 24;
    } else {
        s.prefixLength = PrefixOfMask(newRec.Mask);
        if (s.prefixLength <= 0)
            return std::nullopt;
    }
    if (!Unchanged(oldRec.Gateway, newRec.Gateway))
        s.gateway = newRec.Gateway;
    const bool dns1 = !Unchanged(oldRec.Dns1, newRec.Dns1);
    const bool dns2 = !Unchanged(oldRec.Dns2, newRec.Dns2);
    if (dns1 || dns2) {
        // Both servers go in one request: the one not changed is the camera's own.
        const QString first = dns1 ? newRec.Dns1 : current.dns.servers.value(0);
        const QString second = dns2 ? newRec.Dns2 : current.dns.servers.value(1);
        for (const QString& server : {first, second}) {
            if (!server.isEmpty() && server != QLatin1String("0.0.0.0"))
                s.dns.append(server);
        }
    }
    return s;
}

QString TOnvifKeys::KeyFor(const QString& endpoint, const QString& neighbourMac)
{
    const auto kept = byEndpoint_.constFind(endpoint);
    if (kept != byEndpoint_.constEnd())
        return *kept;
    const QString key = neighbourMac.isEmpty() || taken_.contains(neighbourMac) ? endpoint : neighbourMac;
    if (byEndpoint_.size() < kMaxKept) {
        byEndpoint_.insert(endpoint, key);
        if (key != endpoint)
            taken_.insert(key);
    }
    return key;
}

TApplyResult ApplyResultOf(const TResult& r)
{
    switch (r.status) {
    case TStatus::Ok: return TApplyResult::kAccepted;
    case TStatus::NotAuthorized: return TApplyResult::kRefused;
    case TStatus::NoAnswer:
    case TStatus::Fault:
    case TStatus::BadReply: break;
    }
    return TApplyResult::kSendFailed;
}

TLoginResult LoginResultOf(const TResult& r)
{
    switch (r.status) {
    case TStatus::Ok: return TLoginResult::kAccepted;
    case TStatus::NoAnswer: return TLoginResult::kNoConnection;
    case TStatus::NotAuthorized:
    case TStatus::Fault:
    case TStatus::BadReply: break;
    }
    return TLoginResult::kRefused;
}

}  // namespace Onvif

TOnvifFamily::TOnvifFamily()
{
    traits_.series = QString::fromLatin1(Onvif::kSeriesOnvif);
    traits_.applyCommand = true;
    traits_.applyShowsBusy = true;  // a change waits for the camera's answers, a restart too
    // The client sets neither a name nor ports; the device service offers no PPPoE or DDNS.
    traits_.nameEditable = false;
    traits_.offersPppoe = false;
    traits_.ddnsPassword = false;
    traits_.ddnsEditable = false;
    traits_.netCarried = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetDns2 | kNetAddrMode |
                         kNetUser | kNetPassword;
    // The probe's answer tells the address alone; the rest is read over the device service,
    // with a login.
    traits_.netReported = kNetIP;
    traits_.easyListed = false;
}

TOnvifFamily::~TOnvifFamily()
{
    // Normally gone with the engine, its parent.
    delete search_.data();
}

void TOnvifFamily::SendProbes(ISearchSink& sink, int /*tick*/, bool /*withLibrary*/)
{
    QObject* owner = sink.SearchOwner();
    if (search_ && search_->parent() != owner)
        delete search_.data();  // a new engine searches: the socket follows it
    if (!search_) {
        search_ = new Onvif::TOnvifSearch(owner);
        // The search is the engine's child: the sink outlives every record it emits.
        QObject::connect(search_.data(), &Onvif::TOnvifSearch::found, search_.data(),
                         [this, s = &sink](TDevInfo rec, const Onvif::TOnvifMatch& match) {
                             // The search keys by the neighbour table alone; the key must
                             // stay the camera's for the whole run.
                             const QString neighbour = rec.Mac == match.endpoint ? QString() : rec.Mac;
                             rec.Mac = keys_.KeyFor(match.endpoint, neighbour);
                             rec.MacHex = MacHexOf(rec.Mac);
                             s->DeliverRecord(rec);
                         });
    }
    // A socket that could not be bound is tried again at the next pass.
    if (search_->Start())
        search_->SendProbe();
}

void TOnvifFamily::StopSearch()
{
    if (search_)
        search_->Stop();
}

TNetCheck TOnvifFamily::CheckNetwork(const TDevInfo& oldRec, const TDevInfo& newRec,
                                     const TLogin& login) const
{
    // Addresses the record lacks (a search record has no mask, gateway or DNS) are left as
    // the camera has them; those given are checked.
    TFamilyTraits t = traits_;
    const std::pair<TNetField, const QString*> optional[] = {
        {kNetMask, &newRec.Mask}, {kNetGateway, &newRec.Gateway}, {kNetDns1, &newRec.Dns1}};
    for (const auto& [field, text] : optional) {
        if (text->isEmpty())
            t.netCarried &= ~quint32(field);
    }
    const TNetCheck generic = CheckNetworkValues(t, oldRec, newRec, login);
    if (!generic.Ok())
        return generic;
    if (newRec.AddrMode != kAddrDhcp && !newRec.Mask.isEmpty() &&
        newRec.Mask != QLatin1String("0.0.0.0") && Onvif::PrefixOfMask(newRec.Mask) <= 0)
        return TNetCheck{TNetProblem::kBadAddress, kNetMask, 0};
    return TNetCheck();
}

TApplyResult TOnvifFamily::ApplyNetwork(ISearchSink&, TApplyOrigin, const TDevInfo& oldRec,
                                        const TDevInfo& newRec, const TLogin& login)
{
    if (!CheckNetwork(oldRec, newRec, login).Ok())
        return TApplyResult::kMalformed;
    Onvif::TOnvifClient client =
        Onvif::ClientFor(Onvif::DeviceServiceUrl(oldRec.IP, oldRec.HttpPort), login);
    // The camera's own values first: what the change leaves alone is sent back as it is.
    Onvif::TDevice current;
    const Onvif::TResult read = client.ReadDevice(current);
    if (!read.Ok())
        return Onvif::ApplyResultOf(read);
    const std::optional<Onvif::TNetSettings> settings = Onvif::SettingsFor(oldRec, newRec, current);
    if (!settings)
        return TApplyResult::kMalformed;
    return Onvif::ApplyResultOf(client.WriteNetwork(*settings));
}

TLoginResult TOnvifFamily::TestCredentials(const QString& devUrl, const TLogin& login)
{
    if (!devUrl.startsWith(QLatin1String("http://")))
        return TLoginResult::kRefused;
    QString base = devUrl;
    while (base.endsWith(u'/'))
        base.chop(1);
    Onvif::TOnvifClient client =
        Onvif::ClientFor(base + QLatin1String(Onvif::kDeviceServicePath), login);
    Onvif::TDevice device;
    return Onvif::LoginResultOf(client.ReadDevice(device));
}

bool TOnvifFamily::Restart(const TDevInfo& cam, const TLogin& login)
{
    Onvif::TOnvifClient client = Onvif::ClientFor(Onvif::DeviceServiceUrl(cam.IP, cam.HttpPort), login);
    return client.Reboot().Ok();
}
