// The camera sessions end to end against lan-sim's cameras in the simulated LAN of
// scripts/simlan: the search of every family, CTP/1.0 and CGI sessions, restarts and address
// changes. Runs in the PC namespace only (simlan sets SIMLAN_CONTROL); the cameras are those
// of cameras.ini.

#include "BuiltInFamilies.h"
#include "CgiFamily.h"
#include "CtpSocket.h"
#include "DiscoveryEngine.h"
#include "FindHisi.h"
#include "HisiFamily.h"
#include "NetnsGuard.h"
#include "RebootThread.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

constexpr const char* kCtpIp = "192.168.7.151";
constexpr int kCtpPort = 81;
constexpr const char* kCtpPassword = "ctppw";
constexpr const char* kT9Password = "t9pw";

struct TCamera {
    const char* id;  // lan-sim's id
    int family;
    const char* macHex;
    const char* sn;  // empty: the family reports none
    const char* name;
    const char* ip;
    int httpPort;
    int dataPort;
};

const TCamera kCameras[] = {
    {"moi", 2, "001A2B0E0201", "", "E2E MoI", "192.168.7.121", 8080, 0},
    // The library's serial argument is not read.
    {"dvs", 4, "001A2B0E0401", "", "E2E DVS", "192.168.7.141", 80, 8001},
    {"ctp", 5, "001A2B0E0501", "E5E2E0501", "E2E CTP", kCtpIp, kCtpPort, 0},
    {"bin8", 8, "001A2B0E0801", "0E0E0E0E0E0801", "E2E Bin8", "192.168.7.181", 80, 8000},
    {"t9", 9, "001A2B0E0901", "T9-E2E0901", "E2E T9", "192.168.7.191", 81, 0},
};

// One command to lan-sim's control socket; its output, or nothing when it did not end in "ok".
std::optional<QString> Control(const QStringList& command)
{
    QProcess p;
    p.start(qEnvironmentVariable("SIMLAN_LANSIM"),
            QStringList{"--ctl", qEnvironmentVariable("SIMLAN_CONTROL")} + command);
    if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (!out.contains(QStringLiteral("ok")))
        return std::nullopt;
    return out;
}

const TDevInfo* ByMacHex(const TDeviceList& list, const QString& macHex)
{
    for (int i = 0; i < list.Count(); ++i) {
        if (list.RecordAt(i)->MacHex == macHex)
            return list.RecordAt(i);
    }
    return nullptr;
}

// The search as the advanced window runs it: every family, with the stand-in library (from
// the "909" folder beside this binary) searching on Find.
struct TSearch {
    std::unique_ptr<TFamilyRegistry> families =
        MakeBuiltInFamilies(QCoreApplication::applicationDirPath());
    DiscoveryEngine engine{*families};

    bool LibraryLoaded() const
    {
        return static_cast<THisiFamily*>(families->Find(4))->Library().Loaded();
    }
    ICgiCamera& Cgi() { return static_cast<TCgiFamily*>(families->Find(9))->Driver(); }

    bool Run()
    {
        if (engine.Start() != 5)
            return false;
        engine.Find();
        return true;
    }
    const TDevInfo* WaitFor(const QString& macHex, int ms)
    {
        const bool found =
            QTest::qWaitFor([&] { return ByMacHex(engine.Devices(), macHex) != nullptr; }, ms);
        return found ? ByMacHex(engine.Devices(), macHex) : nullptr;
    }
};

class SessionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL"))
            GTEST_SKIP() << "runs inside scripts/simlan only";
        ASSERT_TRUE(Control({"reset", "all"}));
        TCTPSocket::FreeCTPSessionPool();
        TCTPSocket::SetTimeouts({1000, 3000});
    }
    void TearDown() override { TCTPSocket::FreeCTPSessionPool(); }
};

}  // namespace

TEST_F(SessionsTest, EveryFamilyIsListedWithItsValues)
{
    TSearch search;
    ASSERT_TRUE(search.Run());
    const TDeviceList& list = search.engine.Devices();
    EXPECT_TRUE(QTest::qWaitFor([&] { return list.Count() >= int(std::size(kCameras)); }, 3500));
    EXPECT_EQ(list.Count(), int(std::size(kCameras)));
    for (const TCamera& c : kCameras) {
        SCOPED_TRACE(c.id);
        const TDevInfo* got = ByMacHex(list, c.macHex);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->Family, c.family);
        EXPECT_EQ(got->Name, c.name);
        EXPECT_EQ(got->IP, c.ip);
        EXPECT_EQ(got->Mask, "255.255.255.0");
        EXPECT_EQ(got->Gateway, "192.168.7.1");
        EXPECT_EQ(got->HttpPort, c.httpPort);
        EXPECT_EQ(got->SN, c.sn);
        EXPECT_EQ(got->DataPort, c.dataPort);
    }
}

