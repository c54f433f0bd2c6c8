// The ONVIF search and client end to end against lan-sim's ONVIF cameras in the simulated LAN
// of scripts/simlan (cameras.ini of this folder): found by WS-Discovery, read and written over
// the device service with digest logins, and found again where the settings moved them.

#include "FakeSearchSink.h"
#include "NetnsGuard.h"
#include "OnvifFamily.h"
#include "OnvifClient.h"
#include "OnvifSearch.h"
#include "Printers.h"
#include "Tools.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

using Onvif::TStatus;

constexpr int kSearchMs = 15000;

struct CameraFacts {
    const char* id;
    const char* endpoint;
    const char* ip;
    quint16 port;
    const char* name;
    const char* model;
    const char* user;
    const char* password;
};

const CameraFacts kHall{"onvif-hall", "urn:uuid:5e1d0000-0000-4000-8000-020f00000a01", "192.168.7.60", 80,
                        "Hall Camera", "LS-ONVIF-200", "admin", "hall-pw"};
const CameraFacts kYard{"onvif-yard", "urn:uuid:5e1d0000-0000-4000-8000-020f00000a02", "192.168.7.61", 8080,
                        "Yard", "LS-ONVIF-300", "admin", "yard-pw"};
const CameraFacts kLobby{"onvif-lobby", "urn:uuid:5e1d0000-0000-4000-8000-020f00000a03", "192.168.7.62", 8899,
                         "Lobby", "LS-ONVIF", "operator", "lobby-pw"};

// One command to lan-sim's control socket; its answer, or empty when it failed.
QString Ctl(const QString& command) {
    QProcess p;
    QStringList args{QStringLiteral("--ctl"), qEnvironmentVariable("SIMLAN_CONTROL")};
    args += command.split(QLatin1Char(' '));
    p.start(qEnvironmentVariable("SIMLAN_LANSIM"), args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// "key = value" of lan-sim's show for one camera.
QString Shown(const char* id, const char* key) {
    for (const QString& line : Ctl(QStringLiteral("show %1").arg(QLatin1String(id))).split(QLatin1Char('\n'))) {
        const QString prefix = QLatin1String(key) + QStringLiteral(" = ");
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return QStringLiteral("<no %1>").arg(QLatin1String(key));
}

// Probes every half second until done() holds for what has been found, or the time is up.
// Returns the records by endpoint, the latest answer of each.
QHash<QString, TDevInfo> Search(const std::function<bool(const QHash<QString, TDevInfo>&)>& done,
                                int timeoutMs = kSearchMs) {
    Onvif::TOnvifSearch search;
    QHash<QString, TDevInfo> found;
    QObject::connect(&search, &Onvif::TOnvifSearch::found,
                     [&](const TDevInfo& rec, const Onvif::TOnvifMatch& m) { found[m.endpoint] = rec; });
    if (!search.Start())
        return found;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        search.SendProbe();
        QTest::qWait(500);
        if (done(found))
            break;
    }
    return found;
}

// Waits until the camera with this endpoint answers a probe at ip.
bool FoundAt(const char* endpoint, const QString& ip, TDevInfo* rec = nullptr) {
    const QString e = QString::fromLatin1(endpoint);
    const auto found = Search([&](const auto& f) { return f.contains(e) && f[e].IP == ip; });
    if (!found.contains(e) || found[e].IP != ip)
        return false;
    if (rec)
        *rec = found[e];
    return true;
}

Onvif::TOnvifClient ClientOf(const CameraFacts& c, const char* password = nullptr) {
    return Onvif::TOnvifClient(Onvif::DeviceServiceUrl(QString::fromLatin1(c.ip), c.port),
                               QString::fromLatin1(c.user), QString::fromLatin1(password ? password : c.password));
}

class OnvifLan : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("SIMLAN_CONTROL")) << "run inside scripts/simlan";
        ASSERT_TRUE(Ctl(QStringLiteral("reset all")).startsWith(QLatin1String("ok")));
    }
};

