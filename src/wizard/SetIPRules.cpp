#include "SetIPRules.h"

#include "NetAddress.h"

namespace SetIP {

int Seed(const QString& mac, int clockMs) {
    qsizetype at = mac.size() - 2;
    QString pair = at >= 0 ? mac.mid(at, 2) : mac;
    while ((pair.isEmpty() || pair == QLatin1String("00")) && at - 3 >= 0) {
        at -= 3;
        pair = mac.mid(at, 2);
    }
    bool ok = false;
    const int value = pair.toInt(&ok, 16);
    if (ok && value >= 1 && value <= 255 && pair != QLatin1String("00"))
        return value;
    return ((clockMs % 1000) + 1000) % 1000;
}

namespace {

QString Prefix(const TIp4& a) {
    return QStringLiteral("%1.%2.%3.").arg(a[0]).arg(a[1]).arg(a[2]);
}

}  // namespace

TNewSettings Decide(const TDevInfo& rec, const QString& pcIp, const QString& gateway, int clockMs,
                    const QStringList& inUse) {
    TNewSettings out;
    const std::optional<TIp4> pc = IpToBytes(pcIp);
    const std::optional<TIp4> cam = IpToBytes(rec.IP);
    if (!pc) {
        out.decision = TDecision::kImpossible;
        return out;
    }
    const bool sameSubnet = cam && (*cam)[0] == (*pc)[0] && (*cam)[1] == (*pc)[1] && (*cam)[2] == (*pc)[2];
    const bool factory = rec.IP == QLatin1String(kFactoryIp);

    if (!factory && rec.HttpPort != kFactoryPort && sameSubnet) {
        if (rec.AddrMode != kAddrDhcp)
            return out;
        out.decision = TDecision::kSend;
        out.settings = rec;
        out.settings.AddrMode = kAddrStatic;
        return out;
    }

    const int seed = Seed(rec.Mac, clockMs);
    TDevInfo n = rec;
    if (factory || !sameSubnet) {
        int x = (cam ? (*cam)[3] : 0) + seed;
        if (x > 255)
            x %= 255;
        const QString prefix = Prefix(*pc);
        // The rule above can give the subnet's own addresses (0 and 255) or one that is taken;
        // a camera there would be unreachable, or would take another device's place.
        int tries = 0;
        auto usable = [&](int octet) {
            const QString a = prefix + QString::number(octet);
            return octet >= 1 && octet <= 254 && a != pcIp && a != gateway && !inUse.contains(a);
        };
        while (!usable(x)) {
            if (++tries > 254) {
                out.decision = TDecision::kImpossible;
                return out;
            }
            x = x >= 254 ? 1 : x + 1;
        }
        n.IP = prefix + QString::number(x);
    }
    if (rec.HttpPort == kFactoryPort)
        n.HttpPort = quint16(kNewPortBase + seed);
    n.DataPort = quint16(rec.DataPort + kDataPortStep + seed);
    n.Gateway = gateway;
    n.Dns1 = QLatin1String(kDns1);
    n.Dns2 = QLatin1String(kDns2);
    n.AddrMode = kAddrStatic;
    out.decision = TDecision::kSend;
    out.settings = n;
    return out;
}

}  // namespace SetIP
