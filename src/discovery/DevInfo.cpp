#include "DevInfo.h"

#include "SearchAdapters.h"

#include <QStringList>

QString MacHexOf(const QString& mac)
{
    QString out;
    out.reserve(mac.size());
    for (QChar c : mac) {
        if (c == u'-' || c == u':')
            continue;
        out.append(c == u' ' ? QChar(u'0') : c);
    }
    return out.toUpper();
}

QString HexDigits(const QByteArray& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString out(bytes.size() * 2, Qt::Uninitialized);
    QChar* o = out.data();
    for (const char c : bytes) {
        *o++ = QLatin1Char(kDigits[(quint8(c) >> 4) & 0xF]);
        *o++ = QLatin1Char(kDigits[quint8(c) & 0xF]);
    }
    return out;
}

QString InnerUrl(const TDevInfo& rec)
{
    QString url = QStringLiteral("http://") + rec.IP;
    if (rec.HttpPort != 80)
        url += u':' + QString::number(rec.HttpPort);
    return url;
}

QString DdnsDomainOf(const TDevInfo& rec)
{
    const qsizetype dot = rec.DdnsServer.indexOf(u'.');
    if (dot < 0)
        return QString();
    const qsizetype colon = rec.DdnsServer.indexOf(u':', dot);
    return rec.DdnsServer.mid(dot, colon < 0 ? -1 : colon - dot);
}

QString OuterUrl(const TDevInfo& rec)
{
    const QString domain = DdnsDomainOf(rec);
    if (domain.isEmpty())
        return QString();
    return QStringLiteral("http://") + rec.DdnsUser + domain;
}

int CompareFolded(const QString& a, const QString& b)
{
    const int c = QString::compare(a, b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

TIpSortKey MakeIpSortKey(const QString& ip)
{
    TIpSortKey key;
    key.folded = ip.toCaseFolded();
    for (QStringView part : QStringView(ip).split(u'.')) {
        bool ok = false;
        const qint32 n = part.toInt(&ok, 10);
        key.parts.push_back(ok ? n : 0);
    }
    return key;
}

int CompareIpKeys(const TIpSortKey& a, const TIpSortKey& b)
{
    if (a.parts.size() != b.parts.size())
        return CompareFolded(a.folded, b.folded);
    for (size_t i = 0; i < a.parts.size(); ++i) {
        if (a.parts[i] != b.parts[i])
            return a.parts[i] < b.parts[i] ? -1 : 1;
    }
    return 0;
}

int CompareIp(const QString& a, const QString& b)
{
    return CompareIpKeys(MakeIpSortKey(a), MakeIpSortKey(b));
}

QJsonObject DevInfoToJson(const TDevInfo& r)
{
    QJsonObject o;
    o[QStringLiteral("Family")] = r.Family;
    o[QStringLiteral("Mac")] = r.Mac;
    o[QStringLiteral("MacHex")] = r.MacHex;
    o[QStringLiteral("SN")] = r.SN;
    o[QStringLiteral("Name")] = r.Name;
    // JSON carries text; the received bytes go as hexadecimal digits.
    o[QStringLiteral("NameRaw")] = HexDigits(r.NameRaw);
    o[QStringLiteral("Version")] = r.Version;
    o[QStringLiteral("IP")] = r.IP;
    o[QStringLiteral("Mask")] = r.Mask;
    o[QStringLiteral("Gateway")] = r.Gateway;
    o[QStringLiteral("ExtraAddr")] = r.ExtraAddr;
    o[QStringLiteral("DnsManual")] = r.DnsManual;
    o[QStringLiteral("Dns1")] = r.Dns1;
    o[QStringLiteral("Dns2")] = r.Dns2;
    o[QStringLiteral("HttpPort")] = r.HttpPort;
    o[QStringLiteral("DataPort")] = r.DataPort;
    o[QStringLiteral("ExtraPort")] = r.ExtraPort;
    o[QStringLiteral("AddrMode")] = r.AddrMode;
    o[QStringLiteral("DdnsOn")] = r.DdnsOn;
    o[QStringLiteral("DdnsUser")] = r.DdnsUser;
    o[QStringLiteral("DdnsServer")] = r.DdnsServer;
    o[QStringLiteral("DdnsHost")] = r.DdnsHost;
    o[QStringLiteral("DdnsPort")] = r.DdnsPort;
    o[QStringLiteral("ExtraValue")] = r.ExtraValue;
    o[QStringLiteral("TimeToLive")] = r.TimeToLive;
    o[QStringLiteral("Word8")] = r.Word8;
    o[QStringLiteral("Adapter")] = AdapterName(r.Adapter);
    return o;
}