TEST_F(OnvifLan, SearchFindsEveryCameraWithItsScopes) {
    const auto found = Search([](const auto& f) { return f.size() >= 3; });
    ASSERT_EQ(found.size(), 3);
    for (const CameraFacts* c : {&kHall, &kYard, &kLobby}) {
        SCOPED_TRACE(c->id);
        const TDevInfo r = found.value(QString::fromLatin1(c->endpoint));
        EXPECT_EQ(r.Family, 10);
        EXPECT_EQ(r.SN, QString::fromLatin1(c->endpoint));
        EXPECT_EQ(r.IP, QString::fromLatin1(c->ip));
        EXPECT_EQ(r.HttpPort, c->port);
        EXPECT_EQ(r.Name, QString::fromLatin1(c->name));
        EXPECT_EQ(r.Version, QString::fromLatin1(c->model));
        // The key: the hardware address the PC's neighbour table holds for the camera, or the
        // endpoint while it holds none.
        const QString neighbour = Onvif::NeighbourMac(r.IP);
        EXPECT_TRUE(r.Mac == QString::fromLatin1(c->endpoint) || (r.Mac.size() == 12 && r.Mac == neighbour))
            << r.Mac.toStdString() << " / " << neighbour.toStdString();
    }
}

TEST_F(OnvifLan, InnerUrlOpensTheCamerasWebPage) {
    const auto found = Search([](const auto& f) { return f.contains(QLatin1String(kHall.endpoint)); });
    ASSERT_TRUE(found.contains(QLatin1String(kHall.endpoint)));
    QString page;
    ASSERT_TRUE(TTools::HttpGetText(InnerUrl(found[QLatin1String(kHall.endpoint)]), {}, {}, 5000, page));
    EXPECT_TRUE(page.contains(QLatin1String("<h1>Hall Camera</h1>"))) << page.toStdString();
}

TEST_F(OnvifLan, ReadDeviceGivesTheCamerasSettings) {
    Onvif::TOnvifClient client = ClientOf(kHall);
    Onvif::TDevice d;
    const Onvif::TResult r = client.ReadDevice(d);
    ASSERT_TRUE(r.Ok()) << r.reason.toStdString();
    EXPECT_EQ(d.info.manufacturer, QStringLiteral("lan-sim"));
    EXPECT_EQ(d.info.model, QStringLiteral("LS-ONVIF-200"));
    EXPECT_EQ(d.info.firmwareVersion, QStringLiteral("V2.1.0"));
    EXPECT_EQ(d.info.serialNumber, QStringLiteral("OV0001"));
    EXPECT_EQ(d.iface.token, QStringLiteral("eth0"));
    EXPECT_EQ(d.iface.hwAddress, QStringLiteral("02:0f:00:00:0a:01"));
    EXPECT_FALSE(d.iface.dhcp);
    EXPECT_EQ(d.iface.address, QStringLiteral("192.168.7.60"));
    EXPECT_EQ(d.iface.prefixLength, 24);
    EXPECT_EQ(d.gateways, QStringList{QStringLiteral("192.168.7.1")});
    EXPECT_FALSE(d.dns.fromDhcp);
    EXPECT_EQ(d.dns.servers, (QStringList{QStringLiteral("192.168.7.1"), QStringLiteral("8.8.8.8")}));

    TDevInfo rec;
    Onvif::ApplyDevice(d, rec);
    EXPECT_EQ(rec.Version, QStringLiteral("LS-ONVIF-200 V2.1.0"));
    EXPECT_EQ(rec.Mask, QStringLiteral("255.255.255.0"));
    EXPECT_EQ(rec.Gateway, QStringLiteral("192.168.7.1"));
    EXPECT_EQ(rec.Dns1, QStringLiteral("192.168.7.1"));
    EXPECT_EQ(rec.Dns2, QStringLiteral("8.8.8.8"));
    EXPECT_TRUE(rec.DnsManual);
    EXPECT_EQ(rec.AddrMode, kAddrStatic);
}

