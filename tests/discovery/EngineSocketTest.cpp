// The search over real sockets. Runs only inside a private network namespace with a veth
// pair and a default route, so that broadcasts go nowhere but back to this process.

#include "DiscoveryEngine.h"
#include "Bin8Family.h"
#include "CtpFamily.h"
#include "CtpMessage.h"
#include "FakeSearchSink.h"
#include "LegacyFamilies.h"
#include "MoiFamily.h"
#include "TestPackets.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>

using namespace DiscoveryNet;

namespace {

bool WaitFor(const std::function<bool()>& cond, int ms = 3000)
{
    return QTest::qWaitFor(cond, ms);
}

// A datagram no family takes for a reply.
const QByteArray kFence("fence");

// Broadcasts the fence to port. Datagrams take the same way out and in, one after the other:
// once the fence has arrived, everything sent before it has arrived too.
void SendFence(quint16 port)
{
    QUdpSocket s;
    s.writeDatagram(kFence, QHostAddress(QHostAddress::Broadcast), port);
}

// Collects what arrives on one port (fences counted apart).
class Listener {
public:
    explicit Listener(quint16 port) : port_(port)
    {
        bound = socket.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress);
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram();
                if (d.data() == kFence)
                    ++fences;
                else
                    got.push_back(d);
            }
        });
    }
    // Everything sent to the port so far has arrived.
    bool Settle()
    {
        const int before = fences;
        SendFence(port_);
        return WaitFor([&] { return fences > before; });
    }
    QUdpSocket socket;
    bool bound = false;
    std::vector<QNetworkDatagram> got;
    int fences = 0;

private:
    quint16 port_;
};

// Everything sent to the engine's socket so far has been read (and parsed).
bool SettleEngine(DiscoveryEngine& engine, int socketNumber)
{
    const quint64 before = engine.DatagramCount();
    SendFence(engine.LocalPort(socketNumber));
    return WaitFor([&] { return engine.DatagramCount() > before; });
}

}  // namespace

