// The family-9 search and address change by broadcast. Runs only inside a private network
// namespace with a veth pair and a default route, so broadcasts come back to this process and
// go nowhere else.

#include "CgiCamera.h"
#include "CgiFamily.h"
#include "FamilyRegistry.h"
#include "CgiWire.h"
#include "DiscoveryEngine.h"
#include "FakeUdpCamera.h"
#include "TestTiming.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <set>

namespace {

QByteArray Reply(std::uint8_t lastMacByte, const char* ip)
{
    wire::SearchReply r;
    r.mac[5] = lastMacByte;
    r.ip = ip;
    return wire::Build(r);
}

bool IsProbe(const QByteArray& d)
{
    return d == QByteArray("\x44\x48\x01\x01", 4);
}

// Two cameras behind one socket on port 8600.
std::vector<UdpReply> TwoCameras(const QByteArray& d)
{
    if (!IsProbe(d))
        return {};
    return {{Reply(0x01, "10.77.0.31")}, {QByteArray("noise")}, {Reply(0x02, "10.77.0.32")}};
}

std::set<QString> Macs(const std::vector<TDevInfo>& records)
{
    std::set<QString> macs;
    for (const auto& r : records)
        macs.insert(r.Mac);
    return macs;
}

size_t Probes(const FakeUdpCamera& camera)
{
    size_t n = 0;
    for (const auto& d : camera.Received())
        n += IsProbe(d) ? 1 : 0;
    return n;
}

TEST(CgiSearch, FindsTheCamerasThatAnswerOnTheUiThread)
{
    FakeUdpCamera camera(8600, TwoCameras);
    ASSERT_TRUE(camera.Bound());
    TT924Series driver;
    std::vector<TDevInfo> got;
    bool onUi = true;
    driver.Search(8600, [&](const TDevInfo& r) {
        got.push_back(r);
        onUi = onUi && QThread::currentThread() == QCoreApplication::instance()->thread();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return driver.RunningSearches() == 0; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_GE(Probes(camera), 1u);
    EXPECT_EQ(Macs(got), (std::set<QString>{"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02"}));
    EXPECT_TRUE(onUi);
    for (const auto& r : got) {
        EXPECT_EQ(r.Family, 9);
        EXPECT_EQ(r.IP, r.Mac.endsWith("01") ? "10.77.0.31" : "10.77.0.32");
    }
}

TEST(CgiSearch, SendsNothingWhileItsReplyPortIsTaken)
{
    FakeUdpCamera camera(8600, TwoCameras);
    ASSERT_TRUE(camera.Bound());
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, Cgi::kSearchLocalPort,
                            QAbstractSocket::DontShareAddress));
    TT924Series driver;
    int calls = 0;
    driver.Search(8600, [&](const TDevInfo&) { ++calls; });
    EXPECT_EQ(driver.RunningSearches(), 0);
    ASSERT_TRUE(camera.Settle(8600));
    EXPECT_EQ(camera.ReceivedCount(), 0u);
    EXPECT_EQ(calls, 0);
}

TEST(CgiSearch, ASecondSearchWaitsUntilTheFirstHasEnded)
{
    FakeUdpCamera camera(8600, TwoCameras);
    ASSERT_TRUE(camera.Bound());
    TT924Series driver;
    int calls = 0;
    const auto count = [&](const TDevInfo&) { ++calls; };
    driver.Search(8600, count);
    driver.Search(8600, count);  // the first search still listens: nothing goes out
    EXPECT_EQ(driver.RunningSearches(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return driver.RunningSearches() == 0; }, 5000));
    const size_t first = Probes(camera);
    const int firstCalls = calls;
    ASSERT_GE(first, 1u);
    driver.Search(8600, count);
    ASSERT_TRUE(QTest::qWaitFor([&] { return driver.RunningSearches() == 0; }, 5000));
    EXPECT_EQ(Probes(camera), 2 * first);
    EXPECT_EQ(calls, 2 * firstCalls);
}

