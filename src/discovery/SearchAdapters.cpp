#include "SearchAdapters.h"

#include <QNetworkInterface>

std::vector<TSearchAdapter> SearchAdaptersAmong(const QList<QNetworkInterface>& interfaces)
{
    std::vector<TSearchAdapter> out;
    for (const QNetworkInterface& i : interfaces) {
        const auto flags = i.flags();
        // An adapter without a link (cable out) has nobody to hear the probe.
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack) || !(flags & QNetworkInterface::CanBroadcast) ||
            i.index() <= 0)
            continue;
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            const QHostAddress ip = e.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.toIPv4Address() == 0)
                continue;
            out.push_back({quint32(i.index()), i.name(), ip.toString()});
            break;
        }
    }
    return out;
}

std::vector<TSearchAdapter> SearchAdapters()
{
    return SearchAdaptersAmong(QNetworkInterface::allInterfaces());
}

std::vector<quint32> SearchAdapterIndexes()
{
    std::vector<quint32> out;
    for (const TSearchAdapter& a : SearchAdapters())
        out.push_back(a.index);
    return out;
}

QString AdapterName(quint32 index)
{
    return index == 0 ? QString() : QNetworkInterface::interfaceNameFromIndex(int(index));
}