TEST_F(OnvifLan, TokensFollowTheCamerasClock) {
    // The yard camera runs an hour ahead and takes tokens within a minute of its own clock:
    // only a client that has taken the offset gets in.
    Onvif::TOnvifClient client = ClientOf(kYard);
    Onvif::TDevice d;
    const Onvif::TResult r = client.ReadDevice(d);
    ASSERT_TRUE(r.Ok()) << r.reason.toStdString();
    EXPECT_NEAR(double(client.ClockOffsetMs()), 3600000.0, 10000.0);
    EXPECT_EQ(d.info.model, QStringLiteral("LS-ONVIF-300"));
}

TEST_F(OnvifLan, WrongPasswordIsTheLoginFailureBothWays) {
    Onvif::TDevice d;
    // A SOAP fault with ter:NotAuthorized...
    Onvif::TOnvifClient hall = ClientOf(kHall, "wrong");
    const Onvif::TResult fault = hall.ReadDevice(d);
    EXPECT_EQ(int(fault.status), int(TStatus::NotAuthorized));
    EXPECT_EQ(fault.reason, QStringLiteral("Sender not Authorized"));
    // ...and a bare HTTP 401.
    Onvif::TOnvifClient lobby = ClientOf(kLobby, "wrong");
    EXPECT_EQ(int(lobby.ReadDevice(d).status), int(TStatus::NotAuthorized));
    EXPECT_EQ(int(lobby.Reboot().status), int(TStatus::NotAuthorized));
    // Nothing changed on the way.
    EXPECT_EQ(Shown("onvif-lobby", "state"), QStringLiteral("running"));
}

TEST_F(OnvifLan, AFaultShowsItsReasonAndChangesNothing) {
    Onvif::TOnvifClient client = ClientOf(kHall);
    Onvif::TNetSettings s;
    s.address = QStringLiteral("224.0.0.1");
    s.prefixLength = 24;
    s.gateway = QStringLiteral("192.168.7.1");
    const Onvif::TResult r = client.WriteNetwork(s);
    EXPECT_EQ(int(r.status), int(TStatus::Fault));
    EXPECT_EQ(r.reason, QStringLiteral("The suggested IPv4 address is invalid"));
    EXPECT_EQ(Shown("onvif-hall", "ip"), QStringLiteral("192.168.7.60"));
}

TEST_F(OnvifLan, StaticAddressTakenAtOnceAndFoundThere) {
    Onvif::TOnvifClient client = ClientOf(kHall);
    Onvif::TNetSettings s;
    s.address = QStringLiteral("192.168.7.70");
    s.prefixLength = 23;
    s.gateway = QStringLiteral("192.168.6.254");
    s.dns = {QStringLiteral("9.9.9.9"), QStringLiteral("1.1.1.1")};
    bool rebooted = true;
    const Onvif::TResult r = client.WriteNetwork(s, &rebooted);
    ASSERT_TRUE(r.Ok()) << r.reason.toStdString();
    EXPECT_FALSE(rebooted);
    EXPECT_EQ(client.DeviceUrl(), QStringLiteral("http://192.168.7.70/onvif/device_service"));

    // The gateway and DNS went to the camera at its new address.
    EXPECT_EQ(Shown("onvif-hall", "ip"), QStringLiteral("192.168.7.70"));
    EXPECT_EQ(Shown("onvif-hall", "mask"), QStringLiteral("255.255.254.0"));
    EXPECT_EQ(Shown("onvif-hall", "gateway"), QStringLiteral("192.168.6.254"));
    EXPECT_EQ(Shown("onvif-hall", "dns1"), QStringLiteral("9.9.9.9"));
    EXPECT_EQ(Shown("onvif-hall", "dns2"), QStringLiteral("1.1.1.1"));

    TDevInfo rec;
    ASSERT_TRUE(FoundAt(kHall.endpoint, QStringLiteral("192.168.7.70"), &rec));
    EXPECT_EQ(rec.HttpPort, 80);

    Onvif::TDevice d;
    Onvif::TOnvifClient again(client.DeviceUrl(), QStringLiteral("admin"), QStringLiteral("hall-pw"));
    ASSERT_TRUE(again.ReadDevice(d).Ok());
    EXPECT_EQ(d.iface.address, QStringLiteral("192.168.7.70"));
    EXPECT_EQ(d.iface.prefixLength, 23);
    EXPECT_EQ(d.gateways, QStringList{QStringLiteral("192.168.6.254")});
    EXPECT_EQ(d.dns.servers, (QStringList{QStringLiteral("9.9.9.9"), QStringLiteral("1.1.1.1")}));
}

