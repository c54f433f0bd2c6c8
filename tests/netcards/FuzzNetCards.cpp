// libFuzzer target: any bytes as the files a machine keeps about its adapters, read through a
// file system of the input's own making by the same calls GetNetCards makes (BuildNetCards
// with NameServers), and each file through every parser as well: routes, resolver lists,
// NetworkManager device and connection files, ifupdown interfaces with their "source" lines,
// dhclient leases.
// Input: the text up to the first line that starts with "@@ " is /proc/net/route; each such
// line names the path of the file whose text follows it.
// Run by scripts/fuzz (fuzz_netcards).

#include "NetCards.h"

#include <QHostAddress>
#include <QMap>
#include <cstdint>

using namespace NetCards;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

bool IsIpv4(const QString& s)
{
    QHostAddress a;
    return a.setAddress(s) && a.protocol() == QAbstractSocket::IPv4Protocol;
}

QMap<QString, QByteArray> Files(const QByteArray& input)
{
    QMap<QString, QByteArray> files;
    QString path = QStringLiteral("/proc/net/route");
    QByteArray text;
    qsizetype at = 0;
    while (at <= input.size()) {
        qsizetype eol = input.indexOf('\n', at);
        if (eol < 0)
            eol = input.size();
        const QByteArray line = input.mid(at, eol - at);
        if (line.startsWith("@@ ")) {
            files.insert(path, text);
            path = QString::fromUtf8(line.mid(3)).trimmed();
            text.clear();
        } else {
            text += line;
            if (eol < input.size())
                text += '\n';
        }
        at = eol + 1;
    }
    files.insert(path, text);
    return files;
}

TIfaceFacts Iface(const char* name, int index, const char* ip, const char* mask, bool loopback = false)
{
    TIfaceFacts f;
    f.name = QLatin1String(name);
    f.index = index;
    f.ip = QLatin1String(ip);
    f.mask = QLatin1String(mask);
    f.loopback = loopback;
    f.hardware = loopback ? QByteArray() : QByteArray::fromHex("001a2b3c4d5e");
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QList<TIfaceFacts> interfaces = {
        Iface("lo", 1, "127.0.0.1", "255.0.0.0", true), Iface("eth0", 2, "10.0.0.20", "255.0.0.0"),
        Iface("wlan0", 3, "192.168.1.33", "255.255.255.0"),
        Iface("enp3s0", 4, "192.168.1.77", "255.255.255.0"),
        Iface("eth1", 5, "192.168.5.2", "255.255.255.0"), Iface("docker0", 6, "", "")};

    const QMap<QString, QByteArray> files =
        Files(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    TFileSystem fs;
    // Read as RealFileSystem reads: UTF-8.
    fs.read = [&](const QString& path) -> std::optional<QString> {
        const auto it = files.constFind(path);
        if (it == files.constEnd())
            return std::nullopt;
        return QString::fromUtf8(*it);
    };
    fs.list = [&](const QString& folder) {
        QStringList names;
        const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            if (it.key().startsWith(prefix) && !it.key().mid(prefix.size()).contains(QLatin1Char('/')) &&
                it.key().size() > prefix.size())
                names << it.key().mid(prefix.size());
        }
        return names;
    };

    const QString route = fs.read(QStringLiteral("/proc/net/route")).value_or(QString());
    TNetCardList cards = BuildNetCards(interfaces, route, NameServers(fs), fs);
    Check(cards.size() == 4);
    for (const TNET_CARD* c : cards) {
        Check(c->Description.size() <= kMaxDescription && c->ConnName.size() <= kMaxDescription);
        Check(c->Gateway.isEmpty() || IsIpv4(c->Gateway));
        Check(c->Dns1.isEmpty() || IsIpv4(c->Dns1));
        Check(c->Dns2.isEmpty() || IsIpv4(c->Dns2));
        Check(c->Mac == QLatin1String("00-1A-2B-3C-4D-5E"));
    }
    FreeNetCards(&cards);
    Check(cards.isEmpty());

    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString text = QString::fromUtf8(*it);
        for (const QString& gw : ParseDefaultRoutes(text))
            Check(IsIpv4(gw));
        for (const QString& server : ParseResolvConf(text))
            Check(IsIpv4(server));
        ParseNmDeviceUuid(text);
        if (const std::optional<TNmConnection> c = ParseNmKeyfile(text))
            Check(!c->uuid.isEmpty());
        IfupdownMethod(text, QStringLiteral("eth0"), fs);
        DhclientHasLease(text, QStringLiteral("eth0"), QStringLiteral("10.0.0.20"));
    }
    QString dns1, dns2;
    SplitNameServers(QString::fromUtf8(files.value(QStringLiteral("/etc/resolv.conf"))), dns1, dns2);
    Check(dns2.isEmpty() || dns2.size() >= 7);
    return 0;
}
