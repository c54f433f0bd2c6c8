// The search end to end against lan-sim's cameras in the simulated LAN of scripts/simlan.
// Runs in the PC namespace only (simlan sets SIMLAN_CONTROL); the cameras are those of
// simlan-cameras.ini, whose values are listed below.

#include "DiscoveryEngine.h"
#include "TestFamilies.h"
#include "TestPackets.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

namespace {

constexpr int kCrowd = 30;

std::vector<TDevInfo> ExplicitCameras()
{
    std::vector<TDevInfo> out;
    auto add = [&](int family, const char* mac, const char* macHex, const char* sn,
                   const QString& name, const char* ip, const char* mask, const char* gw,
                   const char* dns1, const char* dns2, int http, int data, int addrMode,
                   const char* version, const char* ddnsServer, const char* ddnsUser,
                   const char* ddnsPwd, int word8) {
        TDevInfo r;
        r.Family = family;
        r.Mac = mac;
        r.MacHex = macHex;
        r.SN = sn;
        r.Name = name;
        r.IP = ip;
        r.Mask = mask;
        r.Gateway = gw;
        r.Dns1 = dns1;
        r.Dns2 = dns2;
        r.HttpPort = quint16(http);
        r.DataPort = quint16(data);
        r.AddrMode = quint8(addrMode);
        r.Version = version;
        r.DdnsServer = ddnsServer;
        r.DdnsUser = ddnsUser;
        r.DdnsPwd = ddnsPwd;
        r.Word8 = quint16(word8);
        out.push_back(r);
    };
    add(2, "001a2b 00201", "001A2B000201", "", QString::fromUtf8("K\xC3\xBC" "che"),
        "192.168.7.21", "255.255.255.0", "192.168.7.1", "192.168.7.1", "", 8080, 0, 1,
        "2.4.0.11:1.0.3.7", "ddns.example.net:8080", "hall01", "", 0);
    add(2, "001A2B000202", "001A2B000202", "", "Porch", "192.168.1.126", "255.255.255.0",
        "192.168.1.1", "192.168.1.1", "", 80, 0, 2, "1.0.0.1:1.0.0.2", "", "", "", 0);
    add(2, "001A2B000203", "001A2B000203", "", "Shed", "192.168.7.9", "255.255.255.0",
        "192.168.7.1", "8.8.8.8", "", 81, 0, 2, "3.0.0.0:0.0.0.9", "", "", "", 0);
    add(5, "001a2b000501", "001A2B000501", "E5A1000501", "Garden", "192.168.7.51",
        "255.255.255.0", "192.168.7.1", "192.168.7.1", "8.8.8.8", 81, 0, 2, "V3.2.1",
        "ddns.example.net:808", "garden51", "secret51", 0);
    add(5, "001A2B000502", "001A2B000502", "E5A1000502", QString::fromUtf8("Caf\xC3\xA9"),
        "192.168.1.126", "255.255.255.0", "192.168.1.1", "192.168.1.1", "0.0.0.0", 80, 0, 2,
        "V1.0.0", "", "", "", 0);
    add(8, "001A2B000801", "001A2B000801", "01020304050607", "Door", "192.168.7.81",
        "255.255.255.0", "192.168.7.1", "192.168.7.1", "8.8.4.4", 80, 8000, 1, "H8-1.2.3",
        "ddns.example.net:808", "door81", "pw81", 4660);
    add(8, "001A2B000802", "001A2B000802", "0A0B0C0D0E0F10", "Bin8 far", "10.1.1.37",
        "255.0.0.0", "10.0.0.1", "10.0.0.1", "0.0.0.0", 8088, 9001, 2, "H8-0.9", "", "", "",
        0);
    return out;
}

// The generated group: camera n (from 1) of family 2, 5, 8 in turn, addresses counting up.
struct CrowdCamera {
    int family;
    QString macHex;
    QString ip;
    QString name;
};
std::vector<CrowdCamera> Crowd()
{
    std::vector<CrowdCamera> out;
    for (int n = 1; n <= kCrowd; ++n) {
        out.push_back({(n - 1) % 3 == 0 ? 2 : ((n - 1) % 3 == 1 ? 5 : 8),
                       QString("02005E1000%1").arg(n, 2, 16, QChar('0')).toUpper(),
                       QString("192.168.7.%1").arg(99 + n), QString("Crowd %1").arg(n, 2, 10, QChar('0'))});
    }
    return out;
}

int Total()
{
    return int(ExplicitCameras().size()) + kCrowd;
}

const TDevInfo* ByMacHex(const TDeviceList& list, const QString& macHex)
{
    for (int i = 0; i < list.Count(); ++i) {
        if (list.RecordAt(i)->MacHex == macHex)
            return list.RecordAt(i);
    }
    return nullptr;
}

// Every field the camera reports, compared one by one for readable failures.
void ExpectSameCamera(const TDevInfo& got, const TDevInfo& want)
{
    SCOPED_TRACE(want.MacHex.toStdString());
    EXPECT_EQ(got.Family, want.Family);
    EXPECT_EQ(got.Mac, want.Mac);
    EXPECT_EQ(got.MacHex, want.MacHex);
    EXPECT_EQ(got.SN, want.SN);
    EXPECT_EQ(got.Name, want.Name);
    EXPECT_EQ(got.Version, want.Version);
    EXPECT_EQ(got.IP, want.IP);
    EXPECT_EQ(got.Mask, want.Mask);
    EXPECT_EQ(got.Gateway, want.Gateway);
    EXPECT_EQ(got.Dns1, want.Dns1);
    EXPECT_EQ(got.Dns2, want.Dns2);
    EXPECT_EQ(got.HttpPort, want.HttpPort);
    EXPECT_EQ(got.DataPort, want.DataPort);
    EXPECT_EQ(got.AddrMode, want.AddrMode);
    EXPECT_EQ(got.DdnsServer, want.DdnsServer);
    EXPECT_EQ(got.DdnsUser, want.DdnsUser);
    EXPECT_EQ(got.DdnsPwd, want.DdnsPwd);
    EXPECT_EQ(got.Word8, want.Word8);
}

bool Control(const QStringList& command)
{
    const QString lanSim = qEnvironmentVariable("SIMLAN_LANSIM");
    const QString socket = qEnvironmentVariable("SIMLAN_CONTROL");
    QProcess p;
    p.start(lanSim, QStringList{"--ctl", socket} + command);
    return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 &&
           p.readAllStandardOutput().contains("ok");
}

class SimlanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL"))
            GTEST_SKIP() << "runs inside scripts/simlan only";
        ASSERT_TRUE(Control({"start", "all"}));
    }
};

}  // namespace