TEST_F(SessionsTest, CtpLoginWirelessScanAndDdnsState)
{
    TCTPSession s = TCTPSocket::GetCTPSession(kCtpIp, kCtpPort);
    ASSERT_TRUE(s);
    // The camera wants a login first: without one, and after a wrong one, nothing is read.
    EXPECT_FALSE(s->GetWiFi().has_value());
    EXPECT_FALSE(s->Login("admin", "wrong"));
    EXPECT_FALSE(s->GetWiFi().has_value());
    ASSERT_TRUE(s->Login("admin", kCtpPassword));

    const std::optional<TDEVWiFi> configured = s->GetWiFi();
    ASSERT_TRUE(configured.has_value());
    EXPECT_EQ(configured->enable, 1);
    EXPECT_EQ(configured->ssid, "Home");
    EXPECT_EQ(configured->authmode, "WPA2PSK");
    EXPECT_EQ(configured->encryptype, "AES");
    EXPECT_EQ(configured->key, "home key 1");
    EXPECT_EQ(configured->dhcpen, 0);

    TDEVWiFi next;
    next.enable = 1;
    next.ssid = "Office Net";
    next.authmode = "WPAPSK";
    next.encryptype = "TKIP";
    next.key = "office pass 2";
    ASSERT_TRUE(s->SetWiFi(next));
    const std::optional<TDEVWiFi> readBack = s->GetWiFi();
    ASSERT_TRUE(readBack.has_value());
    EXPECT_EQ(*readBack, next);

    TWiFi2List networks;
    ASSERT_TRUE(s->ScanWiFi(&networks));
    const TWiFi2 want[] = {
        {"Home", 1, 0, 2, 2, "80"}, {"Open Cafe", 0, 0, 0, 0, "35"}, {"Shop", 1, 0, 1, 1, "41"}};
    ASSERT_EQ(networks.size(), qsizetype(std::size(want)));
    for (size_t i = 0; i < std::size(want); ++i) {
        SCOPED_TRACE(want[i].ssid.toStdString());
        EXPECT_EQ(networks[qsizetype(i)].wifi.ssid, want[i].ssid);
        EXPECT_EQ(networks[qsizetype(i)].wifi.security, want[i].security);
        EXPECT_EQ(networks[qsizetype(i)].wifi.signal, want[i].signal);
        if (want[i].security == 1) {  // auth and cipher mean nothing for an open network
            EXPECT_EQ(networks[qsizetype(i)].wifi.auth, want[i].auth);
            EXPECT_EQ(networks[qsizetype(i)].wifi.cipher, want[i].cipher);
        }
        EXPECT_EQ(networks[qsizetype(i)].text, Ctp::WiFiItemText(want[i]));
    }

    EXPECT_EQ(s->GetOrayState(), 3);
    // The pool hands out the same live connection, still logged in.
    TCTPSession again = TCTPSocket::GetCTPSession(kCtpIp, kCtpPort);
    EXPECT_EQ(again, s);
    EXPECT_TRUE(Ctp::ReplyOk(TCTPSocket::CTPRequest(kCtpIp, kCtpPort, Ctp::OrayStateRequest())));
}

