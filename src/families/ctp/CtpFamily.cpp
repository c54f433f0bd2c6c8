#include "CtpFamily.h"

#include "CtpMessage.h"
#include "CtpSocket.h"
#include "NetAddress.h"

#include <QStringList>
#include <QStringTokenizer>

#include <algorithm>
#include <optional>

namespace CtpFamily {

bool ParseSearchReply(const QByteArray& dgram, TDevInfo& rec)
{
    rec.Family = kFamily;
    rec.AddrMode = kAddrStatic;
    // Each key takes the first line (lines split at CR LF) that begins with it, case-sensitive;
    // its value is the line after the key and one separator character. One pass over the
    // lines finds them all.
    enum Key { kSn, kName, kIp, kNetmask, kPortCtp, kMdns, kSdns, kMac, kGw, kDdnsUser,
               kDdnsPswd, kDdns, kVersion, kKeys };
    static constexpr QStringView kNames[kKeys] = {
        u"-sn", u"-name", u"-ip", u"-netmask", u"-portctp", u"-mdns", u"-sdns", u"-mac", u"-gw",
        u"-ddnsuser", u"-ddnspswd", u"-ddns", u"-version"};
    const QString text = QString::fromUtf8(dgram);
    std::optional<QStringView> values[kKeys];
    int found = 0;
    for (QStringView line : QStringView(text).tokenize(u"\r\n")) {
        if (!line.startsWith(u'-'))
            continue;
        for (int k = 0; k < kKeys; ++k) {
            if (values[k])
                continue;
            const QStringView key = kNames[k];
            if (line.startsWith(key)) {
                values[k] = line.mid(std::min(line.size(), key.size() + 1));
                ++found;
            }
        }
        if (found == kKeys)
            break;
    }
    auto take = [&](Key k, QString& out) {
        if (values[k])
            out = values[k]->toString();
    };
    take(kSn, rec.SN);
    take(kName, rec.Name);
    take(kIp, rec.IP);
    take(kNetmask, rec.Mask);
    if (values[kPortCtp]) {
        bool ok = false;
        const int port = values[kPortCtp]->toInt(&ok, 10);
        rec.HttpPort = ok ? quint16(port) : quint16(80);
    }
    take(kMdns, rec.Dns1);
    take(kSdns, rec.Dns2);
    if (values[kMac]) {
        rec.Mac = values[kMac]->toString().remove(u':');
        rec.MacHex = MacHexOf(rec.Mac);
    }
    take(kGw, rec.Gateway);
    take(kDdnsUser, rec.DdnsUser);
    take(kDdnsPswd, rec.DdnsPwd);
    // By prefix: an earlier "-ddnsuser" or "-ddnspswd" line is taken for the server.
    take(kDdns, rec.DdnsServer);
    take(kVersion, rec.Version);
    return true;
}

std::optional<QByteArray> BuildSetNetwork(const TDevInfo& oldRec, const TDevInfo& newRec,
                                          const QString& password)
{
    if (!ValidIp(oldRec.IP) || !ValidIp(newRec.IP) || !ValidIp(newRec.Mask) ||
        !ValidIp(newRec.Gateway) || !ValidIp(newRec.Dns1) || !ValidOptionalIp(newRec.Dns2))
        return std::nullopt;
    if (!AllHex(newRec.Mac))
        return std::nullopt;
    if (HasLineBreak(newRec.SN) || HasLineBreak(newRec.Name) || HasLineBreak(password))
        return std::nullopt;

    const QByteArray lines =
        Ctp::ArgLine("sn", newRec.SN) + "\r\n" + Ctp::ArgLine("interface", oldRec.IP) + "\r\n" +
        Ctp::ArgLine("pswd", password) + "\r\n" +
        Ctp::ArgLine("dhcpen", newRec.AddrMode == kAddrDhcp ? QStringLiteral("1")
                                                            : QStringLiteral("0")) +
        "\r\n" + Ctp::ArgLine("ip", newRec.IP) + "\r\n" +
        Ctp::ArgLine("netmask", newRec.Mask) + "\r\n" +
        Ctp::ArgLine("defgw", newRec.Gateway) + "\r\n" + Ctp::ArgLine("name", newRec.Name) +
        "\r\n" + Ctp::ArgLine("mdns", newRec.Dns1) + "\r\n" +
        Ctp::ArgLine("sdns", newRec.Dns2) + "\r\n" +
        Ctp::ArgLine("mac", MacWithColons(newRec.Mac)) + "\r\n" +
        Ctp::ArgLine("port", QString::number(newRec.HttpPort)) + "\r\n";
    return Ctp::SetIpRequest(lines);
}

std::optional<std::pair<QString, int>> SessionAddress(const QString& devUrl)
{
    // "http://host:port": the host and the port after the scheme.
    const QString rest = devUrl.mid(7);
    const qsizetype colon = rest.indexOf(u':');
    if (colon < 0)
        return std::nullopt;
    bool ok = false;
    const int port = rest.mid(colon + 1).toInt(&ok, 10);
    if (!ok || port <= 0 || port > 65535)
        return std::nullopt;
    return std::make_pair(rest.left(colon), port);
}

}  // namespace CtpFamily

