// The check-service client against the stand-in service (tools/ddns-check) in the simulated
// LAN of scripts/simlan, reached by name: every answer kind, encoded values, the fetching
// checkurl, silence past the time-out and a slow answer within it, and the advanced window's
// check. The accounts are those of simlan.ini.

#include "DdnsCheckService.h"
#include "NetnsGuard.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

using namespace ddns;

namespace {

constexpr const char* kUserHost = "user.ipcam.example";
constexpr const char* kServerHost = "ddns.ipcam.example";
constexpr int kShortTimeoutMs = 1500;

std::string S(const QString& s) { return s.toStdString(); }

// One command to ddns-check's control socket; its output, or nothing when it failed.
std::optional<QString> Control(const QString& command)
{
    QProcess p;
    p.start(qEnvironmentVariable("SIMLAN_DDNSCHECK"),
            QStringList{"--ctl", qEnvironmentVariable("SIMLAN_DDNS_CONTROL")} +
                command.split(u' ', Qt::SkipEmptyParts));
    if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The request lines of the service's log, without the sequence number and the peer.
QStringList Asked()
{
    QStringList out;
    const std::optional<QString> log = Control(QStringLiteral("log"));
    if (!log)
        return out;
    for (const QString& line : log->split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral("ok")))
            continue;
        out << line.section(u' ', 2);
    }
    return out;
}

class DdnsLan : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("SIMLAN_DDNS_CONTROL"))
            GTEST_SKIP() << "runs inside scripts/simlan with ddns-check only";
        ASSERT_TRUE(Control(QStringLiteral("reset")));
    }
    static void Set(const QString& who, const QString& request, const QString& answer)
    {
        ASSERT_TRUE(Control(QStringLiteral("set %1 %2 %3").arg(who, request, answer)))
            << S(answer);
    }
};

// ---- getremote ------------------------------------------------------------------------------

struct RemoteCase {
    const char* name;
    const char* answer;  // set for every account; nullptr: from the accounts
    const char* account;
    TRemoteKind kind;
    const char* address;
    const char* text;
};
void PrintTo(const RemoteCase& c, std::ostream* os) { *os << c.name; }

class DdnsLanRemote : public DdnsLan, public ::testing::WithParamInterface<RemoteCase> {};

