#pragma once
// The LAN search: five UDP sockets, the one-second tick that sends every family's probes and
// then ages the list, and the receive handler that hands each datagram to the families until
// one recognises it. Widget-free; the advanced window and the ipcam tool each create one. Runs
// on the thread that owns it (the user-interface thread), so parsing and list updates never
// run concurrently.

#include "CameraFamily.h"
#include "DeviceList.h"
#include "ReplyCache.h"
#include "SearchAdapters.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <array>

class TFamilyRegistry;

namespace DiscoveryNet {
// Every probe and settings command goes to the limited broadcast address.
inline const QHostAddress kBroadcast() { return QHostAddress(QHostAddress::Broadcast); }

// Nominal local ports of the five sockets, by socket number. The families name the socket
// each of their datagrams leaves from.
inline constexpr quint16 kLocalPort1 = 10001;
inline constexpr quint16 kLocalPort2 = 10000;
inline constexpr quint16 kLocalPort3 = 10002;
inline constexpr quint16 kLocalPort4 = 7999;
inline constexpr quint16 kLocalPort5 = 6800;
// BindUdp looks this far above the nominal port for a free one.
inline constexpr int kBindRange = 1000;

// Datagrams are received into a buffer of this size; longer ones are cut.
inline constexpr int kReceiveBufferSize = 1024;
}  // namespace DiscoveryNet

class DiscoveryEngine : public QObject, public ISearchSink {
    Q_OBJECT
public:
    static constexpr int kTickMs = 1000;
    static constexpr int kSocketCount = 5;

    // families must outlive the engine.
    explicit DiscoveryEngine(TFamilyRegistry& families, QObject* parent = nullptr);
    ~DiscoveryEngine() override;

    TDeviceList& Devices() { return devices_; }
    const TDeviceList& Devices() const override;
    TFamilyRegistry& Families() { return families_; }

    // Binds the five sockets in their fixed order (a socket that cannot be bound stays closed
    // and its probes fail silently) and starts the tick. Returns the number of sockets bound.
    int Start();
    // Stops the tick, the families' own searches, then the sockets.
    void Stop();
    bool Running() const { return timer_.isActive(); }
    // Pauses and resumes the tick alone (a firmware upgrade runs without the search).
    void PauseTick() { timer_.stop(); }
    void ResumeTick();

    // Finds a free local port at or above nominal and binds socket there.
    static bool BindUdp(QUdpSocket& socket, quint16 nominal);

    // One pass of probes of every family, in the registry's order, out of every adapter of
    // the search (read anew for each pass); tick decides the probes that go out only every few
    // ticks, withLibrary also starts the searches of outside libraries. Send errors are
    // swallowed. Always true.
    bool SendProbes(int tick, bool withLibrary);
    // The Find button: empty the list and search at once, with the library.
    void Find();
    // The advanced window was shown: search at once, without the library.
    void Shown();

    // The common receive handler for one datagram that came in on adapter (an interface
    // index; 0 when not known). A datagram read before is replayed from the reply cache.
    void OnUdpRead(const QByteArray& datagram, quint32 adapter = 0);
    const TReplyCache& Replies() const { return replies_; }
    // Asks the families in order until one recognises the datagram; true when rec is to be
    // merged. A family may answer through the sockets (the family-8 exchange).
    bool ParseReply(const QByteArray& datagram, TDevInfo& rec);

    // ISearchSink. SendBroadcast may be called from any thread: from another one it is run on
    // the engine's thread, which must be running its event loop meanwhile.
    bool SendBroadcast(int socketNumber, const QByteArray& bytes, quint16 port) override;
    bool SendBroadcastOn(quint32 adapter, int socketNumber, const QByteArray& bytes,
                         quint16 port) override;
    // The engine's thread only.
    std::vector<quint32> SearchAdapterIndexes() const override;
    QObject* SearchOwner() override { return this; }

    // The adapters of the last pass of probes. Without any (loopback only) a datagram goes to
    // the broadcast address as the routing table sends it.
    const std::vector<TSearchAdapter>& Adapters() const { return adapters_; }
    void RefreshAdapters();

    int TickCount() const { return tick_; }
    // Datagrams received on all five sockets since construction (recognised or not).
    quint64 DatagramCount() const { return datagrams_; }
    // Local port of socket 1..5, or 0 when it is not bound.
    quint16 LocalPort(int socketNumber) const;
    QUdpSocket& Socket(int socketNumber) { return *sockets_[size_t(socketNumber - 1)]; }

public slots:
    // Merges a record found by any family's search, exactly as a parsed datagram is merged.
    void DeliverRecord(const TDevInfo& rec) override;
    // One timer tick: probes, then expiry.
    void OnTick();

signals:
    // A reply added a row; the window selects and focuses the first row when none is.
    void deviceAdded();
    // A pass of probes went out (after expiry when it was a tick).
    void ticked(int tick);

private:
    void Merge(const TDevInfo& rec);
    void ReadPendingDatagrams();
    bool SendBroadcastHere(quint32 adapter, int socketNumber, const QByteArray& bytes,
                           quint16 port);

    TFamilyRegistry& families_;
    TDeviceList devices_;
    TReplyCache replies_;
    // While a datagram is parsed: what the family sends in answer, and whether it looked at
    // the list.
    bool recording_ = false;
    mutable bool listConsulted_ = false;
    std::vector<TSentDatagram> recorded_;
    std::array<QUdpSocket*, kSocketCount> sockets_{};
    QTimer timer_;
    std::vector<TSearchAdapter> adapters_;
    bool adaptersRead_ = false;
    int tick_ = 0;
    quint64 datagrams_ = 0;
};