TEST_F(SimlanTest, EveryCameraIsListedWithinTwoTicksWithItsValues)
{
    DiscoveryEngine engine(testsupport::Families());
    QSignalSpy ticks(&engine, &DiscoveryEngine::ticked);
    ASSERT_EQ(engine.Start(), 5);
    // The replies to the second tick's probes arrive well before the third tick.
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 2; }, 2500));
    const bool all = QTest::qWaitFor([&] { return engine.Devices().Count() >= Total(); }, 800);
    EXPECT_TRUE(all) << engine.Devices().Count() << " of " << Total() << " listed";
    ASSERT_LT(ticks.count(), 3);
    const TDeviceList& list = engine.Devices();
    // Exactly the cameras: our own probes, heard back on our sockets, added nothing.
    EXPECT_EQ(list.Count(), Total());
    EXPECT_GT(engine.DatagramCount(), quint64(Total()));

    for (const TDevInfo& want : ExplicitCameras()) {
        const TDevInfo* got = ByMacHex(list, want.MacHex);
        ASSERT_NE(got, nullptr) << want.MacHex.toStdString();
        ExpectSameCamera(*got, want);
    }
    for (const CrowdCamera& c : Crowd()) {
        const TDevInfo* got = ByMacHex(list, c.macHex);
        ASSERT_NE(got, nullptr) << c.macHex.toStdString();
        EXPECT_EQ(got->Family, c.family);
        EXPECT_EQ(got->IP, c.ip);
        EXPECT_EQ(got->Name, c.name);
    }
    // Shown in address order; the three cameras at one factory address keep arrival order.
    for (int i = 1; i < list.Count(); ++i)
        EXPECT_LE(CompareIp(list.RecordAt(i - 1)->IP, list.RecordAt(i)->IP), 0) << i;
}

TEST_F(SimlanTest, SilentCamerasExpireAfterTenTicksAndComeBack)
{
    DiscoveryEngine engine(testsupport::Families());
    ASSERT_EQ(engine.Start(), 5);
    const TDeviceList& list = engine.Devices();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.Count() == Total(); }, 3500));

    const std::pair<const char*, const char*> stopped[] = {
        {"moi-shed", "001A2B000203"}, {"ctp-garden", "001A2B000501"}, {"bin8-door", "001A2B000801"}};
    // Stop them once the replies to one tick are in: that tick gave their last answer.
    int lastAnswered = -1;
    std::map<int, bool> presentAfter;  // tick -> all stopped cameras still listed
    std::map<int, int> countAfter;
    QObject::connect(&engine, &DiscoveryEngine::ticked, [&](int tick) {
        if (lastAnswered < 0)
            return;
        bool all = true, none = true;
        for (const auto& s : stopped) {
            const bool here = ByMacHex(list, s.second) != nullptr;
            all = all && here;
            none = none && !here;
        }
        presentAfter[tick] = all;
        countAfter[tick] = list.Count();
        if (!all) {
            EXPECT_TRUE(none) << "tick " << tick << ": the stopped cameras left at different ticks";
        }
    });
    QSignalSpy ticks(&engine, &DiscoveryEngine::ticked);
    ASSERT_TRUE(ticks.wait(1500));
    const int k = ticks.last().at(0).toInt();
    QTest::qWait(300);
    for (const auto& s : stopped)
        ASSERT_TRUE(Control({"stop", s.first}));
    lastAnswered = k;

    ASSERT_TRUE(QTest::qWaitFor([&] { return presentAfter.count(k + 11) > 0; }, 14000));
    for (int t = k + 1; t <= k + 9; ++t) {
        EXPECT_TRUE(presentAfter[t]) << "gone too early, after tick " << t - k;
        EXPECT_EQ(countAfter[t], Total());
    }
    EXPECT_FALSE(presentAfter[k + 10]) << "still listed ten ticks after the last answer";
    EXPECT_EQ(countAfter[k + 10], Total() - 3);
    EXPECT_EQ(countAfter[k + 11], Total() - 3);

    // Answering again puts them back by the next tick.
    for (const auto& s : stopped)
        ASSERT_TRUE(Control({"start", s.first}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return list.Count() == Total(); }, 2500));
}

