#pragma once
// The ONVIF search on the wire: one UDP socket that sends the WS-Discovery Probe out of every
// IPv4 adapter to 239.255.255.250:3702 and reads the ProbeMatches that come back to it. Lives
// on the thread that owns it (the user-interface thread), like the other searches.

#include "OnvifDiscovery.h"

#include <QObject>
#include <QUdpSocket>
#include <functional>

namespace Onvif {

class TOnvifSearch : public QObject {
    Q_OBJECT
public:
    explicit TOnvifSearch(QObject* parent = nullptr);

    // Binds the socket to a free port of every local address. False when it cannot be bound.
    bool Start();
    void Stop();
    bool Running() const { return socket_.state() == QAbstractSocket::BoundState; }

    // One probe with a fresh MessageID, out of every adapter that is up, can multicast and has
    // an IPv4 address. Returns how many adapters it left through; send errors are swallowed.
    int SendProbe();

    // The hardware address of a replying address; the PC's neighbour table unless replaced.
    void SetNeighbourLookup(std::function<QString(const QString& ip)> lookup) {
        lookup_ = std::move(lookup);
    }

    // Datagrams received since Start (recognised or not).
    quint64 DatagramCount() const { return datagrams_; }

signals:
    // A camera answered one of the recent probes (once per probe and endpoint).
    void found(const TDevInfo& rec, const Onvif::TOnvifMatch& match);

private:
    void Read();

    QUdpSocket socket_;
    TOnvifProbeLog log_;
    std::function<QString(const QString&)> lookup_;
    quint64 datagrams_ = 0;
};

}  // namespace Onvif

Q_DECLARE_METATYPE(Onvif::TOnvifMatch)
