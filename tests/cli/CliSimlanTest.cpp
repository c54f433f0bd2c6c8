// The ipcam tool against lan-sim's cameras in the simulated LAN (cameras.ini; with
// --second-config also second-network.ini behind the PC's second adapter). The tool runs as
// its own process, from the simulated-LAN tree (IPCAM), so that family 4's stand-in library
// is beside it.

#include "DiscoveryEngine.h"
#include "IpcamRun.h"
#include "TestFamilies.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

namespace {

// One lan-sim control command; its data lines, or nothing when it failed.
std::optional<QByteArray> Control(const QString& socketVar, const QStringList& command)
{
    QProcess p;
    p.start(qEnvironmentVariable("SIMLAN_LANSIM"),
            QStringList{"--ctl", qEnvironmentVariable(socketVar.toLatin1().constData())} + command);
    if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

// The present values of one camera (lan-sim "show").
std::map<QString, QString> Show(const QString& camera, const char* socketVar = "SIMLAN_CONTROL")
{
    std::map<QString, QString> values;
    const auto out = Control(QString::fromLatin1(socketVar), {"show", camera});
    if (!out)
        return values;
    for (const QString& line : QString::fromUtf8(*out).split(u'\n')) {
        const qsizetype eq = line.indexOf(QStringLiteral(" = "));
        if (eq > 0)
            values[line.left(eq)] = line.mid(eq + 3);
        else if (line.endsWith(QStringLiteral(" =")))
            values[line.chopped(2)] = QString();
    }
    return values;
}

bool WaitFor(const std::function<bool()>& cond, int ms)
{
    return QTest::qWaitFor(cond, ms);
}

// The settings commands that went out, as this namespace hears its own broadcasts: one socket
// on each command port (the tool's search sockets move up past them).
class CommandWatch {
public:
    CommandWatch()
    {
        for (quint16 port : {quint16(10000), quint16(7999), quint16(6801), quint16(8600), quint16(9909)}) {
            auto s = std::make_unique<QUdpSocket>();
            bound = s->bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress) && bound;
            QUdpSocket* raw = s.get();
            QObject::connect(raw, &QUdpSocket::readyRead, [this, raw, port] {
                while (raw->hasPendingDatagrams()) {
                    const QByteArray d = raw->receiveDatagram().data();
                    if (d == "fence")
                        fenced.insert(port);
                    else if (IsCommand(port, d))
                        commands.push_back(d);
                }
            });
            sockets.push_back(std::move(s));
        }
    }
    // Everything sent before now has been heard.
    bool Settle()
    {
        fenced.clear();
        const quint32 pc = quint32(QNetworkInterface::interfaceIndexFromName(qEnvironmentVariable("SIMLAN_PC_IF")));
        QUdpSocket s;
        s.bind(QHostAddress::AnyIPv4, 0);
        for (quint16 port : {quint16(10000), quint16(7999), quint16(6801), quint16(8600), quint16(9909)}) {
            QNetworkDatagram d(QByteArray("fence"), QHostAddress(QHostAddress::Broadcast), port);
            d.setInterfaceIndex(pc);
            s.writeDatagram(d);
        }
        return WaitFor([&] { return fenced.size() == 5; }, 3000);
    }
    static bool IsCommand(quint16 port, const QByteArray& d)
    {
        switch (port) {
        case 10000: return d.startsWith("MO_I") && d.size() > 5 && d[4] == 2 && d[5] == 0;
        case 7999: return d.startsWith("CMD setip");
        case 6801: return d.startsWith(QByteArray::fromHex("1010020f"));
        case 8600: return d.startsWith(QByteArray::fromHex("44480201"));
        default: return d.startsWith("DVSN") && d.size() > 5 && d[5] == 0x02;
        }
    }
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    std::vector<QByteArray> commands;
    std::set<quint16> fenced;
    bool bound = true;
};

class Ipcam : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL") || qEnvironmentVariableIsEmpty("IPCAM"))
            GTEST_SKIP() << "runs inside scripts/simlan only, with IPCAM naming the tool";
        ASSERT_TRUE(Control("SIMLAN_CONTROL", {"reset", "all"}));
        if (!qEnvironmentVariableIsEmpty("SIMLAN_CONTROL2")) {
            ASSERT_TRUE(Control("SIMLAN_CONTROL2", {"reset", "all"}));
        }
    }
};