TCtpFamily::TCtpFamily()
{
    traits_.series = QStringLiteral("E");
    traits_.factoryPassword = QString::fromLatin1(CtpFamily::kFactoryPassword);
    traits_.firmwareUpgrade = true;
    traits_.applyPasswordPreset = QString::fromLatin1(CtpFamily::kFactoryPassword);
    traits_.applyKeepsLogin = true;
    traits_.applyShowsBusy = true;
    traits_.defaultAccountHintKey = QStringLiteral("IDS_DEFAULTACCOUNT");
    traits_.easyAlwaysLogsIn = true;
    traits_.ddnsEditable = false;
    traits_.easyListed = true;
    // A text command without fixed fields; the user name is not sent, and the reply does not
    // tell the address mode.
    traits_.netCarried = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetDns2 | kNetHttpPort |
                         kNetName | kNetAddrMode | kNetPassword;
    traits_.netReported = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetDns2 | kNetHttpPort |
                          kNetName;
}

TNetCheck TCtpFamily::CheckNetwork(const TDevInfo& oldRec, const TDevInfo& newRec,
                                   const TLogin& login) const
{
    const TNetCheck generic = CheckNetworkValues(traits_, oldRec, newRec, login);
    if (!generic.Ok())
        return generic;
    // A line break would end the argument line and let the rest pass for further settings.
    if (HasLineBreak(newRec.Name))
        return TNetCheck{TNetProblem::kBadText, kNetName, 0};
    if (HasLineBreak(login.password))
        return TNetCheck{TNetProblem::kBadText, kNetPassword, 0};
    return TNetCheck();
}

void TCtpFamily::SendProbes(ISearchSink& sink, int /*tick*/, bool /*withLibrary*/)
{
    sink.SendBroadcast(CtpFamily::kSocket, Ctp::SearchRequest(), CtpFamily::kPort);
}

TReplyMatch TCtpFamily::ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink&)
{
    if (!datagram.startsWith("REPLY"))
        return TReplyMatch::NotMine;
    return CtpFamily::ParseSearchReply(datagram, rec) ? TReplyMatch::Record : TReplyMatch::Handled;
}

TApplyResult TCtpFamily::ApplyNetwork(ISearchSink& sink, TApplyOrigin, const TDevInfo& oldRec,
                                      const TDevInfo& newRec, const TLogin& login)
{
    // The user name is not carried: the camera knows only its password.
    const std::optional<QByteArray> d = CtpFamily::BuildSetNetwork(oldRec, newRec, login.password);
    if (!d)
        return TApplyResult::kMalformed;
    return sink.SendBroadcastOn(oldRec.Adapter, CtpFamily::kSocket, *d, CtpFamily::kPort)
               ? TApplyResult::kSent
               : TApplyResult::kSendFailed;
}

TLoginResult TCtpFamily::TestCredentials(const QString& devUrl, const TLogin& login)
{
    const auto address = CtpFamily::SessionAddress(devUrl);
    if (!address)
        return TLoginResult::kRefused;
    TCTPSession session = TCTPSocket::GetCTPSession(address->first, address->second);
    if (!session)
        return TLoginResult::kNoConnection;
    return session->Login(login.user, login.password) ? TLoginResult::kAccepted
                                                      : TLoginResult::kRefused;
}

bool TCtpFamily::Restart(const TDevInfo& cam, const TLogin&)
{
    TCTPSession session = TCTPSocket::GetCTPSession(cam.IP, cam.HttpPort);
    if (!session)
        return false;
    session->Restart();
    return true;
}