// Releasing the driver while its receive thread waits for the user-interface thread must
// neither hang nor deliver afterwards.
TEST(CgiSearch, ReleasingTheDriverDuringAHandOver)
{
    FakeUdpCamera camera(8600, TwoCameras);
    ASSERT_TRUE(camera.Bound());
    auto driver = std::make_unique<TT924Series>();
    int calls = 0;
    driver->Search(8600, [&](const TDevInfo&) { ++calls; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // replies are in, no events
    ASSERT_EQ(driver->RunningSearches(), 1);
    QElapsedTimer clock;
    clock.start();
    driver.reset();
    EXPECT_LT(clock.elapsed(), testsupport::Slack(1000));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

TEST(CgiSearch, JoinsTheEngineTickAndMergesIntoItsList)
{
    FakeUdpCamera camera(8600, TwoCameras);
    ASSERT_TRUE(camera.Bound());
    TFamilyRegistry families;
    families.Add(std::make_unique<TCgiFamily>());
    DiscoveryEngine engine(families);
    engine.Start();
    engine.SendProbes(0, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Devices().Count() == 2; }, 5000));
    const TDevInfo* rec = engine.Devices().FindRecordByMac("00:1A:2B:3C:4D:02");
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->Family, 9);
    EXPECT_EQ(engine.Devices().SeriesAt(engine.Devices().FindItemByMac(rec->Mac)), "T");
    engine.Stop();
}

TDevInfo NewSettings()
{
    TDevInfo n;
    n.Family = 9;
    n.IP = QStringLiteral("10.77.0.50");
    n.Mask = QStringLiteral("255.255.255.0");
    n.Gateway = QStringLiteral("10.77.0.1");
    n.Dns1 = QStringLiteral("10.77.0.1");
    n.Mac = QStringLiteral("00:1A:2B:3C:4D:01");
    n.MacHex = QStringLiteral("001A2B3C4D01");
    n.HttpPort = 81;
    n.Name = QStringLiteral("Garden");
    n.AddrMode = kAddrStatic;
    return n;
}

TEST(CgiSetNetwork, AnswerTable)
{
    const QByteArray junk("junk");
    const QByteArray searchReply = Reply(0x01, "10.77.0.31");
    struct {
        const char* why;
        std::function<std::vector<UdpReply>(const QByteArray&)> answers;
        bool want;
    } cases[] = {
        {"accepted", [](const QByteArray& d) { return std::vector<UdpReply>{{wire::Answer(d, 0x8000)}}; },
         true},
        {"refused", [](const QByteArray& d) { return std::vector<UdpReply>{{wire::Answer(d, 0x8001)}}; },
         false},
        {"silence", [](const QByteArray&) { return std::vector<UdpReply>{}; }, false},
        {"other datagrams first",
         [&](const QByteArray& d) {
             return std::vector<UdpReply>{{junk}, {searchReply}, {wire::Answer(d, 0x8000)}};
         },
         true},
        {"too late",
         [](const QByteArray& d) { return std::vector<UdpReply>{{wire::Answer(d, 0x8000), 150}}; },
         false},
    };
    const TDevInfo next = NewSettings();
    TDevInfo current = next;
    current.IP = QStringLiteral("192.168.9.9");
    for (const auto& c : cases) {
        FakeUdpCamera camera(8600, [&](const QByteArray& d) {
            return d.size() == 324 && d.left(4) == QByteArray("\x44\x48\x02\x01", 4)
                       ? c.answers(d)
                       : std::vector<UdpReply>{};
        });
        ASSERT_TRUE(camera.Bound());
        TT924Series driver;
        EXPECT_EQ(driver.SetNetwork(current.IP, 8600, "admin", "p w", next, current), c.want)
            << c.why;
        ASSERT_TRUE(camera.Settle(8600));
        const auto got = camera.Received();
        ASSERT_FALSE(got.empty()) << c.why;
        EXPECT_EQ(got[0], Cgi::AddressChange(next, "admin", "p w")) << c.why;
        EXPECT_EQ(wire::Field(got[0], 4, 16), "10.77.0.50");
        EXPECT_EQ(wire::Field(got[0], 268, 32), "p w");
    }
}

TEST(CgiSetNetwork, AMacThatAddressesNoCameraSendsNothing)
{
    FakeUdpCamera camera(8600, [](const QByteArray& d) {
        return std::vector<UdpReply>{{wire::Answer(d, 0x8000)}};
    });
    ASSERT_TRUE(camera.Bound());
    TDevInfo next = NewSettings();
    next.MacHex = QStringLiteral("001A2B3C4D");
    TT924Series driver;
    EXPECT_FALSE(driver.SetNetwork(next.IP, 8600, "admin", "", next, next));
    ASSERT_TRUE(camera.Settle(8600));
    EXPECT_EQ(camera.ReceivedCount(), 0u);
}

}  // namespace