class TwoNetworks : public Ipcam {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL2"))
            GTEST_SKIP() << "runs inside scripts/simlan --second-config only";
        Ipcam::SetUp();
    }
};

}  // namespace

TEST_F(Ipcam, SetsEveryFamilyAndFindsTheCameraBackWithItsNewValues)
{
    struct Case {
        const char* camera;
        QStringList args;
        QByteArray line;  // what the tool prints: the record found back
        std::map<QString, QString> shown;  // what the camera now holds
    } cases[] = {
        {"moi-a",
         {"0002a0000001", "--ip", "192.168.7.121", "--mask", "255.255.0.0", "--gateway",
          "192.168.7.2", "--dns", "192.168.7.3", "--port", "8021", "--password", "moipw"},
         "1\tF\tmoi-a\t192.168.7.121\t0002A0000001\r\n",
         {{"ip", "192.168.7.121"}, {"mask", "255.255.0.0"}, {"gateway", "192.168.7.2"},
          {"dns1", "192.168.7.3"}, {"http_port", "8021"}}},
        {"ctp-a",
         {"00-05-a0-00-00-01", "--ip", "192.168.7.151", "--name", QString::fromUtf8("Garten S\xC3\xBC" "d"),
          "--port", "8151", "--dns2", "192.168.7.4", "--password", "ctppw"},
         "1\tE\tGarten S\xC3\xBC" "d\t192.168.7.151\t0005A0000001\r\n",
         {{"ip", "192.168.7.151"}, {"name", QString::fromUtf8("Garten S\xC3\xBC" "d")},
          {"http_port", "8151"}, {"dns2", "192.168.7.4"}}},
        // Named by its address; to DHCP without a DHCP address: it keeps the one sent.
        {"bin8-a",
         {"192.168.7.81", "--ip", "192.168.7.181", "--data-port", "9181", "--name", "Door 8", "--dhcp"},
         "1\tH\tDoor 8\t192.168.7.181\t0008A0000001\r\n",
         {{"ip", "192.168.7.181"}, {"data_port", "9181"}, {"name", "Door 8"}, {"dhcp", "yes"}}},
        // To DHCP: the camera comes back at the address its DHCP server gives.
        {"t9-a",
         {"00:09:A0:00:00:01", "--dhcp", "--name", "Porch 9", "--password", "t9secret"},
         "1\tT\tPorch 9\t192.168.7.199\t00:09:A0:00:00:01\r\n",
         {{"ip", "192.168.7.199"}, {"dhcp", "yes"}, {"name", "Porch 9"}}},
        {"dvs-a",
         {"0004A0000001", "--ip", "192.168.7.141", "--port", "8141", "--data-port", "8142",
          "--name", "Gate 4", "--password", "dvspw"},
         "1\tH\tGate 4\t192.168.7.141\t0004A0000001\r\n",
         {{"ip", "192.168.7.141"}, {"http_port", "8141"}, {"data_port", "8142"}, {"name", "Gate 4"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        const TRun r = RunIpcam(QStringList{"set"} + c.args);
        EXPECT_EQ(r.exit, 0) << r;
        EXPECT_EQ(r.out, c.line);
        EXPECT_EQ(r.err, QByteArray());
        const auto shown = Show(QString::fromLatin1(c.camera));
        for (const auto& [key, value] : c.shown)
            EXPECT_EQ(shown.count(key) ? shown.at(key) : QString("(none)"), value) << key.toStdString();
        EXPECT_EQ(shown.at("changes"), "1");
    }
}

TEST_F(Ipcam, JsonPrintsTheNewRecordWithoutCredentials)
{
    const TRun r = RunIpcam({"set", "00:09:a0:00:00:01", "--port", "8091", "--password", "t9secret", "--json"});
    ASSERT_EQ(r.exit, 0) << r;
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(o.value("Family").toInt(), 9);
    EXPECT_EQ(o.value("IP").toString(), "192.168.7.91");
    EXPECT_EQ(o.value("HttpPort").toInt(), 8091);
    EXPECT_EQ(o.value("Name").toString(), "t9-a");
    EXPECT_EQ(o.value("DdnsUser").toString(), "t9user");
    EXPECT_EQ(o.value("Adapter").toString(), qEnvironmentVariable("SIMLAN_PC_IF"));
    EXPECT_FALSE(o.contains("LoginPwd"));
    EXPECT_FALSE(o.contains("LoginUser"));
    EXPECT_FALSE(o.contains("DdnsPwd"));
    // The camera reports its login and DDNS passwords in its search reply.
    EXPECT_FALSE(r.out.contains("t9secret"));
    EXPECT_FALSE(r.out.contains("t9ddnssecret"));
}

TEST_F(Ipcam, ACameraThatDoesNotAnswerIsNotFound)
{
    TRun r = RunIpcam({"set", "0002A0000099", "--ip", "192.168.7.30", "--seconds", "1"});
    EXPECT_EQ(r.exit, 3) << r;
    EXPECT_EQ(r.err, "ipcam: no camera with MAC 0002A0000099 answered within 1 s\n");
    EXPECT_EQ(r.out, QByteArray());
    r = RunIpcam({"restart", "192.168.7.250", "--seconds", "1"});
    EXPECT_EQ(r.exit, 3) << r;
    EXPECT_EQ(r.err, "ipcam: no camera at 192.168.7.250 answered within 1 s\n");
    // A stopped camera is not there either.
    ASSERT_TRUE(Control("SIMLAN_CONTROL", {"stop", "moi-a"}));
    r = RunIpcam({"set", "0002A0000001", "--port", "81", "--seconds", "2"});
    EXPECT_EQ(r.exit, 3) << r;
}

TEST_F(Ipcam, ARefusedLoginLeavesTheCameraAsItWas)
{
    struct Case {
        const char* camera;
        QStringList args;
        QByteArray err;
    } cases[] = {
        // Families that answer the command refuse at once.
        {"t9-b", {"00:09:A0:00:00:02", "--ip", "192.168.7.192", "--password", "wrong-t9"},
         "ipcam: the camera refused the settings (a wrong user name or password?)\n"},
        {"dvs-a", {"00:04:A0:00:00:01", "--ip", "192.168.7.142", "--password", "wrong-dvs"},
         "ipcam: the camera refused the settings (a wrong user name or password?)\n"},
        // The others take a broadcast without a word: the camera does not come back.
        {"moi-b", {"0002A0000002", "--ip", "192.168.7.122", "--password", "wrong-moi", "--wait", "3"},
         "ipcam: sent, but the camera did not answer at 192.168.7.122 within 3 s\n"},
        {"ctp-a", {"0005A0000001", "--port", "8051", "--password", "wrong-ctp", "--wait", "3"},
         "ipcam: sent, but the camera did not answer at 192.168.7.51 within 3 s\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        const TRun r = RunIpcam(QStringList{"set"} + c.args);
        EXPECT_EQ(r.exit, 1) << r;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, QByteArray());
        EXPECT_EQ(Show(QString::fromLatin1(c.camera)).at("changes"), "0");
    }
}

TEST_F(Ipcam, BadValuesAreRefusedBeforeAnythingIsSent)
{
    CommandWatch watch;
    ASSERT_TRUE(watch.bound);
    struct Case {
        QStringList args;
        QByteArray err;  // its first line
    } cases[] = {
        // Refused before the search.
        {{"0002A0000001", "--ip", "192.168.7.256"}, "ipcam: --ip 192.168.7.256: not four numbers 0 to 255"},
        {{"0002A0000001", "--gateway", "10.0.0"}, "ipcam: --gateway 10.0.0: not four numbers 0 to 255"},
        {{"0002A0000001", "--dns", " 8.8.8.8"}, "ipcam: --dns  8.8.8.8: not four numbers 0 to 255"},
        {{"0002A0000001", "--port", "0"}, "ipcam: --port: not a port from 1 to 65535"},
        {{"0002A0000001", "--port", "65536"}, "ipcam: --port: not a port from 1 to 65535"},
        {{"0002A0000001", "--data-port", "-1"}, "ipcam: --data-port: not a port from 1 to 65535"},
        {{"0002A0000001", "--port", "+80"}, "ipcam: --port: not a port from 1 to 65535"},
        {{"0002A0000001", "--dhcp", "--static"}, "ipcam: --dhcp and --static exclude each other"},
        {{"0002A0000001", "--mask"}, "ipcam: --mask needs a value"},
        {{"0002A0000001", "--colour", "red"}, "ipcam: unknown option --colour"},
        {{"0002A0000001", "--port", "81", "--port", "82"}, "ipcam: --port given twice"},
        {{"--ip", "192.168.7.30"}, "ipcam: name the camera by its MAC or its address"},
        {{"not/a/mac", "--ip", "192.168.7.30"}, "ipcam: CAMERA must be a MAC or an IPv4 address"},
        {{"0002A0000001", "--wait", "0"}, "ipcam: --wait: not a number from 1 to 600"},
        // Refused once the camera's family is known.
        {{"0002A0000001", "--name", "Hall"},
         "ipcam: the camera's family 2 (series F) cannot set the name (--name)"},
        {{"0002A0000001", "--dhcp"},
         "ipcam: the camera's family 2 (series F) cannot set the address mode (--dhcp)"},
        {{"0002A0000001", "--dns2", "8.8.4.4"},
         "ipcam: the camera's family 2 (series F) cannot set the second DNS server (--dns2)"},
        {{"0005A0000001", "--data-port", "9000", "--password", "ctppw"},
         "ipcam: the camera's family 5 (series E) cannot set the data port (--data-port)"},
        {{"0008A0000001", "--name", "A name of 24 characters!"},
         "ipcam: the name is longer than the 23 bytes that family 8 (series H) takes"},
        {{"0009A0000001", "--name", QString(80, u'n'), "--password", "t9secret"},
         "ipcam: the name is longer than the 79 bytes that family 9 (series T) takes"},
        {{"0009A0000001", "--port", "81", "--password", QString(32, u'p')},
         "ipcam: the password is longer than the 31 bytes that family 9 (series T) takes"},
        {{"0002A0000001", "--port", "81", "--user", QString(14, u'u'), "--password", "moipw"},
         "ipcam: the user name is longer than the 13 bytes that family 2 (series F) takes"},
        {{"0002A0000001", "--ip", "192.168.7.255", "--password", "moipw"},
         "ipcam: --ip 192.168.7.255: the address must be four numbers 0 to 255, not ending in 0 or 255"},
        {{"0005A0000001", "--name", "Two\nlines", "--password", "ctppw"},
         "ipcam: the name holds a line break, which family 5 (series E) cannot carry"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const TRun r = RunIpcam(QStringList{"set"} + c.args);
        EXPECT_EQ(r.exit, 2) << r;
        EXPECT_EQ(r.err.left(r.err.indexOf('\n')), c.err);
        EXPECT_EQ(r.out, QByteArray());
    }
    ASSERT_TRUE(watch.Settle());
    EXPECT_EQ(watch.commands.size(), 0u);
    for (const char* camera : {"moi-a", "ctp-a", "bin8-a", "t9-a"})
        EXPECT_EQ(Show(QString::fromLatin1(camera)).at("changes"), "0") << camera;

    // What the watch hears when a command does go out: this one, once (the wrong password
    // makes the camera ignore it).
    const TRun sent = RunIpcam({"set", "0002A0000002", "--port", "8022", "--password", "wrong", "--no-wait"});
    EXPECT_EQ(sent.exit, 0) << sent;
    EXPECT_EQ(sent.out, QByteArray());
    ASSERT_TRUE(watch.Settle());
    EXPECT_EQ(watch.commands.size(), 1u);
}

TEST_F(Ipcam, AnAddressSharedByTwoCamerasNamesNeither)
{
    const TRun r = RunIpcam({"set", "192.168.1.126", "--port", "81"});
    EXPECT_EQ(r.exit, 2) << r;
    EXPECT_TRUE(r.err.startsWith("ipcam: 2 cameras answer at 192.168.1.126 (")) << r;
    EXPECT_TRUE(r.err.contains("0002A00000F1")) << r;
    EXPECT_TRUE(r.err.contains("0009A00000F1")) << r;
    EXPECT_EQ(Show("twin-moi").at("changes"), "0");
    EXPECT_EQ(Show("twin-t9").at("changes"), "0");
}

TEST_F(Ipcam, RestartsWhereTheFamilyHasARestart)
{
    struct Case {
        const char* camera;
        QStringList args;
        int exit;
        QByteArray err;
        const char* restarts;
    } cases[] = {
        {"t9-b", {"0009A0000002", "--password", "t9bpw"}, 0, "", "1"},
        {"moi-a", {"0002A0000001", "--password", "moipw"}, 0, "", "1"},
        {"ctp-a", {"192.168.7.51"}, 0, "", "1"},
        {"bin8-a", {"00:08:a0:00:00:01"}, 0, "", "1"},
        {"t9-a", {"0009A0000001", "--password", "not-t9"}, 1,
         "ipcam: the camera did not take the restart (a wrong user name or password?)\n", "0"},
        {"dvs-a", {"0004A0000001"}, 2, "ipcam: the camera's family 4 (series H) has no restart\n", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        const TRun r = RunIpcam(QStringList{"restart"} + c.args);
        EXPECT_EQ(r.exit, c.exit) << r;
        EXPECT_EQ(r.err, c.err);
        const QString camera = QString::fromLatin1(c.camera);
        if (c.exit == 0) {
            EXPECT_TRUE(WaitFor([&] { return Show(camera).at("restarts") == "1"; }, 5000));
        } else {
            EXPECT_EQ(Show(camera).at("restarts"), c.restarts);
        }
    }
}

TEST_F(Ipcam, CredentialsNeverAppearInTheOutput)
{
    const char* secrets[] = {"t9secret", "t9ddnssecret", "moipw", "wrong-secret"};
    const std::pair<QStringList, int> runs[] = {
        {{"scan", "--seconds", "2"}, 0},
        {{"scan", "--seconds", "2", "--json"}, 0},
        {{"set", "0009A0000001", "--name", "Porch", "--password", "t9secret"}, 0},
        {{"set", "0009A0000001", "--port", "81", "--password", "wrong-secret"}, 1},
        {{"set", "0002A0000001", "--pasword=moipw"}, 2},   // a typing mistake
        {{"set", "0002A0000001", "moipw"}, 2},            // a password in the wrong place
        {{"set", "0002A0000001", "--password"}, 2},
        {{"restart", "0009A0000001", "--password", "wrong-secret"}, 1},
    };
    for (const auto& [args, exit] : runs) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        const TRun r = RunIpcam(args);
        EXPECT_EQ(r.exit, exit) << r;
        for (const char* s : secrets) {
            EXPECT_FALSE(r.out.contains(s)) << s;
            EXPECT_FALSE(r.err.contains(s)) << s;
        }
    }
}

TEST_F(Ipcam, ThePasswordCanComeFromStandardInput)
{
    const TRun r = RunIpcam({"set", "0009A0000002", "--name", "From stdin", "--password", "-"}, "t9bpw\n");
    EXPECT_EQ(r.exit, 0) << r;
    EXPECT_EQ(r.out, "1\tT\tFrom stdin\t192.168.7.92\t00:09:A0:00:00:02\r\n");
    EXPECT_EQ(Show("t9-b").at("name"), "From stdin");
}

TEST_F(Ipcam, ScanListsEveryCamera)
{
    const TRun r = RunIpcam({"scan", "--seconds", "2"});
    ASSERT_EQ(r.exit, 0) << r;
    QList<QByteArray> lines = r.out.split('\n');
    EXPECT_EQ(lines.takeLast(), QByteArray());
    EXPECT_EQ(lines.size(), 9);
    EXPECT_TRUE(r.out.contains("\tF\tmoi-a\t192.168.7.21\t0002A0000001\r\n")) << r;
    EXPECT_TRUE(r.out.contains("\tH\tdvs-a\t192.168.7.41\t0004A0000001\r\n")) << r;
}

TEST_F(Ipcam, HelpAndUsage)
{
    TRun r = RunIpcam({"--help"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_TRUE(r.out.contains("Exit status: 0 done; 1 the camera refused or did not come back; 2"));
    for (const char* command : {"scan", "set", "restart"}) {
        r = RunIpcam({command, "--help"});
        EXPECT_EQ(r.exit, 0) << command;
        EXPECT_TRUE(r.out.startsWith(QByteArray("Usage: ipcam ") + command)) << r;
        EXPECT_TRUE(r.out.contains("4 the search sockets could not be opened")) << command;
    }
    r = RunIpcam({});
    EXPECT_EQ(r.exit, 2);
    r = RunIpcam({"frobnicate"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_EQ(r.err, "ipcam: unknown command frobnicate\nTry 'ipcam --help'.\n");
}

TEST_F(Ipcam, SocketsThatCannotBeOpenedEndWithFour)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime reads files of its own while it checks (the vptr check among
    // them), which five descriptors do not allow.
    GTEST_SKIP() << "not with the sanitizers";
#endif
    QProcess p;
    // Five descriptors: the standard ones and two for the program's event loop; none is left
    // for a socket. Whatever else the shell inherited is closed first.
    p.start("sh", {"-c",
                   "for fd in 3 4 5 6 7 8 9; do eval \"exec $fd>&-\"; done; ulimit -n 5; "
                   "exec \"$0\" scan --seconds 1",
                   qEnvironmentVariable("IPCAM")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 4);
    EXPECT_TRUE(p.readAllStandardError().contains("ipcam: search socket 5 could not be opened\n"));
}

// --- a PC with two network cards ---------------------------------------------------------

TEST_F(TwoNetworks, CamerasBehindTheSecondAdapterAreListedWithThatAdapter)
{
    const quint32 first = quint32(QNetworkInterface::interfaceIndexFromName(qEnvironmentVariable("SIMLAN_PC_IF")));
    const quint32 second = quint32(QNetworkInterface::interfaceIndexFromName(qEnvironmentVariable("SIMLAN_PC_IF2")));
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    DiscoveryEngine engine(testsupport::Families());  // without the library: no family 4
    ASSERT_EQ(engine.Start(), 5);
    const std::pair<const char*, quint32> expected[] = {
        {"0002B0000001", second}, {"0005B0000001", second}, {"0008B0000001", second},
        {"0009B0000001", second}, {"0002A0000001", first},  {"0005A0000001", first},
        {"0008A0000001", first},  {"0009A0000001", first}};
    auto find = [&](const char* macHex) -> const TDevInfo* {
        for (int i = 0; i < engine.Devices().Count(); ++i) {
            if (engine.Devices().RecordAt(i)->MacHex == QLatin1String(macHex))
                return engine.Devices().RecordAt(i);
        }
        return nullptr;
    };
    ASSERT_TRUE(WaitFor([&] {
        for (const auto& [mac, adapter] : expected) {
            if (!find(mac))
                return false;
        }
        return true;
    }, 5000));
    for (const auto& [mac, adapter] : expected)
        EXPECT_EQ(find(mac)->Adapter, adapter) << mac;
    EXPECT_EQ(find("0002B0000001")->IP, "10.20.0.21");
    engine.Stop();
}

TEST_F(TwoNetworks, CamerasBehindTheSecondAdapterAreReaddressedThroughIt)
{
    struct Case {
        const char* camera;
        QStringList args;
        QByteArray line;
        const char* ip;
    } cases[] = {
        {"far-moi", {"0002B0000001", "--ip", "10.20.0.121"}, "1\tF\tfar-moi\t10.20.0.121\t0002B0000001\r\n", "10.20.0.121"},
        {"far-ctp", {"0005B0000001", "--ip", "10.20.0.151"}, "1\tE\tfar-ctp\t10.20.0.151\t0005B0000001\r\n", "10.20.0.151"},
        {"far-bin8", {"10.20.0.81", "--ip", "10.20.0.181"}, "1\tH\tfar-bin8\t10.20.0.181\t0008B0000001\r\n", "10.20.0.181"},
        {"far-t9", {"0009B0000001", "--ip", "10.20.0.191"}, "1\tT\tfar-t9\t10.20.0.191\t00:09:B0:00:00:01\r\n", "10.20.0.191"},
        {"far-dvs", {"0004B0000001", "--ip", "10.20.0.141"}, "1\tH\tfar-dvs\t10.20.0.141\t0004B0000001\r\n", "10.20.0.141"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        const TRun r = RunIpcam(QStringList{"set"} + c.args);
        EXPECT_EQ(r.exit, 0) << r;
        EXPECT_EQ(r.out, c.line);
        const auto shown = Show(QString::fromLatin1(c.camera), "SIMLAN_CONTROL2");
        EXPECT_EQ(shown.at("ip"), c.ip);
        EXPECT_EQ(shown.at("changes"), "1");
    }
    // The first network heard none of it.
    for (const char* camera : {"moi-a", "ctp-a", "bin8-a", "t9-a", "dvs-a"})
        EXPECT_EQ(Show(QString::fromLatin1(camera)).at("changes"), "0") << camera;
}
