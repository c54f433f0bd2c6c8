#include "DiscoveryEngine.h"

#include "FamilyRegistry.h"

#include <QNetworkDatagram>
#include <QThread>

using namespace DiscoveryNet;

namespace {
// Room for a whole tick of replies from a large LAN between two event-loop turns; the kernel
// caps it at its own limit.
constexpr int kKernelReceiveBuffer = 4 * 1024 * 1024;
}  // namespace

DiscoveryEngine::DiscoveryEngine(TFamilyRegistry& families, QObject* parent)
    : QObject(parent), families_(families), devices_(&families)
{
    for (auto& s : sockets_) {
        s = new QUdpSocket(this);
        connect(s, &QUdpSocket::readyRead, this, &DiscoveryEngine::ReadPendingDatagrams);
    }
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &DiscoveryEngine::OnTick);
}

DiscoveryEngine::~DiscoveryEngine()
{
    Stop();
}

bool DiscoveryEngine::BindUdp(QUdpSocket& socket, quint16 nominal)
{
    // A scratch socket finds the first free port, so that the real socket is only touched
    // once a port is known to be free.
    int found = -1;
    {
        QUdpSocket scratch;
        for (int port = nominal; port < nominal + kBindRange && port <= 0xFFFF; ++port) {
            if (scratch.bind(QHostAddress::AnyIPv4, quint16(port),
                             QAbstractSocket::DontShareAddress)) {
                found = port;
                break;
            }
        }
        scratch.abort();
    }
    if (found < 0)
        return false;
    // Another program may take the port in between: go on upwards.
    for (int port = found; port < found + kBindRange && port <= 0xFFFF; ++port) {
        socket.abort();
        // Without address sharing, a second instance of the search cannot steal the port.
        if (socket.bind(QHostAddress::AnyIPv4, quint16(port), QAbstractSocket::DontShareAddress)) {
            socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                   kKernelReceiveBuffer);
            return true;
        }
    }
    socket.abort();
    return false;
}

int DiscoveryEngine::Start()
{
    Stop();
    tick_ = 0;
    int bound = 0;
    // Order matters: each later socket looks for its port above the ones already taken.
    const std::pair<int, quint16> order[] = {
        {2, kLocalPort2}, {1, kLocalPort1}, {3, kLocalPort3}, {4, kLocalPort4}, {5, kLocalPort5}};
    for (const auto& [number, port] : order) {
        if (BindUdp(Socket(number), port))
            ++bound;
    }
    timer_.start();
    return bound;
}

void DiscoveryEngine::Stop()
{
    timer_.stop();
    families_.StopSearches();
    for (QUdpSocket* s : sockets_)
        s->abort();
}

void DiscoveryEngine::ResumeTick()
{
    if (!timer_.isActive())
        timer_.start();
}

quint16 DiscoveryEngine::LocalPort(int socketNumber) const
{
    if (socketNumber < 1 || socketNumber > kSocketCount)
        return 0;
    const QUdpSocket* s = sockets_[size_t(socketNumber - 1)];
    return s->state() == QAbstractSocket::BoundState ? s->localPort() : 0;
}

bool DiscoveryEngine::SendBroadcast(int socketNumber, const QByteArray& bytes, quint16 port)
{
    return SendBroadcastOn(0, socketNumber, bytes, port);
}

bool DiscoveryEngine::SendBroadcastOn(quint32 adapter, int socketNumber, const QByteArray& bytes,
                                      quint16 port)
{
    if (QThread::currentThread() == thread())
        return SendBroadcastHere(adapter, socketNumber, bytes, port);
    // Sockets belong to the engine's thread.
    bool sent = false;
    QMetaObject::invokeMethod(
        this, [&] { sent = SendBroadcastHere(adapter, socketNumber, bytes, port); },
        Qt::BlockingQueuedConnection);
    return sent;
}

const TDeviceList& DiscoveryEngine::Devices() const
{
    listConsulted_ = true;
    return devices_;
}