TEST_P(DdnsLanRemote, AnswerKind)
{
    const RemoteCase& c = GetParam();
    if (c.answer)
        Set("*", "getremote", c.answer);
    const TDdnsCheckService service(kServerHost, {}, 5000);
    const TRemoteAnswer a = service.GetRemote(c.account);
    EXPECT_EQ(int(a.Kind), int(c.kind));
    EXPECT_EQ(S(a.PublicAddress), c.address);
    EXPECT_EQ(S(a.Text), c.text);
    const QStringList asked = Asked();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(S(asked[0].section(u' ', 0, 2)),
              std::string("ddns.ipcam.example:808 getremote /func/getremote.asp?id=") +
                  c.account);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DdnsLanRemote,
    ::testing::Values(
        RemoteCase{"online", nullptr, "cam01", TRemoteKind::Online, "192.168.7.191:81", ""},
        RemoteCase{"offline", nullptr, "cam02", TRemoteKind::Offline, "", ""},
        RemoteCase{"noSuchAccount", nullptr, "nobody", TRemoteKind::NoId, "", ""},
        RemoteCase{"trailingLineBreak", "noid crlf", "cam01", TRemoteKind::Unrecognised, "",
                   "IDS_SERVER_NOID\\r\\n"},
        RemoteCase{"garbage", "garbage", "cam01", TRemoteKind::Unrecognised, "",
                   "<html><body><h1>Server Error</h1><p>ASP 0113</p></body></html>"},
        RemoteCase{"emptyBody", "empty", "cam01", TRemoteKind::Unrecognised, "", ""},
        // The status is not looked at: an error page's body is the answer.
        RemoteCase{"errorStatusWithCode", "offline status=500", "cam01", TRemoteKind::Offline,
                   "", ""},
        RemoteCase{"errorPage", "garbage status=404", "cam01", TRemoteKind::Unrecognised, "",
                   "<html><body><h1>Server Error</h1><p>ASP 0113</p></body></html>"},
        RemoteCase{"onlineBadAddress", "text:1203.0.113.5:81\\r\\n", "cam01",
                   TRemoteKind::Online, "", ""},
        RemoteCase{"closedAtOnce", "close", "cam01", TRemoteKind::NoReply, "", ""},
        RemoteCase{"reset", "reset", "cam01", TRemoteKind::NoReply, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- checkauth ------------------------------------------------------------------------------

struct AuthCase {
    const char* name;
    const char* answer;
    const char* account;
    const char* password;
    TAuthKind kind;
    const char* text;
};
void PrintTo(const AuthCase& c, std::ostream* os) { *os << c.name; }

class DdnsLanAuth : public DdnsLan, public ::testing::WithParamInterface<AuthCase> {};

TEST_P(DdnsLanAuth, AnswerKind)
{
    const AuthCase& c = GetParam();
    if (c.answer)
        Set("*", "checkauth", c.answer);
    const TDdnsCheckService service(kServerHost, {}, 5000);
    const TAuthAnswer a = service.CheckAuth(c.account, c.password);
    EXPECT_EQ(int(a.Kind), int(c.kind));
    EXPECT_EQ(S(a.Text), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DdnsLanAuth,
    ::testing::Values(
        AuthCase{"rightButOffline", nullptr, "cam02", "pw2", TAuthKind::LoggedOut, ""},
        AuthCase{"wrongPassword", nullptr, "cam02", "pw1", TAuthKind::WrongPassword, ""},
        AuthCase{"passwordCase", nullptr, "cam02", "PW2", TAuthKind::WrongPassword, ""},
        AuthCase{"noSuchAccount", nullptr, "nobody", "x", TAuthKind::NoId, ""},
        AuthCase{"trailingLineBreak", "noauth crlf", "cam02", "pw2", TAuthKind::Unrecognised,
                 "ERRIDS_SERVER_NOAUTH\\r\\n"},
        AuthCase{"emptyBody", "empty", "cam02", "pw2", TAuthKind::Unrecognised, ""},
        AuthCase{"text", "text:0BUSY", "cam02", "pw2", TAuthKind::Unrecognised, "BUSY"},
        AuthCase{"closedAtOnce", "close", "cam02", "pw2", TAuthKind::NoReply, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DdnsLan, ValuesArriveEncodedAndTheServiceReadsThemBack)
{
    const TDdnsCheckService service(kUserHost, {}, 5000);
    // The account and password of simlan.ini: "a&b c" and "p w&x=1#".
    EXPECT_EQ(int(service.CheckAuth("a&b c", "p w&x=1#").Kind), int(TAuthKind::LoggedOut));
    EXPECT_EQ(int(service.CheckAuth("a&b c", "p w").Kind), int(TAuthKind::WrongPassword));
    const QStringList asked = Asked();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(S(asked[0].section(u' ', 0, 2)),
              "user.ipcam.example:808 checkauth "
              "/api/checkauth.asp?id=a%26b%20c&pwd=p%20w%26x%3D1%23");
}

// ---- checkurl -------------------------------------------------------------------------------

TEST_F(DdnsLan, CheckUrlFromTheConfiguration)
{
    const TDdnsCheckService service(kServerHost, {}, 5000);
    EXPECT_EQ(int(service.CheckUrl("192.168.7.191:81")), int(TUrlKind::Reached));
    EXPECT_EQ(int(service.CheckUrl("203.0.113.5:81")), int(TUrlKind::NotReached));
    Set("cam01", "checkurl", "notreached");
    EXPECT_EQ(int(service.CheckUrl("192.168.7.191:81")), int(TUrlKind::NotReached));
    Set("*", "checkurl", "close");
    EXPECT_EQ(int(service.CheckUrl("203.0.113.5:81")), int(TUrlKind::NoReply));
    const QStringList asked = Asked();
    ASSERT_EQ(asked.size(), 4);
    EXPECT_EQ(S(asked[0].section(u' ', 0, 2)),
              "ddns.ipcam.example:808 checkurl "
              "/api/checkurl.asp?url=http://192.168.7.191:81/oem.txt");
}

TEST_F(DdnsLan, CheckUrlFetchesTheCameraFromTheServicesSide)
{
    ASSERT_TRUE(Control(QStringLiteral("mode fetch")));
    const TDdnsCheckService service(kServerHost, {}, 10000);
    // The camera's web server answers there (any HTTP answer shows the port is open).
    EXPECT_EQ(int(service.CheckUrl("192.168.7.191:81")), int(TUrlKind::Reached));
    // Nothing listens at this address and port.
    EXPECT_EQ(int(service.CheckUrl("192.168.7.199:81")), int(TUrlKind::NotReached));
    const QStringList asked = Asked();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("fetch(192.168.7.191:81 status ")))
        << S(asked[0]);
    EXPECT_TRUE(asked[0].endsWith(QStringLiteral("\"1\""))) << S(asked[0]);
    EXPECT_TRUE(asked[1].endsWith(QStringLiteral("\"0\""))) << S(asked[1]);
}

// ---- time-out -------------------------------------------------------------------------------

TEST_F(DdnsLan, SilenceBeyondTheTimeOutIsNoReply)
{
    Set("*", "all", "silent");
    const TDdnsCheckService service(kServerHost, {}, kShortTimeoutMs);
    QElapsedTimer t;
    t.start();
    const TRemoteAnswer a = service.GetRemote("cam01");
    const qint64 elapsed = t.elapsed();
    EXPECT_EQ(int(a.Kind), int(TRemoteKind::NoReply));
    // It waited for the answer (the request did arrive) and gave up at the time-out.
    EXPECT_GE(elapsed, kShortTimeoutMs - 50);
    const QStringList asked = Asked();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].endsWith(QStringLiteral("=> silent"))) << S(asked[0]);
    EXPECT_EQ(int(service.CheckAuth("cam02", "pw2").Kind), int(TAuthKind::NoReply));
    EXPECT_EQ(int(service.CheckUrl("192.168.7.191:81")), int(TUrlKind::NoReply));
}

TEST_F(DdnsLan, SlowAnswerWithinTheTimeOutIsTaken)
{
    Set("*", "getremote", "auto delay=800");
    const TDdnsCheckService service(kServerHost, {}, 10000);
    QElapsedTimer t;
    t.start();
    const TRemoteAnswer a = service.GetRemote("cam01");
    EXPECT_GE(t.elapsed(), 750);
    EXPECT_EQ(int(a.Kind), int(TRemoteKind::Online));
    EXPECT_EQ(S(a.PublicAddress), "192.168.7.191:81");
}

// ---- the advanced window's check ------------------------------------------------------------

struct OuterCase {
    const char* name;
    const char* outerUrl;
    const char* account;
    const char* password;
    const char* getremote;  // answer set for every account, or nullptr
    const char* key;
    const char* appended;
    int requests;
};
void PrintTo(const OuterCase& c, std::ostream* os) { *os << c.name; }

class DdnsLanOuter : public DdnsLan, public ::testing::WithParamInterface<OuterCase> {};

TEST_P(DdnsLanOuter, KeyAndText)
{
    const OuterCase& c = GetParam();
    if (c.getremote)
        Set("*", "getremote", c.getremote);
    const TOuterCheck r = CheckOuterUrl(c.outerUrl, c.account, c.password, {}, 5000);
    EXPECT_EQ(S(r.Key), c.key);
    EXPECT_EQ(S(r.Appended), c.appended);
    const QStringList asked = Asked();
    ASSERT_EQ(asked.size(), c.requests);
    for (const QString& line : asked)
        EXPECT_TRUE(line.startsWith(QStringLiteral("user.ipcam.example:808 "))) << S(line);
}

INSTANTIATE_TEST_SUITE_P(
    Sequence, DdnsLanOuter,
    ::testing::Values(
        OuterCase{"online", "http://cam01.ipcam.example", "cam01", "pw1", nullptr,
                  "IDS_CHECKNORM", "", 1},
        OuterCase{"offlineRightPassword", "http://cam02.ipcam.example", "cam02", "pw2", nullptr,
                  "IDS_NOREG", "", 2},
        OuterCase{"offlineWrongPassword", "http://cam02.ipcam.example", "cam02", "x", nullptr,
                  "IDS_ERRPWD", "", 2},
        OuterCase{"noSuchAccount", "http://nobody.ipcam.example", "nobody", "x", nullptr,
                  "IDS_NOID", "", 1},
        OuterCase{"garbage", "http://cam01.ipcam.example", "cam01", "pw1", "text:0DOWN",
                  "IDS_UNKNOWERR", "DOWN", 1},
        OuterCase{"closed", "http://cam01.ipcam.example", "cam01", "pw1", "close",
                  "IDS_CANNOTCONNECTSERVER", "", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DdnsLan, AnUnknownNameCannotConnect)
{
    // No name but the simulated LAN's resolves; the service is not asked.
    const TOuterCheck r = CheckOuterUrl("http://cam01.elsewhere.example", "cam01", "pw1", {},
                                        kShortTimeoutMs);
    EXPECT_EQ(S(r.Key), "IDS_CANNOTCONNECTSERVER");
    EXPECT_TRUE(Asked().isEmpty());
}

}  // namespace

int main(int argc, char** argv)
{
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    // A proxy from the environment would take the simulated names elsewhere.
    for (const char* v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                          "ALL_PROXY"})
        qunsetenv(v);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
