#include "NetCards.h"

#include "IniFile.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <cstring>

namespace NetCards {
namespace {

// Files of the system are small; anything larger is not one of them.
constexpr qint64 kMaxFileSize = 1024 * 1024;

QStringList Words(const QString& line)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return line.split(blanks, Qt::SkipEmptyParts);
}

bool IsIpv4(const QString& text)
{
    QHostAddress a;
    return a.setAddress(text) && a.protocol() == QAbstractSocket::IPv4Protocol;
}

// INI-style value of key in section of a keyfile or device state file.
QString KeyfileValue(const QString& text, const QString& section, const QString& key)
{
    QString current;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        if (current != section || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return QString();
}

QString Clip(const QString& s, int max)
{
    return s.size() > max ? s.left(max) : s;
}

// "SERVERS=" of systemd-resolved's per-link state.
QStringList LinkNameServers(const TFileSystem& fs, int ifindex)
{
    const auto text = fs.read(QStringLiteral("/run/systemd/resolve/netif/%1").arg(ifindex));
    if (!text)
        return {};
    QStringList servers;
    for (const QString& line : text->split(u'\n')) {
        if (!line.startsWith(QStringLiteral("SERVERS=")))
            continue;
        for (const QString& s : Words(line.mid(8))) {
            if (IsIpv4(s))
                servers << s;
        }
    }
    return servers;
}

std::optional<TNmConnection> FindNmConnection(const TFileSystem& fs, const QString& uuid)
{
    for (const QString& folder : {QStringLiteral("/etc/NetworkManager/system-connections"),
                                 QStringLiteral("/run/NetworkManager/system-connections")}) {
        for (const QString& name : fs.list(folder)) {
            const auto text = fs.read(folder + u'/' + name);
            if (!text)
                continue;
            const auto conn = ParseNmKeyfile(*text);
            if (conn && conn->uuid == uuid)
                return conn;
        }
    }
    return std::nullopt;
}

}  // namespace

TFileSystem RealFileSystem()
{
    TFileSystem fs;
    fs.read = [](const QString& path) -> std::optional<QString> {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        return QString::fromUtf8(ReadAtMost(f, kMaxFileSize));
    };
    fs.list = [](const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    };
    return fs;
}

QHash<QString, QString> ParseDefaultRoutes(const QString& procNetRoute)
{
    constexpr quint32 kRouteUp = 0x0001;
    QHash<QString, QString> gateways;
    QHash<QString, quint32> metrics;
    const QStringList lines = procNetRoute.split(u'\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {  // the first line names the columns
        const QStringList f = Words(lines[i]);
        if (f.size() < 8)
            continue;
        bool okDest = false, okGw = false, okFlags = false, okMetric = false, okMask = false;
        const quint32 dest = f[1].toUInt(&okDest, 16);
        const quint32 gw = f[2].toUInt(&okGw, 16);
        const quint32 flags = f[3].toUInt(&okFlags, 16);
        const quint32 metric = f[6].toUInt(&okMetric, 10);
        const quint32 mask = f[7].toUInt(&okMask, 16);
        if (!(okDest && okGw && okFlags && okMetric && okMask))
            continue;
        if (dest != 0 || mask != 0 || !(flags & kRouteUp) || gw == 0)
            continue;
        if (metrics.contains(f[0]) && metrics.value(f[0]) <= metric)
            continue;
        // The kernel prints the address as a host-order word of network-order bytes.
        unsigned char b[4];
        std::memcpy(b, &gw, 4);
        gateways.insert(f[0], QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]));
        metrics.insert(f[0], metric);
    }
    return gateways;
}

QStringList ParseResolvConf(const QString& text)
{
    QStringList servers;
    for (const QString& raw : text.split(u'\n')) {
        QString line = raw;
        static const QRegularExpression commentStart(QStringLiteral("[#;]"));
        const qsizetype comment = line.indexOf(commentStart);
        if (comment >= 0)
            line.truncate(comment);
        const QStringList w = Words(line);
        if (w.size() >= 2 && w[0] == QLatin1String("nameserver") && IsIpv4(w[1]))
            servers << w[1];
    }
    return servers;
}