bool DiscoveryEngine::SendBroadcastHere(quint32 adapter, int socketNumber,
                                        const QByteArray& bytes, quint16 port)
{
    if (recording_)
        recorded_.push_back({adapter, socketNumber, bytes, port});
    if (socketNumber < 1 || socketNumber > kSocketCount)
        return false;
    QUdpSocket* s = sockets_[size_t(socketNumber - 1)];
    // An unbound socket would bind itself to a random port on send; it sends nothing instead.
    if (s->state() != QAbstractSocket::BoundState)
        return false;
    auto sendOn = [&](quint32 index) {
        QNetworkDatagram d(bytes, kBroadcast(), port);
        // The outgoing interface per datagram (IP_PKTINFO): a limited broadcast leaves there
        // instead of through the default route's adapter.
        if (index != 0)
            d.setInterfaceIndex(index);
        return s->writeDatagram(d) == bytes.size();
    };
    if (adapter != 0)
        return sendOn(adapter);
    if (!adaptersRead_)
        RefreshAdapters();
    if (adapters_.empty())
        return sendOn(0);
    bool any = false;
    for (const TSearchAdapter& a : adapters_)
        any = sendOn(a.index) || any;
    return any;
}

void DiscoveryEngine::RefreshAdapters()
{
    adapters_ = SearchAdapters();
    adaptersRead_ = true;
}

std::vector<quint32> DiscoveryEngine::SearchAdapterIndexes() const
{
    std::vector<quint32> out;
    out.reserve(adapters_.size());
    for (const TSearchAdapter& a : adapters_)
        out.push_back(a.index);
    return out;
}

bool DiscoveryEngine::SendProbes(int tick, bool withLibrary)
{
    // Adapters come and go (a cable plugged in, a VPN): each pass goes out of those up now.
    RefreshAdapters();
    for (const auto& family : families_.All())
        family->SendProbes(*this, tick, withLibrary);
    return true;
}

void DiscoveryEngine::Find()
{
    devices_.ClearDevices();
    replies_.Clear();
    SendProbes(0, true);
}

void DiscoveryEngine::Shown()
{
    SendProbes(0, false);
}

void DiscoveryEngine::OnTick()
{
    SendProbes(tick_, false);
    devices_.ExpireTick();
    emit ticked(tick_);
    ++tick_;
}

void DiscoveryEngine::ReadPendingDatagrams()
{
    auto* s = qobject_cast<QUdpSocket*>(sender());
    if (!s)
        return;
    while (s->hasPendingDatagrams()) {
        const QNetworkDatagram dg = s->receiveDatagram(kReceiveBufferSize);
        if (!dg.isValid())
            break;
        ++datagrams_;
        OnUdpRead(dg.data(), dg.interfaceIndex());
    }
}

bool DiscoveryEngine::ParseReply(const QByteArray& datagram, TDevInfo& rec)
{
    return families_.ParseReply(datagram, rec, *this);
}

void DiscoveryEngine::OnUdpRead(const QByteArray& datagram, quint32 adapter)
{
    TReplyKey key{adapter, datagram.left(kReceiveBufferSize)};
    if (const TReplyOutcome* seen = replies_.Find(key)) {
        if (!seen->record || devices_.Refresh(seen->row, adapter)) {
            for (const TSentDatagram& d : seen->sent)
                SendBroadcastHere(d.adapter, d.socket, d.bytes, d.port);
            return;
        }
        replies_.Forget(key);  // its row changed or went: read it anew
    }

    TDevInfo rec;
    rec.Family = kFamilyNone;
    rec.Adapter = adapter;
    recorded_.clear();
    listConsulted_ = false;
    recording_ = true;
    const ICameraFamily* by = nullptr;
    const bool merge = families_.ParseReply(key.bytes, rec, *this, &by);
    recording_ = false;
    if (merge) {
        rec.Adapter = adapter;  // where it answered, whatever the parser copied in
        Merge(rec);
    }
    if (!by || !by->Traits().repeatableReplies)
        return;
    TReplyOutcome outcome;
    if (merge && rec.Family != kFamilyNone) {
        outcome.record = true;
        outcome.row = devices_.RefOf(rec.Mac);
    } else if (merge || listConsulted_) {
        return;  // no record, but it might give one once the list holds its camera
    }
    outcome.sent = std::move(recorded_);
    replies_.Keep(std::move(key), std::move(outcome), devices_);
}

void DiscoveryEngine::DeliverRecord(const TDevInfo& rec)
{
    Merge(rec);
}

void DiscoveryEngine::Merge(const TDevInfo& rec)
{
    if (devices_.AddOrUpdateDevice(rec))
        emit deviceAdded();
    devices_.UpdateDeviceCount();
}
