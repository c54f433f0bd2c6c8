#pragma once
// The PC's network adapters that the LAN search goes out of. On Linux a datagram to
// 255.255.255.255 leaves only through the adapter of the default route, so a camera cabled to
// a second network card would never hear a probe: every probe is sent out of each of these
// adapters, and each camera's record remembers the adapter it answered on, so that its
// commands leave through the same one.

#include <QList>
#include <QString>
#include <vector>

class QNetworkInterface;

struct TSearchAdapter {
    quint32 index = 0;  // interface index, as TDevInfo::Adapter holds it
    QString name;
    QString ip;         // its first IPv4 address
};

// Up and running, not loopback, able to broadcast, with an IPv4 address; in the system's order.
std::vector<TSearchAdapter> SearchAdapters();
// The same choice among the given interfaces.
std::vector<TSearchAdapter> SearchAdaptersAmong(const QList<QNetworkInterface>& interfaces);
// The interface indexes of SearchAdapters().
std::vector<quint32> SearchAdapterIndexes();
// The adapter's name ("eth1"), empty for 0 or an adapter that is gone.
QString AdapterName(quint32 index);