TEST_F(SimlanTest, IpcamScanPrintsTheList)
{
    const QString scan = qEnvironmentVariable("IPCAM_SCAN");
    ASSERT_FALSE(scan.isEmpty()) << "IPCAM_SCAN names the ipcam-scan program";

    QProcess text;
    text.start(scan, {"--seconds", "2"});
    ASSERT_TRUE(text.waitForFinished(15000));
    EXPECT_EQ(text.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(text.exitCode(), 0) << text.readAllStandardError().constData();
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    QStringList lines = out.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.takeLast(), QString()) << "every line ends in CR LF";
    ASSERT_EQ(lines.size(), Total());
    std::map<QString, QStringList> byMac;
    QString previousIp;
    for (int i = 0; i < lines.size(); ++i) {
        ASSERT_FALSE(lines[i].contains(u'\n'));
        const QStringList f = lines[i].split(u'\t');
        ASSERT_EQ(f.size(), 5) << lines[i].toStdString();
        EXPECT_EQ(f[0], QString::number(i + 1));
        if (i > 0) {
            EXPECT_LE(CompareIp(previousIp, f[3]), 0);
        }
        previousIp = f[3];
        byMac[f[4]] = f;
    }
    for (const TDevInfo& want : ExplicitCameras()) {
        const QStringList& f = byMac[want.MacHex];
        ASSERT_EQ(f.size(), 5) << want.MacHex.toStdString();
        EXPECT_EQ(f[1], testsupport::Families().SeriesLetter(want.Family));
        EXPECT_EQ(f[2], want.Name);
        EXPECT_EQ(f[3], want.IP);
    }

    QProcess json;
    json.start(scan, {"--seconds", "2", "--json"});
    ASSERT_TRUE(json.waitForFinished(15000));
    EXPECT_EQ(json.exitCode(), 0);
    const QByteArray jsonText = json.readAllStandardOutput();
    // The DDNS passwords the cameras report stay inside the program.
    for (const char* secret : {"secret51", "pw81"})
        EXPECT_FALSE(jsonText.contains(secret)) << secret;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(jsonText, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    ASSERT_TRUE(doc.isArray());
    ASSERT_EQ(doc.array().size(), Total());
    for (const TDevInfo& want : ExplicitCameras()) {
        QJsonObject found;
        for (const QJsonValue& v : doc.array()) {
            if (v.toObject().value("MacHex").toString() == want.MacHex)
                found = v.toObject();
        }
        ASSERT_FALSE(found.isEmpty()) << want.MacHex.toStdString();
        TDevInfo got;
        got.Family = found.value("Family").toInt();
        got.Mac = found.value("Mac").toString();
        got.MacHex = found.value("MacHex").toString();
        got.SN = found.value("SN").toString();
        got.Name = found.value("Name").toString();
        got.Version = found.value("Version").toString();
        got.IP = found.value("IP").toString();
        got.Mask = found.value("Mask").toString();
        got.Gateway = found.value("Gateway").toString();
        got.Dns1 = found.value("Dns1").toString();
        got.Dns2 = found.value("Dns2").toString();
        got.HttpPort = quint16(found.value("HttpPort").toInt());
        got.DataPort = quint16(found.value("DataPort").toInt());
        got.AddrMode = quint8(found.value("AddrMode").toInt());
        got.DdnsServer = found.value("DdnsServer").toString();
        got.DdnsUser = found.value("DdnsUser").toString();
        got.Word8 = quint16(found.value("Word8").toInt());
        TDevInfo shown = want;
        shown.DdnsPwd.clear();
        ExpectSameCamera(got, shown);
        EXPECT_FALSE(found.contains("DdnsPwd"));
        EXPECT_FALSE(found.contains("LoginPwd"));
        EXPECT_EQ(found.value("Adapter").toString(), qEnvironmentVariable("SIMLAN_PC_IF"));
        // The name as the camera sent it, as hexadecimal digits.
        EXPECT_EQ(found.value("NameRaw").toString(), QString::fromLatin1(want.Name.toUtf8().toHex().toUpper()));
        EXPECT_EQ(found.size(), 27);
    }
}

