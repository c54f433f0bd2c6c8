#pragma once
// The LAN search: five UDP sockets, the one-second tick that broadcasts one probe per camera
// dialect and then ages the list, and the receive handler that parses replies into the list.
// Widget-free; the advanced window and ipcam-scan each create one. Runs on the thread that
// owns it (the user-interface thread), so parsing and list updates never run concurrently.

#include "DeviceList.h"

#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <array>
#include <functional>

class DiscoveryEngine : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 1000;

    explicit DiscoveryEngine(QObject* parent = nullptr);
    ~DiscoveryEngine() override;

    TDeviceList& Devices() { return devices_; }
    const TDeviceList& Devices() const { return devices_; }

    // Binds the five sockets in their fixed order (a socket that cannot be bound stays closed
    // and its probes fail silently) and starts the tick. Returns the number of sockets bound.
    int Start();
    // Stops the tick, then the sockets.
    void Stop();
    bool Running() const { return timer_.isActive(); }

    // Finds a free local port at or above nominal and binds socket there.
    static bool BindUdp(QUdpSocket& socket, quint16 nominal);

    // One pass of probes; tick decides the "IMAGIAQUERY,0" probe, withLibrary also starts the
    // family-4 search. Send errors are swallowed. Always true.
    bool SendProbes(int tick, bool withLibrary);
    // The Find button: empty the list and search at once, with the library.
    void Find();
    // The advanced window was shown: search at once, without the library.
    void Shown();

    // The common receive handler for one datagram.
    void OnUdpRead(const QByteArray& datagram);
    // Recognises and parses one datagram (see ParseReply in Probes.h) and sends the next
    // family-8 request when the datagram calls for one.
    bool ParseReply(const QByteArray& datagram, TDevInfo& rec);

    // Families searched by drivers of their own join the tick here: family 9 runs on every
    // pass, family 4 only with the library. Their records come back through DeliverRecord.
    void SetFamily9Search(std::function<void()> search) { family9Search_ = std::move(search); }
    void SetFamily4Search(std::function<void()> search) { family4Search_ = std::move(search); }

    // Broadcasts bytes from socket 1..5 to port (settings commands use the sockets too).
    // False when the socket is not bound or the send failed.
    bool SendBroadcast(int socketNumber, const QByteArray& bytes, quint16 port);

    int TickCount() const { return tick_; }
    // Datagrams received on all five sockets since construction (recognised or not).
    quint64 DatagramCount() const { return datagrams_; }
    // Local port of socket 1..5, or 0 when it is not bound.
    quint16 LocalPort(int socketNumber) const;
    QUdpSocket& Socket(int socketNumber) { return *sockets_[size_t(socketNumber - 1)]; }

public slots:
    // Merges a record found by any family's search, exactly as a parsed datagram is merged.
    void DeliverRecord(const TDevInfo& rec);
    // One timer tick: probes, then expiry.
    void Timer1Timer();

signals:
    // A reply added a row; the window selects and focuses the first row when none is.
    void deviceAdded();
    // A pass of probes went out (after expiry when it was a tick).
    void ticked(int tick);

private:
    void Merge(const TDevInfo& rec);
    void IdUDPServerRead();

    TDeviceList devices_;
    std::array<QUdpSocket*, 5> sockets_{};
    QTimer timer_;
    int tick_ = 0;
    quint64 datagrams_ = 0;
    std::function<void()> family9Search_;
    std::function<void()> family4Search_;
};
