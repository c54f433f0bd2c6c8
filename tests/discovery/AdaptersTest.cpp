// The search through every adapter, over real sockets in a private namespace with two
// adapters (two-adapters.sh): v0 holds the default route, w0 does not, d0 is down. A datagram
// sent out of an adapter is delivered back to this namespace as coming in on that adapter,
// which is how these tests see where each one went out.

#include "Bin8Family.h"
#include "CgiCamera.h"
#include "CgiPackets.h"
#include "DiscoveryEngine.h"
#include "FamilyRegistry.h"
#include "MoiFamily.h"
#include "TestFamilies.h"
#include "TestPackets.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

const QByteArray kFence("fence");

quint32 Index(const char* name)
{
    return quint32(QNetworkInterface::interfaceIndexFromName(QString::fromLatin1(name)));
}

bool WaitFor(const std::function<bool()>& cond, int ms = 3000)
{
    return QTest::qWaitFor(cond, ms);
}

// Sends bytes by broadcast out of one adapter.
void SendOn(quint32 adapter, const QByteArray& bytes, quint16 port)
{
    QUdpSocket s;
    // An IPv4 socket: the outgoing interface of a datagram is set through IP_PKTINFO.
    s.bind(QHostAddress::AnyIPv4, 0);
    QNetworkDatagram d(bytes, QHostAddress(QHostAddress::Broadcast), port);
    d.setInterfaceIndex(adapter);
    s.writeDatagram(d);
}

// What arrives on one port, with the adapter each datagram came in on.
class Listener {
public:
    explicit Listener(quint16 port) : port_(port)
    {
        bound = socket.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress);
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram();
                if (d.data() == kFence)
                    fences.insert(d.interfaceIndex());
                else
                    got.push_back(d);
            }
        });
    }
    // Everything sent out of adapter to this port so far has arrived.
    bool Settle(quint32 adapter)
    {
        fences.clear();
        SendOn(adapter, kFence, port_);
        return WaitFor([&] { return fences.count(adapter) > 0; });
    }
    // The adapters bytes came in on.
    std::multiset<quint32> Adapters(const QByteArray& bytes) const
    {
        std::multiset<quint32> out;
        for (const QNetworkDatagram& d : got) {
            if (d.data() == bytes)
                out.insert(d.interfaceIndex());
        }
        return out;
    }
    QUdpSocket socket;
    bool bound = false;
    std::vector<QNetworkDatagram> got;
    std::set<quint32> fences;

private:
    quint16 port_;
};

class Adapters : public ::testing::Test {
protected:
    void SetUp() override
    {
        v0 = Index("v0");
        w0 = Index("w0");
        if (v0 == 0 || w0 == 0 || Index("d0") == 0)
            GTEST_SKIP() << "runs in the namespace of two-adapters.sh only";
    }
    quint32 v0 = 0, w0 = 0;
};

}  // namespace

TEST_F(Adapters, OnlyAdaptersThatAreUpAndHaveAnAddressAreSearched)
{
    std::vector<QString> names;
    for (const TSearchAdapter& a : SearchAdapters())
        names.push_back(a.name + u' ' + a.ip);
    // Not lo, not the unnumbered peers v1 and w1, not d0, which is down.
    EXPECT_EQ(names, (std::vector<QString>{"v0 10.77.0.1", "w0 10.88.0.1"}));
    EXPECT_EQ(AdapterName(w0), "w0");
    EXPECT_EQ(AdapterName(0), "");
}

TEST_F(Adapters, EveryProbeGoesOutOfEveryAdapter)
{
    Listener bin8(Bin8::kPort), cgi(Cgi::kPort);
    ASSERT_TRUE(bin8.bound);
    ASSERT_TRUE(cgi.bound);
    DiscoveryEngine engine(testsupport::Families());
    ASSERT_EQ(engine.Start(), 5);
    engine.SendProbes(0, false);
    for (Listener* l : {&bin8, &cgi}) {
        ASSERT_TRUE(l->Settle(v0));
        ASSERT_TRUE(l->Settle(w0));
    }
    // An engine socket, and the family-9 driver's socket of its own.
    EXPECT_EQ(bin8.Adapters(Bin8::SearchProbe()), (std::multiset<quint32>{v0, w0}));
    EXPECT_EQ(cgi.Adapters(Cgi::SearchProbe()), (std::multiset<quint32>{v0, w0}));
    for (const QNetworkDatagram& d : bin8.got) {
        EXPECT_EQ(d.senderAddress().toString(), d.interfaceIndex() == v0 ? "10.77.0.1" : "10.88.0.1")
            << "each adapter sends from its own address";
    }
    engine.Stop();
}

