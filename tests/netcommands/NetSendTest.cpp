// The senders over real sockets, inside a private namespace with a veth pair and a default
// route, so that 255.255.255.255 goes nowhere but back to this process.

#include "DiscoveryEngine.h"
#include "NetCommands.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

TDevInfo Camera(int family)
{
    TDevInfo r;
    r.Family = family;
    r.Mac = "001A2B3C4D5E";
    r.SN = "0102030405060A";
    r.Name = "Cam";
    r.IP = "10.0.0.5";
    r.Mask = "255.255.255.0";
    r.Gateway = "10.0.0.1";
    r.Dns1 = "8.8.8.8";
    r.Dns2 = "208.67.222.222";
    r.HttpPort = 80;
    r.DataPort = 554;
    r.AddrMode = kAddrStatic;
    return r;
}

struct Family {
    int family;
    int socket;
    std::function<TNetSendResult(DiscoveryEngine&, int, quint16, const TDevInfo&,
                                 const TDevInfo&)>
        send;
    std::function<std::optional<QByteArray>(const TDevInfo&, const TDevInfo&)> build;
};

const Family kFamilies[] = {
    {2, NetCmd::kMoISocket,
     [](DiscoveryEngine& e, int s, quint16 p, const TDevInfo& o, const TDevInfo& n) {
         return SetNetMoI(e, s, p, o, n, "admin", "pw");
     },
     [](const TDevInfo&, const TDevInfo& n) { return BuildSetNetMoI(n, "admin", "pw"); }},
    {5, NetCmd::kCtpSocket,
     [](DiscoveryEngine& e, int s, quint16 p, const TDevInfo& o, const TDevInfo& n) {
         return SetNetCtp(e, s, p, o, n, "admin", "pw");
     },
     [](const TDevInfo& o, const TDevInfo& n) { return BuildSetNetCtp(o, n, "pw"); }},
    {8, NetCmd::kBin8ApplySocket,
     [](DiscoveryEngine& e, int s, quint16 p, const TDevInfo& o, const TDevInfo& n) {
         return SetNetBin8(e, s, p, o, n, "admin", "pw");
     },
     [](const TDevInfo& o, const TDevInfo& n) { return BuildSetNetBin8(o, n); }},
};

TEST(NetSend, EachFamilySendsItsCommandFromItsSocketAndNothingWhenMalformed)
{
    constexpr quint16 kListenPort = 20600;  // stands in for the camera's port
    QUdpSocket listener;
    ASSERT_TRUE(listener.bind(QHostAddress::AnyIPv4, kListenPort, QAbstractSocket::DontShareAddress));
    std::vector<QNetworkDatagram> got;
    QObject::connect(&listener, &QUdpSocket::readyRead, [&] {
        while (listener.hasPendingDatagrams())
            got.push_back(listener.receiveDatagram());
    });

    DiscoveryEngine engine;
    ASSERT_EQ(engine.Start(), 5);  // its probes go to the cameras' ports, not to ours

    for (const Family& f : kFamilies) {
        SCOPED_TRACE(testing::Message() << "family " << f.family);
        const TDevInfo o = Camera(f.family);
        TDevInfo n = o;
        n.IP = "10.0.0.9";
        got.clear();
        EXPECT_EQ(f.send(engine, f.socket, kListenPort, o, n), TNetSendResult::kSent);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !got.empty(); }, 3000));
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].data(), *f.build(o, n));
        EXPECT_EQ(got[0].senderPort(), engine.LocalPort(f.socket));

        got.clear();
        n.Gateway = "10.0.0.256";
        EXPECT_EQ(f.send(engine, f.socket, kListenPort, o, n), TNetSendResult::kMalformed);
        QTest::qWait(300);
        EXPECT_TRUE(got.empty());
    }
}

TEST(NetSend, AnUnboundSocketSendsNothing)
{
    DiscoveryEngine engine;  // never started
    for (const Family& f : kFamilies) {
        const TDevInfo o = Camera(f.family);
        EXPECT_EQ(f.send(engine, f.socket, 20601, o, o), TNetSendResult::kSendFailed)
            << "family " << f.family;
    }
}

}  // namespace