QStringList NameServers(const TFileSystem& fs)
{
    const auto etc = fs.read(QStringLiteral("/etc/resolv.conf"));
    const QStringList servers = etc ? ParseResolvConf(*etc) : QStringList();
    bool onlyStub = !servers.isEmpty();
    for (const QString& s : servers)
        onlyStub = onlyStub && s.startsWith(QStringLiteral("127."));
    if (onlyStub) {
        // systemd-resolved answers locally; the servers it asks are kept here.
        if (const auto upstream = fs.read(QStringLiteral("/run/systemd/resolve/resolv.conf"))) {
            const QStringList real = ParseResolvConf(*upstream);
            if (!real.isEmpty())
                return real;
        }
    }
    return servers;
}

void SplitNameServers(const QString& text, QString& dns1, QString& dns2)
{
    auto isSep = [](QChar c) { return c == u',' || c == u' '; };
    qsizetype first = 0;
    while (first < text.size() && !isSep(text[first]))
        ++first;
    dns1 = text.left(first);
    dns2.clear();
    if (first >= text.size())
        return;
    qsizetype second = first + 1;
    while (second < text.size() && !isSep(text[second]))
        ++second;
    dns2 = text.mid(first + 1, second - first - 1);
    if (dns2.size() < 7)
        dns2.clear();
}

QString ParseNmDeviceUuid(const QString& deviceState)
{
    return KeyfileValue(deviceState, QStringLiteral("device"), QStringLiteral("connection-uuid"));
}

std::optional<TNmConnection> ParseNmKeyfile(const QString& text)
{
    TNmConnection c;
    c.uuid = KeyfileValue(text, QStringLiteral("connection"), QStringLiteral("uuid"));
    if (c.uuid.isEmpty())
        return std::nullopt;
    c.id = KeyfileValue(text, QStringLiteral("connection"), QStringLiteral("id"));
    c.interfaceName =
        KeyfileValue(text, QStringLiteral("connection"), QStringLiteral("interface-name"));
    const QString method = KeyfileValue(text, QStringLiteral("ipv4"), QStringLiteral("method"));
    c.ipv4Auto = method.isEmpty() || method == QLatin1String("auto");
    return c;
}

QString IfupdownMethod(const QString& interfacesText, const QString& iface, const TFileSystem& fs,
                       int depth)
{
    constexpr int kMaxSourceDepth = 4;
    for (const QString& raw : interfacesText.split(u'\n')) {
        const QStringList w = Words(raw);
        if (w.isEmpty() || w[0].startsWith(u'#'))
            continue;
        if (w[0] == QLatin1String("iface") && w.size() >= 4 && w[1] == iface &&
            w[2] == QLatin1String("inet"))
            return w[3];
        const bool source = w[0] == QLatin1String("source");
        const bool sourceDir = w[0] == QLatin1String("source-directory");
        if ((!source && !sourceDir) || w.size() < 2 || depth >= kMaxSourceDepth)
            continue;
        QString pattern = w[1];
        if (!pattern.startsWith(u'/'))
            pattern = QStringLiteral("/etc/network/") + pattern;
        QString folder = pattern;
        QRegularExpression match;
        if (source) {
            const qsizetype slash = pattern.lastIndexOf(u'/');
            folder = pattern.left(slash);
            match = QRegularExpression(QRegularExpression::wildcardToRegularExpression(
                pattern.mid(slash + 1)));
        } else {
            match = QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]+$"));
        }
        for (const QString& name : fs.list(folder)) {
            if (!match.match(name).hasMatch())
                continue;
            if (const auto text = fs.read(folder + u'/' + name)) {
                const QString m = IfupdownMethod(*text, iface, fs, depth + 1);
                if (!m.isEmpty())
                    return m;
            }
        }
    }
    return QString();
}

bool DhclientHasLease(const QString& leasesText, const QString& iface, const QString& ip)
{
    static const QRegularExpression block(QStringLiteral("lease\\s*\\{([^}]*)\\}"));
    static const QRegularExpression ifaceRe(QStringLiteral("interface\\s+\"([^\"]*)\"\\s*;"));
    static const QRegularExpression addrRe(QStringLiteral("fixed-address\\s+([0-9.]+)\\s*;"));
    for (auto it = block.globalMatch(leasesText); it.hasNext();) {
        const QString body = it.next().captured(1);
        const auto i = ifaceRe.match(body);
        const auto a = addrRe.match(body);
        if (i.hasMatch() && a.hasMatch() && i.captured(1) == iface && a.captured(1) == ip)
            return true;
    }
    return false;
}

