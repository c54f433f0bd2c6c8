#include "OnvifSearch.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>

namespace Onvif {

namespace {

// Answers of a few kilobytes; the cap only guards the read buffer.
constexpr qint64 kMaxDatagram = 65535;

bool HasIpv4(const QNetworkInterface& iface) {
    for (const QNetworkAddressEntry& e : iface.addressEntries()) {
        if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
            return true;
    }
    return false;
}

}  // namespace

TOnvifSearch::TOnvifSearch(QObject* parent) : QObject(parent), lookup_([](const QString& ip) {
    return NeighbourMac(ip);
}) {
    qRegisterMetaType<TDevInfo>("TDevInfo");
    qRegisterMetaType<Onvif::TOnvifMatch>("Onvif::TOnvifMatch");
    connect(&socket_, &QUdpSocket::readyRead, this, &TOnvifSearch::Read);
}

bool TOnvifSearch::Start() {
    if (Running())
        return true;
    datagrams_ = 0;
    return socket_.bind(QHostAddress::AnyIPv4, 0);
}

void TOnvifSearch::Stop() { socket_.close(); }

int TOnvifSearch::SendProbe() {
    if (!Running())
        return 0;
    const TOnvifProbe probe = BuildProbe();
    log_.Sent(probe.messageId);
    const QHostAddress group(QString::fromLatin1(kDiscoveryGroup));
    int sent = 0;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::CanMulticast) ||
            (flags & QNetworkInterface::IsLoopBack) || !HasIpv4(iface))
            continue;
        socket_.setMulticastInterface(iface);
        if (socket_.writeDatagram(probe.datagram, group, kDiscoveryPort) == probe.datagram.size())
            ++sent;
    }
    return sent;
}

void TOnvifSearch::Read() {
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket_.receiveDatagram(kMaxDatagram);
        ++datagrams_;
        if (!d.isValid())
            continue;
        bool ok = false;
        const QHostAddress sender(d.senderAddress().toIPv4Address(&ok));
        if (!ok)
            continue;
        const QString from = sender.toString();
        for (const TOnvifMatch& m : AcceptProbeMatches(d.data(), log_))
            emit found(DevInfoFromMatch(m, lookup_(from)), m);
    }
}

}  // namespace Onvif
