// Each family's settings command through the search engine: the socket and port it leaves
// from, nothing at all when a value is malformed, and (over real sockets, inside a private
// namespace with a veth pair and a default route) the engine sending for a worker thread.

#include "Bin8Family.h"
#include "CtpFamily.h"
#include "DiscoveryEngine.h"
#include "FakeSearchSink.h"
#include "MoiFamily.h"
#include "TestPackets.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>
#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

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

const TLogin kLogin{"admin", "pw"};

TEST(NetSend, EachFamilySendsItsCommandFromItsSocketToItsPort)
{
    struct Case {
        int family;
        TApplyOrigin origin;
        int socket;
        quint16 port;
    } cases[] = {
        {2, TApplyOrigin::Advanced, 2, 10000}, {2, TApplyOrigin::Easy, 2, 10000},
        {5, TApplyOrigin::Advanced, 4, 7999},  {5, TApplyOrigin::Easy, 4, 7999},
        {8, TApplyOrigin::Advanced, 5, 6801},  {8, TApplyOrigin::Easy, 1, 6801},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "family " << c.family << " origin " << int(c.origin));
        TDevInfo o = Camera(c.family);
        o.Adapter = 7;  // where it answered the search
        TDevInfo n = o;
        n.IP = "10.0.0.9";
        QByteArray expected;
        switch (c.family) {
        case 2: expected = *MoI::BuildSetNetwork(n, "admin", "pw"); break;
        case 5: expected = *CtpFamily::BuildSetNetwork(o, n, "pw"); break;
        default: expected = *Bin8::BuildSetNetwork(o, n); break;
        }
        TFakeSearchSink sink;
        ICameraFamily& family = testsupport::Families().Get(c.family);
        EXPECT_EQ(family.ApplyNetwork(sink, c.origin, o, n, kLogin), TApplyResult::kSent);
        ASSERT_EQ(sink.sent.size(), 1u);
        EXPECT_EQ(sink.sent[0].socket, c.socket);
        EXPECT_EQ(sink.sent[0].port, c.port);
        EXPECT_EQ(sink.sent[0].bytes, expected);
        EXPECT_EQ(sink.sent[0].adapter, 7u) << "out of the adapter the camera answered on";

        sink.sent.clear();
        // A value the family cannot carry: a malformed address, or for the text protocol
        // (which carries anything else) a line break.
        n.Gateway = c.family == 5 ? "10.0.0.1\n-ip 1.1.1.1" : "10.0.0.256";
        EXPECT_EQ(family.ApplyNetwork(sink, c.origin, o, n, kLogin), TApplyResult::kMalformed);
        EXPECT_TRUE(sink.sent.empty());

        sink.sendsSucceed = false;
        EXPECT_EQ(family.ApplyNetwork(sink, c.origin, o, o, kLogin), TApplyResult::kSendFailed);
    }
}

// The family-8 exchange answers a reply out of the adapter it came in on; a camera whose
// adapter is not known gets its command out of every adapter.
TEST(NetSend, FollowUpsGoOutWhereTheReplyCameIn)
{
    testpk::Bin8Block b;
    TFakeSearchSink sink;
    TDevInfo rec;
    rec.Family = kFamilyNone;
    rec.Adapter = 3;
    EXPECT_FALSE(testsupport::Families().ParseReply(testpk::Bin8SearchReply(b), rec, sink));
    ASSERT_EQ(sink.sent.size(), 1u);
    EXPECT_EQ(sink.sent[0].adapter, 3u);
    EXPECT_EQ(sink.sent[0].port, Bin8::kPort);

    sink.sent.clear();
    const TDevInfo o = Camera(2);  // Adapter 0
    EXPECT_EQ(testsupport::Families().Get(2).ApplyNetwork(sink, TApplyOrigin::Advanced, o, o, kLogin),
              TApplyResult::kSent);
    ASSERT_EQ(sink.sent.size(), 1u);
    EXPECT_EQ(sink.sent[0].adapter, 0u);
}

TEST(NetSend, FamiliesWithoutACommandSendNothing)
{
    TFakeSearchSink sink;
    const TDevInfo o = Camera(4);
    // Family 4 changes settings through its library, and only from the advanced window.
    EXPECT_EQ(testsupport::Families().Get(4).ApplyNetwork(sink, TApplyOrigin::Easy, o, o, kLogin),
              TApplyResult::kUnsupported);
    for (int family : {0, 1, 3, 6, 7, 999, 12345}) {
        EXPECT_EQ(testsupport::Families().Get(family).ApplyNetwork(sink, TApplyOrigin::Advanced,
                                                                  Camera(family), Camera(family), kLogin),
                  TApplyResult::kUnsupported)
            << family;
    }
    EXPECT_TRUE(sink.sent.empty());
}

TEST(NetSend, AnUnboundEngineSocketSendsNothing)
{
    DiscoveryEngine engine(testsupport::Families());  // never started
    for (int family : {2, 5, 8}) {
        const TDevInfo o = Camera(family);
        EXPECT_EQ(testsupport::Families().Get(family).ApplyNetwork(engine, TApplyOrigin::Advanced, o,
                                                                  o, kLogin),
                  TApplyResult::kSendFailed)
            << "family " << family;
    }
}

// The windows run commands on a worker thread: the engine's socket still sends, on its own
// thread, while that thread keeps its event loop going.
TEST(NetSend, AWorkerThreadSendsThroughTheEngineSocket)
{
    QUdpSocket camera;  // stands in for a family-8 camera on its port
    ASSERT_TRUE(camera.bind(QHostAddress::AnyIPv4, Bin8::kPort, QAbstractSocket::ShareAddress));
    std::vector<QNetworkDatagram> got;
    QObject::connect(&camera, &QUdpSocket::readyRead, [&] {
        while (camera.hasPendingDatagrams())
            got.push_back(camera.receiveDatagram());
    });
    DiscoveryEngine engine(testsupport::Families());
    ASSERT_EQ(engine.Start(), 5);
    engine.PauseTick();  // no probes of its own in between

    const TDevInfo o = Camera(8);
    TDevInfo n = o;
    n.IP = "10.0.0.9";
    QFuture<TApplyResult> sent = QtConcurrent::run([&] {
        return testsupport::Families().Get(8).ApplyNetwork(engine, TApplyOrigin::Advanced, o, n, kLogin);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent.isFinished(); }, 5000));
    EXPECT_EQ(sent.result(), TApplyResult::kSent);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !got.empty(); }, 3000));
    EXPECT_EQ(got[0].data(), *Bin8::BuildSetNetwork(o, n));
    EXPECT_EQ(got[0].senderPort(), engine.LocalPort(Bin8::kAdvancedSocket));
}

}  // namespace
