#include "CtpFamily.h"

#include "CtpMessage.h"
#include "CtpSocket.h"
#include "NetAddress.h"

#include <QStringList>

namespace CtpFamily {

bool ParseSearchReply(const QByteArray& dgram, TDevInfo& rec)
{
    rec.Family = kFamily;
    rec.AddrMode = kAddrStatic;
    const QStringList lines = QString::fromUtf8(dgram).split(QStringLiteral("\r\n"));
    auto value = [&lines](const QString& key, QString* out) {
        for (const QString& line : lines) {
            if (line.startsWith(key, Qt::CaseSensitive)) {
                *out = line.mid(key.size() + 1);  // the key and one separator
                return true;
            }
        }
        return false;
    };
    QString v;
    if (value(QStringLiteral("-sn"), &v))
        rec.SN = v;
    if (value(QStringLiteral("-name"), &v))
        rec.Name = v;
    if (value(QStringLiteral("-ip"), &v))
        rec.IP = v;
    if (value(QStringLiteral("-netmask"), &v))
        rec.Mask = v;
    if (value(QStringLiteral("-portctp"), &v)) {
        bool ok = false;
        const int port = v.toInt(&ok, 10);
        rec.HttpPort = ok ? quint16(port) : quint16(80);
    }
    if (value(QStringLiteral("-mdns"), &v))
        rec.Dns1 = v;
    if (value(QStringLiteral("-sdns"), &v))
        rec.Dns2 = v;
    if (value(QStringLiteral("-mac"), &v)) {
        rec.Mac = v.remove(u':');
        rec.MacHex = MacHexOf(rec.Mac);
    }
    if (value(QStringLiteral("-gw"), &v))
        rec.Gateway = v;
    if (value(QStringLiteral("-ddnsuser"), &v))
        rec.DdnsUser = v;
    if (value(QStringLiteral("-ddnspswd"), &v))
        rec.DdnsPwd = v;
    // By prefix: an earlier "-ddnsuser" or "-ddnspswd" line is taken for the server.
    if (value(QStringLiteral("-ddns"), &v))
        rec.DdnsServer = v;
    if (value(QStringLiteral("-version"), &v))
        rec.Version = v;
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
    return sink.SendBroadcast(CtpFamily::kSocket, *d, CtpFamily::kPort) ? TApplyResult::kSent
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