TEST_F(OnvifLan, ChangeThatNeedsARebootIsSentThenTheCameraRestarts) {
    Onvif::TOnvifClient client = ClientOf(kYard);
    Onvif::TNetSettings s;
    s.address = QStringLiteral("192.168.7.71");
    s.gateway = QStringLiteral("192.168.7.254");
    s.dns = {QStringLiteral("192.168.7.53")};
    bool rebooted = false;
    const Onvif::TResult r = client.WriteNetwork(s, &rebooted);
    ASSERT_TRUE(r.Ok()) << r.reason.toStdString();
    EXPECT_TRUE(rebooted);
    EXPECT_EQ(client.DeviceUrl(), QStringLiteral("http://192.168.7.71:8080/onvif/device_service"));
    EXPECT_EQ(Shown("onvif-yard", "restarts"), QStringLiteral("1"));

    TDevInfo rec;
    ASSERT_TRUE(FoundAt(kYard.endpoint, QStringLiteral("192.168.7.71"), &rec));
    EXPECT_EQ(rec.HttpPort, 8080);
    EXPECT_EQ(Shown("onvif-yard", "gateway"), QStringLiteral("192.168.7.254"));
    EXPECT_EQ(Shown("onvif-yard", "dns1"), QStringLiteral("192.168.7.53"));
    EXPECT_EQ(Shown("onvif-yard", "dns2"), QStringLiteral("0.0.0.0"));
}

TEST_F(OnvifLan, DhcpMovesTheCameraToItsLease) {
    Onvif::TOnvifClient client = ClientOf(kLobby);
    Onvif::TNetSettings s;
    s.dhcp = true;
    const Onvif::TResult r = client.WriteNetwork(s);
    ASSERT_TRUE(r.Ok()) << r.reason.toStdString();
    EXPECT_EQ(Shown("onvif-lobby", "dhcp"), QStringLiteral("yes"));
    EXPECT_EQ(Shown("onvif-lobby", "dns_dhcp"), QStringLiteral("yes"));

    TDevInfo rec;
    ASSERT_TRUE(FoundAt(kLobby.endpoint, QStringLiteral("192.168.7.99"), &rec));
    Onvif::TDevice d;
    Onvif::TOnvifClient at(Onvif::DeviceServiceUrl(rec.IP, rec.HttpPort), QStringLiteral("operator"),
                           QStringLiteral("lobby-pw"));
    ASSERT_TRUE(at.ReadDevice(d).Ok());
    EXPECT_TRUE(d.iface.dhcp);
    EXPECT_EQ(d.iface.address, QStringLiteral("192.168.7.99"));
    EXPECT_TRUE(d.dns.fromDhcp);
    Onvif::ApplyDevice(d, rec);
    EXPECT_EQ(rec.AddrMode, kAddrDhcp);
    EXPECT_FALSE(rec.DnsManual);
}

TEST_F(OnvifLan, RebootTakesTheCameraAwayAndBack) {
    Onvif::TOnvifClient client = ClientOf(kLobby);
    const Onvif::TResult r = client.Reboot();
    ASSERT_TRUE(r.Ok()) << r.reason.toStdString();
    // The lobby camera stays away for four seconds.
    EXPECT_EQ(Shown("onvif-lobby", "state"), QStringLiteral("restarting"));
    EXPECT_EQ(Shown("onvif-lobby", "restarts"), QStringLiteral("1"));
    EXPECT_TRUE(FoundAt(kLobby.endpoint, QStringLiteral("192.168.7.62")));
}