TEST_F(Adapters, RepliesRememberTheirAdapterAndCommandsLeaveThere)
{
    Listener moi(MoI::kPort), bin8(Bin8::kPort);
    ASSERT_TRUE(moi.bound);
    ASSERT_TRUE(bin8.bound);
    DiscoveryEngine engine(testsupport::Families());
    ASSERT_EQ(engine.Start(), 5);  // socket 2 moves up from the taken port 10000
    QSignalSpy changed(&engine.Devices(), &TDeviceList::detailsChanged);

    testpk::MoIReply behindW0;
    behindW0.mac = "00W0CAMERA01";
    testpk::MoIReply behindV0;
    behindV0.mac = "00V0CAMERA02";
    SendOn(w0, testpk::Build(behindW0), engine.LocalPort(2));
    SendOn(v0, testpk::Build(behindV0), engine.LocalPort(2));
    ASSERT_TRUE(WaitFor([&] { return engine.Devices().Count() == 2; }));
    const TDevInfo camW0 = *engine.Devices().FindRecordByMac("00W0CAMERA01");
    EXPECT_EQ(camW0.Adapter, w0);
    EXPECT_EQ(engine.Devices().FindRecordByMac("00V0CAMERA02")->Adapter, v0);

    // The command of the camera behind w0 leaves through w0 alone.
    TDevInfo next = camW0;
    next.IP = "10.88.0.21";
    const QByteArray command = *MoI::BuildSetNetwork(next, "admin", "");
    ASSERT_EQ(testsupport::Families().Get(2).ApplyNetwork(engine, TApplyOrigin::Advanced, camW0,
                                                         next, TLogin{"admin", ""}),
              TApplyResult::kSent);
    ASSERT_TRUE(moi.Settle(v0));
    ASSERT_TRUE(moi.Settle(w0));
    EXPECT_EQ(moi.Adapters(command), (std::multiset<quint32>{w0}));

    // The same camera heard on the other adapter: reached through that one from now on,
    // without counting as a change of its values.
    SendOn(v0, testpk::Build(behindW0), engine.LocalPort(2));
    ASSERT_TRUE(WaitFor([&] { return engine.Devices().FindRecordByMac("00W0CAMERA01")->Adapter == v0; }));
    EXPECT_EQ(changed.count(), 0);

    // A family-8 camera behind w0: each step of its exchange goes back out of w0.
    testpk::Bin8Block block;
    SendOn(w0, testpk::Bin8SearchReply(block), engine.LocalPort(5));
    ASSERT_TRUE(WaitFor([&] { return bin8.got.size() >= 1; }));
    ASSERT_TRUE(bin8.Settle(v0));
    ASSERT_TRUE(bin8.Settle(w0));
    ASSERT_EQ(bin8.got.size(), 1u);
    EXPECT_EQ(bin8.got[0].interfaceIndex(), w0);
    EXPECT_EQ(quint8(bin8.got[0].data()[2]), 0x12) << "the request for the network block";
    engine.Stop();
}

TEST_F(Adapters, FamilyNineRecordsAndAddressChangesUseTheirAdapter)
{
    Listener camera(Cgi::kPort);
    ASSERT_TRUE(camera.bound);
    TT924Series driver;
    std::vector<TDevInfo> found;
    driver.Search(Cgi::kPort, [&](const TDevInfo& r) { found.push_back(r); }, nullptr, {v0, w0});
    TDevInfo reply;
    reply.Family = 9;
    // The reply of a camera behind w0 (type 0x0801, MAC at 84).
    QByteArray d(516, '\0');
    d[0] = 0x44, d[1] = 0x48, d[2] = 0x01, d[3] = 0x08;
    const QByteArray mac = QByteArray::fromHex("001A2B3C4D99");
    d.replace(84, 6, mac);
    d.replace(4, 10, "10.88.0.30");
    SendOn(w0, d, Cgi::kSearchLocalPort);
    ASSERT_TRUE(WaitFor([&] { return !found.empty(); }));
    EXPECT_EQ(found[0].Mac, "00:1A:2B:3C:4D:99");
    EXPECT_EQ(found[0].Adapter, w0);
    driver.StopSearches();

    TDevInfo next = found[0];
    next.IP = "10.88.0.31";
    next.Mask = "255.255.255.0";
    // No camera answers: false after the short wait, but the packet went out of w0 only.
    EXPECT_FALSE(driver.SetNetwork(found[0].IP, Cgi::kPort, "admin", "", next, found[0]));
    ASSERT_TRUE(camera.Settle(v0));
    ASSERT_TRUE(camera.Settle(w0));
    std::multiset<quint32> via;
    for (const QNetworkDatagram& g : camera.got) {
        if (g.data().size() == Cgi::kSetNetworkSize)
            via.insert(g.interfaceIndex());
    }
    EXPECT_EQ(via, (std::multiset<quint32>{w0}));
}
