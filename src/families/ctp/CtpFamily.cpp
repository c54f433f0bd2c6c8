#include "CtpFamily.h"

#include "CameraText.h"
#include "CtpMessage.h"
#include "CtpSocket.h"
#include "NetAddress.h"

#include <QByteArrayView>

#include <algorithm>
#include <optional>

namespace CtpFamily {

namespace {

// A character that may continue a key's name: after the key it means a longer key
// ("-ddnsuser" is not "-ddns"), not the separator.
bool ContinuesKey(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '_';
}

bool HasLineBreak(const QByteArray& bytes)
{
    return bytes.contains('\r') || bytes.contains('\n');
}

}  // namespace

bool ParseSearchReply(const QByteArray& dgram, TDevInfo& rec)
{
    rec.Family = kFamily;
    rec.AddrMode = kAddrStatic;
    // Lines are split at CR LF as bytes: a name in a legacy code page is kept as it came. A
    // line "-key" followed by a separator (or nothing) gives key its value, what follows the
    // separator; the first such line of a key counts. One pass over the lines finds them all.
    enum Key { kSn, kName, kIp, kNetmask, kPortCtp, kMdns, kSdns, kMac, kGw, kDdnsUser,
               kDdnsPswd, kDdns, kVersion, kKeys };
    static constexpr QByteArrayView kNames[kKeys] = {
        "-sn", "-name", "-ip", "-netmask", "-portctp", "-mdns", "-sdns", "-mac", "-gw",
        "-ddnsuser", "-ddnspswd", "-ddns", "-version"};
    std::optional<QByteArrayView> values[kKeys];
    const QByteArrayView all(dgram);
    for (qsizetype start = 0; start <= all.size();) {
        qsizetype end = dgram.indexOf("\r\n", start);
        if (end < 0)
            end = all.size();
        const QByteArrayView line = all.sliced(start, end - start);
        start = end + 2;
        if (line.isEmpty() || line[0] != '-')
            continue;
        qsizetype n = 1;
        while (n < line.size() && ContinuesKey(line[n]))
            ++n;
        const QByteArrayView key = line.first(n);
        for (int k = 0; k < kKeys; ++k) {
            if (key == kNames[k]) {
                if (!values[k])
                    values[k] = line.sliced(std::min(line.size(), n + 1));
                break;
            }
        }
    }
    auto value = [&values](Key k, QString* out) {
        if (!values[k])
            return false;
        *out = CameraTextFromBytes(values[k]->toByteArray());
        return true;
    };
    QString v;
    if (value(kSn, &v))
        rec.SN = v;
    if (values[kName]) {
        rec.NameRaw = values[kName]->toByteArray();
        rec.Name = CameraTextFromBytes(rec.NameRaw);
    }
    if (value(kIp, &v))
        rec.IP = v;
    if (value(kNetmask, &v))
        rec.Mask = v;
    if (value(kPortCtp, &v)) {
        bool ok = false;
        const int port = v.toInt(&ok, 10);
        rec.HttpPort = ok && port >= 0 && port <= 0xFFFF ? quint16(port) : quint16(80);
    }
    if (value(kMdns, &v))
        rec.Dns1 = v;
    if (value(kSdns, &v))
        rec.Dns2 = v;
    if (value(kMac, &v)) {
        rec.Mac = v.remove(u':');
        rec.MacHex = MacHexOf(rec.Mac);
    }
    if (value(kGw, &v))
        rec.Gateway = v;
    if (value(kDdnsUser, &v))
        rec.DdnsUser = v;
    if (value(kDdnsPswd, &v))
        rec.DdnsPwd = v;
    if (value(kDdns, &v))
        rec.DdnsServer = v;
    if (value(kVersion, &v))
        rec.Version = v;
    return true;
}

std::optional<QByteArray> BuildSetNetwork(const TDevInfo& oldRec, const TDevInfo& newRec,
                                          const QString& password)
{
    // The text protocol carries any value, empty ones and blanks included (a camera that
    // reports no gateway gets none back); only a line break would end a line early and let
    // the rest pass for further settings.
    const QByteArray name = CameraTextBytes(newRec.Name, newRec.NameRaw);
    const QList<QByteArray> args = {
        Ctp::ArgLine("sn", newRec.SN),
        Ctp::ArgLine("interface", oldRec.IP),
        Ctp::ArgLine("pswd", password),
        Ctp::ArgLine("dhcpen", newRec.AddrMode == kAddrDhcp ? QStringLiteral("1") : QStringLiteral("0")),
        Ctp::ArgLine("ip", newRec.IP),
        Ctp::ArgLine("netmask", newRec.Mask),
        Ctp::ArgLine("defgw", newRec.Gateway),
        QByteArray("-name ") + name,
        Ctp::ArgLine("mdns", newRec.Dns1),
        Ctp::ArgLine("sdns", newRec.Dns2),
        Ctp::ArgLine("mac", MacWithColons(newRec.Mac)),
        Ctp::ArgLine("port", QString::number(newRec.HttpPort)),
    };
    QByteArray lines;
    for (const QByteArray& line : args) {
        if (HasLineBreak(line))
            return std::nullopt;
        lines += line + "\r\n";
    }
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
    traits_.applyCommand = true;
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
    if (::HasLineBreak(newRec.Name))
        return TNetCheck{TNetProblem::kBadText, kNetName, 0};
    if (::HasLineBreak(login.password))
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