// The family as the search engine drives it: each pass probes, and each camera is delivered
// under a key of its own.
TEST_F(OnvifLan, FamilyDeliversEveryCameraToTheEngine) {
    TOnvifFamily family;
    TFakeSearchSink sink;
    QHash<QString, TDevInfo> bySn;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kSearchMs && bySn.size() < 3) {
        family.SendProbes(sink, 0, false);
        QTest::qWait(500);
        for (const TDevInfo& r : sink.delivered)
            bySn[r.SN] = r;
    }
    ASSERT_EQ(bySn.size(), 3);
    QSet<QString> keys;
    for (const CameraFacts* c : {&kHall, &kYard, &kLobby}) {
        SCOPED_TRACE(c->id);
        const TDevInfo r = bySn.value(QString::fromLatin1(c->endpoint));
        EXPECT_EQ(r.Family, 10);
        EXPECT_EQ(r.IP, QString::fromLatin1(c->ip));
        EXPECT_EQ(r.HttpPort, c->port);
        EXPECT_EQ(r.MacHex, MacHexOf(r.Mac));
        keys.insert(r.Mac);
    }
    // One link carries all three (and the tests before have put each into the neighbour
    // table): they share a hardware address, never a key.
    EXPECT_EQ(keys.size(), 3);
    family.StopSearch();
}

TEST_F(OnvifLan, FamilyLoginTestGivesTheLoginDialogsResults) {
    TOnvifFamily family;
    const struct {
        const char* url;
        const char* user;
        const char* password;
        TLoginResult want;
    } cases[] = {
        {"http://192.168.7.60:80", "admin", "hall-pw", TLoginResult::kAccepted},
        {"http://192.168.7.60:80", "admin", "wrong", TLoginResult::kRefused},     // SOAP fault
        {"http://192.168.7.62:8899", "operator", " lobby-pw ", TLoginResult::kAccepted},  // trimmed
        {"http://192.168.7.62:8899", "operator", "wrong", TLoginResult::kRefused},  // HTTP 401
        {"http://192.168.7.63:80", "admin", "x", TLoginResult::kNoConnection},  // nobody there
        {"ftp://192.168.7.60", "admin", "hall-pw", TLoginResult::kRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.url) + " " + c.password);
        EXPECT_EQ(int(family.TestCredentials(QString::fromLatin1(c.url),
                                             {QString::fromLatin1(c.user), QString::fromLatin1(c.password)})),
                  int(c.want));
    }
}

TEST_F(OnvifLan, FamilyApplyRefusedLoginChangesNothing) {
    TOnvifFamily family;
    TFakeSearchSink sink;
    TDevInfo old;
    old.Family = 10;
    old.IP = QString::fromLatin1(kHall.ip);
    old.HttpPort = kHall.port;
    old.AddrMode = kAddrStatic;
    TDevInfo next = old;
    next.IP = QStringLiteral("192.168.7.77");
    EXPECT_EQ(int(family.ApplyNetwork(sink, TApplyOrigin::Advanced, old, next, {"admin", "wrong"})),
              int(TApplyResult::kRefused));
    EXPECT_EQ(Shown("onvif-hall", "ip"), QStringLiteral("192.168.7.60"));
    // A camera that is not there: the change could not be sent.
    TDevInfo gone = old;
    gone.IP = QStringLiteral("192.168.7.63");
    EXPECT_EQ(int(family.ApplyNetwork(sink, TApplyOrigin::Advanced, gone, next, {"admin", "hall-pw"})),
              int(TApplyResult::kSendFailed));
    // The camera's fault (an address it will not take) is no success either.
    next.IP = QStringLiteral("224.0.0.1");
    EXPECT_EQ(int(family.ApplyNetwork(sink, TApplyOrigin::Advanced, old, next, {"admin", "hall-pw"})),
              int(TApplyResult::kSendFailed));
    EXPECT_EQ(Shown("onvif-hall", "ip"), QStringLiteral("192.168.7.60"));
    EXPECT_TRUE(sink.sent.empty());  // nothing through the engine's sockets
}

}  // namespace