TEST_F(SessionsTest, CtpRestartMakesTheCameraVanishAndThePoolReconnects)
{
    TSearch search;
    ASSERT_TRUE(search.Run());
    ASSERT_NE(search.WaitFor("001A2B0E0501", 2500), nullptr);
    TCTPSession before = TCTPSocket::GetCTPSession(kCtpIp, kCtpPort);
    ASSERT_TRUE(before);
    ASSERT_TRUE(before->Login("admin", kCtpPassword));

    QObject context;
    bool done = false, answered = false;
    ASSERT_NE(TRebootThread::Start(kCtpIp, kCtpPort, &context,
                                   [&](bool a) {
                                       done = true;
                                       answered = a;
                                   }),
              nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    EXPECT_TRUE(answered);
    const std::optional<QString> state = Control({"list", "ctp"});
    ASSERT_TRUE(state.has_value());
    EXPECT_TRUE(state->contains("restarting")) << state->toStdString();

    // Away: no search answers (the row ages), no CTP.
    EXPECT_TRUE(TCTPSocket::CTPRequest(kCtpIp, kCtpPort, Ctp::KeepAliveRequest()).isEmpty());
    QTest::qWait(1200);
    const TDevInfo* rec = ByMacHex(search.engine.Devices(), "001A2B0E0501");
    ASSERT_NE(rec, nullptr);
    EXPECT_LT(rec->TimeToLive, TDeviceList::kTimeToLive);

    // Back: the pool makes a new connection, which takes a login again.
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
            return Ctp::ReplyAlive(
                TCTPSocket::CTPRequest(kCtpIp, kCtpPort, Ctp::KeepAliveRequest()));
        },
        8000));
    TCTPSession after = TCTPSocket::GetCTPSession(kCtpIp, kCtpPort);
    ASSERT_TRUE(after);
    EXPECT_NE(after, before);
    EXPECT_TRUE(before->Closed() || !before->KeepAlive());
    ASSERT_TRUE(after->Login("admin", kCtpPassword));
    EXPECT_EQ(after->GetOrayState(), 3);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const TDevInfo* r = ByMacHex(search.engine.Devices(), "001A2B0E0501");
            return r && r->TimeToLive == TDeviceList::kTimeToLive;
        },
        2500));
}

// Each family's address change through the program's own sender, then the camera is searched
// for anew; a wrong login must leave the camera where it was.
// ipcam-scan, run as an administrator would, lists the camera with that MAC at that address.
bool ScanToolFinds(const QString& macHex, const QString& ip)
{
    QProcess scan;
    scan.start(QStringLiteral(IPCAM_SCAN_PATH), {QStringLiteral("--seconds"), QStringLiteral("2"), QStringLiteral("--json")});
    if (!scan.waitForFinished(10000) || scan.exitCode() != 0)
        return false;
    const QJsonArray rows = QJsonDocument::fromJson(scan.readAllStandardOutput()).array();
    for (const QJsonValue& row : rows) {
        const QJsonObject o = row.toObject();
        if (o.value(QStringLiteral("MacHex")).toString() == macHex && o.value(QStringLiteral("IP")).toString() == ip)
            return true;
    }
    return false;
}

TEST_F(SessionsTest, AddressChangeInEveryFamilyIsFoundAtTheNewAddress)
{
    struct TCase {
        const char* id;
        const char* macHex;
        const char* newIp;
        quint16 newPort;
        const char* password;
        bool moves;
    };
    const TCase cases[] = {
        {"moi", "001A2B0E0201", "192.168.7.221", 8081, "moipw", true},
        {"moi wrong login", "001A2B0E0201", "192.168.7.222", 8082, "nope", false},
        {"ctp", "001A2B0E0501", "192.168.7.251", 82, kCtpPassword, true},
        {"bin8", "001A2B0E0801", "192.168.7.231", 8088, "", true},
        {"t9", "001A2B0E0901", "192.168.7.241", 8181, kT9Password, true},
        {"t9 wrong login", "001A2B0E0901", "192.168.7.242", 8182, "nope", false},
        {"dvs", "001A2B0E0401", "192.168.7.211", 8011, "dvspw", true},
        {"dvs wrong login", "001A2B0E0401", "192.168.7.212", 8012, "nope", false},
    };
    TSearch search;
    ASSERT_TRUE(search.LibraryLoaded()) << "the stand-in library is missing from 909/";
    ASSERT_TRUE(search.Run());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.id);
        ASSERT_TRUE(Control({"reset", "all"}));
        search.engine.Find();
        const TDevInfo* found = search.WaitFor(c.macHex, 3500);
        ASSERT_NE(found, nullptr);
        const TDevInfo old = *found;
        TDevInfo next = old;
        next.IP = c.newIp;
        next.HttpPort = c.newPort;
        next.AddrMode = kAddrStatic;

        // Every family's command as the advanced window's Apply sends it. A command that is
        // only sent is judged by the search below; one the camera answers, by its answer too.
        const TApplyResult sent = search.families->Get(old.Family).ApplyNetwork(
            search.engine, TApplyOrigin::Advanced, old, next, TLogin{"admin", c.password});
        ASSERT_TRUE(sent == TApplyResult::kSent || sent == TApplyResult::kAccepted ||
                    sent == TApplyResult::kRefused)
            << int(sent);
        if (sent != TApplyResult::kSent)
            EXPECT_EQ(sent == TApplyResult::kAccepted, c.moves);

        // A fresh search: the row comes back from the camera's own answer.
        QTest::qWait(300);
        search.engine.Find();
        const QString wantIp = c.moves ? c.newIp : old.IP;
        const quint16 wantPort = c.moves ? c.newPort : old.HttpPort;
        const bool there = QTest::qWaitFor(
            [&] {
                const TDevInfo* r = ByMacHex(search.engine.Devices(), c.macHex);
                return r && r->IP == wantIp;
            },
            c.moves ? 4000 : 2500);
        const TDevInfo* now = ByMacHex(search.engine.Devices(), c.macHex);
        ASSERT_NE(now, nullptr);
        EXPECT_TRUE(there) << "found at " << now->IP.toStdString();
        EXPECT_EQ(now->HttpPort, wantPort);
        EXPECT_EQ(now->Name, old.Name);
        if (!c.moves)
            continue;
        EXPECT_TRUE(ScanToolFinds(c.macHex, c.newIp)) << "ipcam-scan does not list it at the new address";

        // It answers its sessions there too.
        if (old.Family == 5) {
            TCTPSession s = TCTPSocket::GetCTPSession(c.newIp, c.newPort);
            ASSERT_TRUE(s);
            EXPECT_TRUE(s->Login("admin", kCtpPassword));
        } else if (old.Family == 9) {
            EXPECT_TRUE(search.Cgi().CheckLogin(InnerUrl(*now), "admin", kT9Password));
        }
    }
}