TEST(EngineSockets, BindUdpMovesUpPastTakenPorts)
{
    QUdpSocket taken1, taken2;
    ASSERT_TRUE(taken1.bind(QHostAddress::AnyIPv4, 20000, QAbstractSocket::DontShareAddress));
    // A port shared by its owner is still not ours to take.
    ASSERT_TRUE(taken2.bind(QHostAddress::AnyIPv4, 20001,
                            QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    QUdpSocket s;
    ASSERT_TRUE(DiscoveryEngine::BindUdp(s, 20000));
    EXPECT_EQ(s.localPort(), 20002);

    QUdpSocket free;
    ASSERT_TRUE(DiscoveryEngine::BindUdp(free, 20010));
    EXPECT_EQ(free.localPort(), 20010);
}

TEST(EngineSockets, BindUdpGivesUpAfterAThousandPorts)
{
    std::vector<std::unique_ptr<QUdpSocket>> taken;
    for (int p = 30000; p < 31000; ++p) {
        auto s = std::make_unique<QUdpSocket>();
        ASSERT_TRUE(s->bind(QHostAddress::AnyIPv4, quint16(p), QAbstractSocket::DontShareAddress));
        taken.push_back(std::move(s));
    }
    QUdpSocket s;
    EXPECT_FALSE(DiscoveryEngine::BindUdp(s, 30000));
    EXPECT_EQ(s.state(), QAbstractSocket::UnconnectedState);
    QUdpSocket next;
    ASSERT_TRUE(DiscoveryEngine::BindUdp(next, 30500));
    EXPECT_EQ(next.localPort(), 31000);
}

TEST(EngineSockets, FiveSocketsAtTheirNominalPortsAndASecondEngineBeside)
{
    DiscoveryEngine a(testsupport::Families()), b(testsupport::Families());
    ASSERT_EQ(a.Start(), 5);
    EXPECT_EQ(a.LocalPort(1), kLocalPort1);
    EXPECT_EQ(a.LocalPort(2), kLocalPort2);
    EXPECT_EQ(a.LocalPort(3), kLocalPort3);
    EXPECT_EQ(a.LocalPort(4), kLocalPort4);
    EXPECT_EQ(a.LocalPort(5), kLocalPort5);
    ASSERT_EQ(b.Start(), 5);
    std::set<quint16> ports;
    for (int n = 1; n <= 5; ++n) {
        ports.insert(a.LocalPort(n));
        ports.insert(b.LocalPort(n));
    }
    EXPECT_EQ(ports.size(), 10u);
    EXPECT_EQ(b.LocalPort(4), 8000);
    a.Stop();
    EXPECT_EQ(a.LocalPort(1), 0);
}

TEST(EngineSockets, EachProbeGoesToItsPortFromItsSocket)
{
    // Take the destination ports first; the engine's own sockets move up.
    Listener moi(MoI::kPort), sq(Legacy::kSq610Port), uicam(Legacy::kUicamPort), ctp(CtpFamily::kPort),
        bin8(Bin8::kPort);
    for (Listener* l : {&moi, &sq, &uicam, &ctp, &bin8})
        ASSERT_TRUE(l->bound);
    DiscoveryEngine engine(testsupport::Families());  // not started: no timer, sockets bound by hand
    for (int n = 1; n <= 5; ++n)
        ASSERT_TRUE(DiscoveryEngine::BindUdp(engine.Socket(n), quint16(12000 + 10 * n)));

    engine.SendProbes(3, false);
    ASSERT_TRUE(WaitFor([&] {
        return moi.got.size() >= 2 && !sq.got.empty() && !uicam.got.empty() && !ctp.got.empty() &&
               !bin8.got.empty();
    })) << "probes did not arrive; is the namespace set up with a default route?";
    for (Listener* l : {&moi, &sq, &uicam, &ctp, &bin8})
        ASSERT_TRUE(l->Settle());

    struct Expect {
        Listener* at;
        QByteArray bytes;
        quint16 fromPort;
    } expected[] = {{&moi, Legacy::ImagiaProbe(), 12010}, {&moi, MoI::SearchProbe(), 12020},
                    {&sq, Legacy::Sq610Probe(), 12010},   {&uicam, Legacy::UicamProbe(), 12030},
                    {&ctp, Ctp::SearchRequest(), 12040},    {&bin8, Bin8::SearchProbe(), 12050}};
    for (const Expect& e : expected) {
        const auto it = std::find_if(e.at->got.begin(), e.at->got.end(),
                                     [&](const QNetworkDatagram& d) { return d.data() == e.bytes; });
        ASSERT_NE(it, e.at->got.end()) << e.bytes.left(8).toHex().constData();
        EXPECT_EQ(it->senderPort(), e.fromPort);
        if (!it->destinationAddress().isNull()) {
            EXPECT_EQ(it->destinationAddress(), QHostAddress(QHostAddress::Broadcast));
        }
    }
    EXPECT_EQ(moi.got.size(), 2u);

    // Tick 1: no "IMAGIAQUERY,0".
    moi.got.clear();
    engine.SendProbes(1, false);
    ASSERT_TRUE(moi.Settle());
    ASSERT_EQ(moi.got.size(), 1u);
    EXPECT_EQ(moi.got[0].data(), MoI::SearchProbe());
}

TEST(EngineSockets, AnUnboundSocketSendsNothing)
{
    Listener ctp(CtpFamily::kPort), bin8(Bin8::kPort);
    DiscoveryEngine engine(testsupport::Families());  // never started
    engine.SendProbes(0, true);
    ASSERT_TRUE(ctp.Settle());
    ASSERT_TRUE(bin8.Settle());
    EXPECT_TRUE(ctp.got.empty());
    EXPECT_TRUE(bin8.got.empty());
    EXPECT_EQ(engine.Socket(4).state(), QAbstractSocket::UnconnectedState);
}

TEST(EngineSockets, OwnProbesComingBackAreDropped)
{
    DiscoveryEngine engine(testsupport::Families());
    ASSERT_EQ(engine.Start(), 5);
    for (int tick = 0; tick < 3; ++tick)
        engine.SendProbes(tick, false);
    // Socket 2 hears "IMAGIAQUERY,0" and "MO_I", socket 4 its own "SEARCH".
    ASSERT_TRUE(WaitFor([&] { return engine.DatagramCount() >= 5; }));
    ASSERT_TRUE(SettleEngine(engine, 2));
    ASSERT_TRUE(SettleEngine(engine, 4));
    EXPECT_EQ(engine.DatagramCount(), 7u + 2u) << "three passes heard back, and the two fences";
    EXPECT_EQ(engine.Devices().Count(), 0);
}

TEST(EngineSockets, RepliesAreRecognisedByContentOnAnySocket)
{
    DiscoveryEngine engine(testsupport::Families());
    ASSERT_EQ(engine.Start(), 5);
    QSignalSpy added(&engine, &DiscoveryEngine::deviceAdded);
    QUdpSocket cam;
    const QByteArray ctp = testpk::CtpReply({"-mac=00:11:22:33:44:55", "-ip=127.0.0.1", "-name=lo"});
    testpk::MoIReply m;
    m.mac = "AABBCCDDEEFF";
    cam.writeDatagram(ctp, QHostAddress::LocalHost, engine.LocalPort(1));
    cam.writeDatagram(testpk::Build(m), QHostAddress::LocalHost, engine.LocalPort(5));
    ASSERT_TRUE(WaitFor([&] { return engine.Devices().Count() == 2; }));
    EXPECT_EQ(added.count(), 2);
    EXPECT_NE(engine.Devices().FindRecordByMac("001122334455"), nullptr);
    EXPECT_NE(engine.Devices().FindRecordByMac("AABBCCDDEEFF"), nullptr);
    cam.writeDatagram(ctp, QHostAddress::LocalHost, engine.LocalPort(3));
    const quint64 read = engine.DatagramCount();
    cam.writeDatagram(kFence, QHostAddress::LocalHost, engine.LocalPort(3));
    ASSERT_TRUE(WaitFor([&] { return engine.DatagramCount() >= read + 2; }));
    EXPECT_EQ(added.count(), 2);
    EXPECT_EQ(engine.Devices().Count(), 2);
}

// A family-8 camera on the far end of the three-step exchange.
TEST(EngineSockets, Bin8ExchangeFillsTheRecordAndItsDdnsValues)
{
    Listener camera(Bin8::kPort);
    ASSERT_TRUE(camera.bound);
    testpk::Bin8Block block;
    block.ip = "10.77.0.50";
    int searches = 0, netReads = 0, ddnsReads = 0;
    QObject::disconnect(&camera.socket, nullptr, nullptr, nullptr);
    QObject::connect(&camera.socket, &QUdpSocket::readyRead, [&] {
        while (camera.socket.hasPendingDatagrams()) {
            const QNetworkDatagram d = camera.socket.receiveDatagram();
            const QByteArray q = d.data();
            if (q == kFence)
                ++camera.fences;
            if (q.size() < 8 || q[0] != 0x10 || q[1] != 0x10)
                continue;
            const quint16 cmd = quint16(quint8(q[2]) | (quint8(q[3]) << 8));
            QByteArray reply;
            if (cmd == 0x0F01) {
                ++searches;
                reply = testpk::Bin8SearchReply(block, 0x0042);
            } else if (cmd == 0x0F12 && q.size() == 136 && q.mid(8 + 88, 6) == block.mac) {
                ++netReads;
                EXPECT_EQ(quint8(q[4]), 0x42);  // copied from our answer
                reply = testpk::Bin8NetReply(block, "V9");
            } else if (cmd == 0x0F0F && q.size() == 136 && q.mid(8 + 88, 6) == block.mac) {
                ++ddnsReads;
                reply = testpk::Bin8DdnsReply(block, "cam.ddns.example.net:808", "cam8", "pw");
            }
            if (!reply.isEmpty())
                camera.socket.writeDatagram(reply, d.senderAddress(), quint16(d.senderPort()));
        }
    });
    DiscoveryEngine engine(testsupport::Families());
    ASSERT_EQ(engine.Start(), 5);
    engine.SendProbes(0, false);
    ASSERT_TRUE(WaitFor([&] {
        const TDevInfo* r = engine.Devices().FindRecordByMac("0012ABCDEF01");
        return r && r->DdnsUser == "cam8";
    }));
    ASSERT_TRUE(camera.Settle());
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(netReads, 1);
    EXPECT_EQ(ddnsReads, 1);
    const TDevInfo* r = engine.Devices().FindRecordByMac("0012ABCDEF01");
    EXPECT_EQ(r->IP, "10.77.0.50");
    EXPECT_EQ(r->Version, "V9");
    EXPECT_EQ(r->DdnsPwd, "pw");
    EXPECT_EQ(r->TimeToLive, 10);  // the DDNS answer counts as its second reply

    // The next pass: the camera's answers are the same bytes, replayed from the reply cache,
    // and each step still asks for the next one.
    const qsizetype cached = engine.Replies().Size();  // the three answers, our probes heard back
    EXPECT_GE(cached, 3);
    engine.Devices().ExpireTick();
    engine.SendProbes(1, false);
    ASSERT_TRUE(WaitFor([&] { return ddnsReads == 2; }));
    ASSERT_TRUE(camera.Settle());
    EXPECT_EQ(searches, 2);
    EXPECT_EQ(netReads, 2);
    EXPECT_TRUE(WaitFor([&] { return engine.Devices().FindRecordByMac("0012ABCDEF01")->TimeToLive == 10; }));
    EXPECT_EQ(engine.Replies().Size(), cached) << "nothing new: every datagram was seen before";
}

TEST(EngineSockets, TheTimerTicksEverySecond)
{
    DiscoveryEngine engine(testsupport::Families());
    QSignalSpy ticks(&engine, &DiscoveryEngine::ticked);
    ASSERT_EQ(engine.Start(), 5);
    ASSERT_TRUE(WaitFor([&] { return ticks.count() >= 2; }, 3500));
    EXPECT_EQ(ticks.at(0).at(0).toInt(), 0);
    EXPECT_EQ(ticks.at(1).at(0).toInt(), 1);
    EXPECT_EQ(engine.TickCount(), 2);
}