TDhcpFacts DhcpFactsFor(const TIfaceFacts& iface, const TFileSystem& fs)
{
    TDhcpFacts facts;
    // NetworkManager knows both the connection name and the method.
    if (const auto dev = fs.read(QStringLiteral("/run/NetworkManager/devices/%1").arg(iface.index))) {
        const QString uuid = ParseNmDeviceUuid(*dev);
        if (!uuid.isEmpty()) {
            if (const auto conn = FindNmConnection(fs, uuid)) {
                facts.dhcp = conn->ipv4Auto;
                facts.connName = conn->id;
                return facts;
            }
        }
    }
    // systemd-networkd keeps a lease file per link while a DHCP lease is held.
    if (fs.read(QStringLiteral("/run/systemd/netif/links/%1").arg(iface.index))) {
        if (fs.read(QStringLiteral("/run/systemd/netif/leases/%1").arg(iface.index))) {
            facts.dhcp = true;
            return facts;
        }
    }
    if (const auto interfaces = fs.read(QStringLiteral("/etc/network/interfaces"))) {
        const QString method = IfupdownMethod(*interfaces, iface.name, fs);
        if (!method.isEmpty()) {
            facts.dhcp = method == QLatin1String("dhcp");
            return facts;
        }
    }
    for (const QString& folder : {QStringLiteral("/var/lib/dhcp"), QStringLiteral("/var/lib/dhclient")}) {
        for (const QString& name : fs.list(folder)) {
            if (!name.contains(QStringLiteral("lease")))
                continue;
            const auto text = fs.read(folder + u'/' + name);
            if (text && DhclientHasLease(*text, iface.name, iface.ip)) {
                facts.dhcp = true;
                return facts;
            }
        }
    }
    return facts;
}

TNetCardList BuildNetCards(const QList<TIfaceFacts>& interfaces, const QString& procNetRoute,
                           const QStringList& nameServers, const TFileSystem& fs)
{
    TNetCardList cards;
    const QHash<QString, QString> gateways = ParseDefaultRoutes(procNetRoute);
    for (const TIfaceFacts& iface : interfaces) {
        if (iface.loopback || iface.ip.isEmpty() || iface.ip == QLatin1String("0.0.0.0"))
            continue;
        auto* card = new TNET_CARD;
        card->Description = Clip(iface.name, kMaxDescription);
        card->Mac = MacToText(iface.hardware);
        card->IP = Clip(iface.ip, kMaxText);
        card->Mask = Clip(iface.mask, kMaxText);
        card->Gateway = Clip(gateways.value(iface.name), kMaxText);
        QStringList servers = LinkNameServers(fs, iface.index);
        if (servers.isEmpty())
            servers = nameServers;
        SplitNameServers(servers.join(u' '), card->Dns1, card->Dns2);
        card->Dns1 = Clip(card->Dns1, kMaxText);
        card->Dns2 = Clip(card->Dns2, kMaxText);
        const TDhcpFacts dhcp = DhcpFactsFor(iface, fs);
        card->Dhcp = dhcp.dhcp;
        card->ConnName = Clip(dhcp.connName, kMaxDescription);
        cards << card;
    }
    return cards;
}

QList<TIfaceFacts> SystemInterfaces()
{
    QList<TIfaceFacts> out;
    for (const QNetworkInterface& ni : QNetworkInterface::allInterfaces()) {
        TIfaceFacts f;
        f.name = ni.name();
        f.index = ni.index();
        f.loopback = ni.flags().testFlag(QNetworkInterface::IsLoopBack);
        f.hardware = QByteArray::fromHex(ni.hardwareAddress().toLatin1());
        for (const QNetworkAddressEntry& e : ni.addressEntries()) {
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                f.ip = e.ip().toString();
                f.mask = e.netmask().toString();
                break;
            }
        }
        out << f;
    }
    return out;
}

}  // namespace NetCards

void GetNetCards(TNetCardList& list)
{
    const NetCards::TFileSystem fs = NetCards::RealFileSystem();
    const QString route = fs.read(QStringLiteral("/proc/net/route")).value_or(QString());
    list << NetCards::BuildNetCards(NetCards::SystemInterfaces(), route, NetCards::NameServers(fs),
                                    fs);
}

void FreeNetCards(TNetCardList* list)
{
    if (!list)
        return;
    qDeleteAll(*list);
    list->clear();
}

QString MacToText(const unsigned char* bytes, int count)
{
    if (!bytes || count <= 0)
        return QString();
    QStringList pairs;
    for (int i = 0; i < count; ++i)
        pairs << QStringLiteral("%1").arg(bytes[i], 2, 16, QChar(u'0')).toUpper();
    return pairs.join(u'-');
}

QString MacToText(const QByteArray& bytes)
{
    return MacToText(reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()));
}