TEST_F(SessionsTest, CgiLoginWirelessScanAndDdns)
{
    TSearch search;
    ICgiCamera& cgi = search.Cgi();
    ASSERT_TRUE(search.Run());
    ASSERT_NE(search.WaitFor("001A2B0E0901", 2500), nullptr);
    TDeviceList& list = search.engine.Devices();
    TDevInfo* rec = list.FindRecordByMac(ByMacHex(list, "001A2B0E0901")->Mac);
    ASSERT_NE(rec, nullptr);
    const QString base = InnerUrl(*rec);
    EXPECT_EQ(base, "http://192.168.7.191:81");

    EXPECT_TRUE(cgi.CheckLogin(base, "admin", kT9Password));
    EXPECT_FALSE(cgi.CheckLogin(base, "admin", "wrong"));
    EXPECT_FALSE(cgi.CheckLogin(base, "guest", kT9Password));

    const TDevInfo cam = *rec;
    const std::optional<TCgiWiFiParams> wifi = cgi.GetWiFiParams(cam, "admin", kT9Password);
    ASSERT_TRUE(wifi);
    EXPECT_EQ(wifi->enable, 1);
    EXPECT_EQ(wifi->ssid, "Home");
    EXPECT_EQ(wifi->encrypt, 4);  // WPA2 AES
    EXPECT_EQ(wifi->wpa_psk, "t9 key");

    TWiFiList networks;
    ASSERT_EQ(cgi.ScanWiFiList(cam, "admin", kT9Password, networks), 2);
    ASSERT_TRUE(networks[0].record && networks[1].record);
    EXPECT_EQ(networks[0].record->ssid, "Home");
    EXPECT_EQ(networks[0].record->security, 4);
    EXPECT_EQ(networks[0].record->mac, "00:11:22:33:44:55");
    EXPECT_EQ(networks[0].record->dbm0, "66");
    EXPECT_EQ(networks[1].record->ssid, "Open Cafe");
    EXPECT_EQ(networks[1].record->security, 0);
    EXPECT_EQ(networks[1].record->dbm0, "30");
    EXPECT_EQ(cgi.ScanWiFiList(cam, "admin", "wrong", networks), -1);

    const TCgiFactoryParams ddns = cgi.GetFactoryParams(Cgi::BaseUrl(cam), "admin", kT9Password, false);
    EXPECT_EQ(ddns.status, Cgi::kFactoryComplete);
    EXPECT_EQ(ddns.index, "10");
    EXPECT_EQ(ddns.server, "ddns.example.net");
    EXPECT_EQ(ddns.port, "808");
    EXPECT_EQ(ddns.user, "t9user");
    EXPECT_EQ(ddns.passwd, "t9ddns");
    EXPECT_EQ(cgi.GetFactoryParams(Cgi::BaseUrl(cam), "admin", "wrong", false).status,
              Cgi::kFactoryNoVar);
}

int main(int argc, char** argv)
{
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
