// The check-service client without a network: the answer forms, the request addresses and
// the advanced window's check sequence, each against literal texts.

#include "DdnsCheckService.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

using namespace ddns;

namespace {

std::string S(const QString& s) { return s.toStdString(); }

// ---- getremote ------------------------------------------------------------------------------

struct RemoteCase {
    const char* name;
    QString body;
    TRemoteKind kind;
    QString address;  // PublicAddress expected
    QString text;     // Text expected
};

void PrintTo(const RemoteCase& c, std::ostream* os) { *os << c.name; }

class RemoteClassify : public ::testing::TestWithParam<RemoteCase> {};

TEST_P(RemoteClassify, Kind)
{
    const RemoteCase& c = GetParam();
    const TRemoteAnswer a = ClassifyRemote(c.body);
    EXPECT_EQ(int(a.Kind), int(c.kind));
    EXPECT_EQ(S(a.PublicAddress), S(c.address));
    EXPECT_EQ(S(a.Text), S(c.text));
}

const QString kNone;

INSTANTIATE_TEST_SUITE_P(
    Forms, RemoteClassify,
    ::testing::Values(
        RemoteCase{"onlineIp", "1203.0.113.5:81", TRemoteKind::Online, "203.0.113.5:81", kNone},
        RemoteCase{"onlineName", "1cam.example.net:8080", TRemoteKind::Online,
                   "cam.example.net:8080", kNone},
        RemoteCase{"noId", "0IDS_SERVER_NOID", TRemoteKind::NoId, kNone, kNone},
        RemoteCase{"offline", "0IDS_SERVER_OFFLINE", TRemoteKind::Offline, kNone, kNone},
        // Exact and case-sensitive: anything more or different is not the code.
        RemoteCase{"noIdCrLf", "0IDS_SERVER_NOID\r\n", TRemoteKind::Unrecognised, kNone,
                   "IDS_SERVER_NOID\\r\\n"},
        RemoteCase{"offlineLf", "0IDS_SERVER_OFFLINE\n", TRemoteKind::Unrecognised, kNone,
                   "IDS_SERVER_OFFLINE\\n"},
        RemoteCase{"lowerCase", "0ids_server_noid", TRemoteKind::Unrecognised, kNone,
                   "ids_server_noid"},
        RemoteCase{"leadingBlank", " 1203.0.113.5:81", TRemoteKind::Unrecognised, kNone,
                   " 1203.0.113.5:81"},
        RemoteCase{"zeroOnly", "0", TRemoteKind::Unrecognised, kNone, kNone},
        RemoteCase{"empty", "", TRemoteKind::Unrecognised, kNone, kNone},
        RemoteCase{"htmlErrorPage", "<html>404</html>", TRemoteKind::Unrecognised, kNone,
                   "<html>404</html>"},
        RemoteCase{"control", QStringLiteral("x\x01y\x7f"), TRemoteKind::Unrecognised, kNone,
                   "x\\x{0001}y\\x{007f}"}),
    [](const auto& info) { return std::string(info.param.name); });

// "1" means online whatever follows; only an address of the form host:port is kept for checkurl.
INSTANTIATE_TEST_SUITE_P(
    OnlineAddresses, RemoteClassify,
    ::testing::Values(
        RemoteCase{"nothing", "1", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"noPort", "1203.0.113.5", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"emptyPort", "1203.0.113.5:", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"portZero", "1203.0.113.5:0", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"portTooBig", "1203.0.113.5:65536", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"portMax", "1h:65535", TRemoteKind::Online, "h:65535", kNone},
        RemoteCase{"portSign", "1203.0.113.5:+81", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"trailingCrLf", "1203.0.113.5:81\r\n", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"pathInjected", "1evil.example/x?:81", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"userInfo", "1a@evil.example:81", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"emptyLabel", "1a..b:81", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"blank", "1a b:81", TRemoteKind::Online, kNone, kNone},
        RemoteCase{"twoColons", "1a:1:81", TRemoteKind::Online, kNone, kNone}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RemoteClassifyText, LongAnswerIsCutForTheMessage)
{
    const TRemoteAnswer a = ClassifyRemote(QStringLiteral("0") + QString(5000, u'A'));
    EXPECT_EQ(int(a.Kind), int(TRemoteKind::Unrecognised));
    EXPECT_EQ(S(a.Text), S(QString(200, u'A') + QStringLiteral("...")));
}

TEST(RemoteClassifyText, HostTooLongIsNoAddress)
{
    const QString longest = QString(253, u'a') + QStringLiteral(":81");
    EXPECT_EQ(S(ClassifyRemote(QStringLiteral("1") + longest).PublicAddress), S(longest));
    EXPECT_TRUE(ClassifyRemote(QStringLiteral("1a") + longest).PublicAddress.isEmpty());
}

// ---- checkauth and checkurl -----------------------------------------------------------------

struct AuthCase {
    const char* name;
    QString body;
    TAuthKind kind;
    QString text;
};

void PrintTo(const AuthCase& c, std::ostream* os) { *os << c.name; }

class AuthClassify : public ::testing::TestWithParam<AuthCase> {};

TEST_P(AuthClassify, Kind)
{
    const TAuthAnswer a = ClassifyAuth(GetParam().body);
    EXPECT_EQ(int(a.Kind), int(GetParam().kind));
    EXPECT_EQ(S(a.Text), S(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, AuthClassify,
    ::testing::Values(
        AuthCase{"rightButOffline", "1", TAuthKind::LoggedOut, kNone},
        AuthCase{"rightWithText", "1OK", TAuthKind::LoggedOut, kNone},
        AuthCase{"noId", "0ERRIDS_SERVER_NOID", TAuthKind::NoId, kNone},
        AuthCase{"wrongPassword", "0ERRIDS_SERVER_NOAUTH", TAuthKind::WrongPassword, kNone},
        AuthCase{"noAuthCrLf", "0ERRIDS_SERVER_NOAUTH\r\n", TAuthKind::Unrecognised,
                 "ERRIDS_SERVER_NOAUTH\\r\\n"},
        AuthCase{"getremoteCode", "0IDS_SERVER_NOID", TAuthKind::Unrecognised,
                 "IDS_SERVER_NOID"},
        AuthCase{"otherFirst", "XERRIDS_SERVER_NOID", TAuthKind::Unrecognised,
                 "ERRIDS_SERVER_NOID"},
        AuthCase{"lowerCase", "0errids_server_noauth", TAuthKind::Unrecognised,
                 "errids_server_noauth"},
        AuthCase{"empty", "", TAuthKind::Unrecognised, kNone}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UrlClassify, OneFirstIsReachedAnythingElseIsNot)
{
    EXPECT_EQ(int(ClassifyUrl("1")), int(TUrlKind::Reached));
    EXPECT_EQ(int(ClassifyUrl("1\r\n")), int(TUrlKind::Reached));
    EXPECT_EQ(int(ClassifyUrl("0")), int(TUrlKind::NotReached));
    EXPECT_EQ(int(ClassifyUrl("")), int(TUrlKind::NotReached));
    EXPECT_EQ(int(ClassifyUrl(" 1")), int(TUrlKind::NotReached));
}

TEST(ReportKeys, TheKeysTheCallersShare)
{
    EXPECT_STREQ(ReportKeyOf(TRemoteKind::Online), "IDS_CHECKNORM");
    EXPECT_STREQ(ReportKeyOf(TRemoteKind::NoId), "IDS_NOID");
    EXPECT_EQ(ReportKeyOf(TRemoteKind::Offline), nullptr);
    EXPECT_STREQ(ReportKeyOf(TRemoteKind::Unrecognised), "IDS_UNKNOWERR");
    EXPECT_STREQ(ReportKeyOf(TRemoteKind::NoReply), "IDS_CANNOTCONNECTSERVER");
    EXPECT_STREQ(ReportKeyOf(TAuthKind::LoggedOut), "IDS_NOREG");
    EXPECT_STREQ(ReportKeyOf(TAuthKind::NoId), "IDS_NOID");
    EXPECT_STREQ(ReportKeyOf(TAuthKind::WrongPassword), "IDS_ERRPWD");
    EXPECT_STREQ(ReportKeyOf(TAuthKind::Unrecognised), "IDS_UNKNOWERR");
    EXPECT_STREQ(ReportKeyOf(TAuthKind::NoReply), "IDS_CANNOTCONNECTSERVER");
}

// ---- request addresses ----------------------------------------------------------------------

TEST(RequestUrls, PlainValuesGoOutAsTheyAre)
{
    const TDdnsCheckService s(QStringLiteral("user.ipcam.example"));
    EXPECT_EQ(S(s.GetRemoteUrl("cam01")),
              "http://user.ipcam.example:808/func/getremote.asp?id=cam01");
    EXPECT_EQ(S(s.CheckAuthUrl("cam01", "pw-1.x_y~z!")),
              "http://user.ipcam.example:808/api/checkauth.asp?id=cam01&pwd=pw-1.x_y~z!");
    EXPECT_EQ(S(s.CheckUrlUrl("203.0.113.5:81")),
              "http://user.ipcam.example:808/api/checkurl.asp?url=http://203.0.113.5:81/oem.txt");
}

TEST(RequestUrls, ValuesCannotBreakTheAddress)
{
    const TDdnsCheckService s(QStringLiteral("ddns.example.net"));
    EXPECT_EQ(S(s.GetRemoteUrl("a&pwd=x#y")),
              "http://ddns.example.net:808/func/getremote.asp?id=a%26pwd%3Dx%23y");
    EXPECT_EQ(S(s.CheckAuthUrl("id 1", "p+w%d&id=2")),
              "http://ddns.example.net:808/api/checkauth.asp?id=id%201&pwd=p%2Bw%25d%26id%3D2");
    EXPECT_EQ(S(s.CheckAuthUrl("\u00e4", "\r\n")),
              "http://ddns.example.net:808/api/checkauth.asp?id=%C3%A4&pwd=%0D%0A");
}

TEST(RequestUrls, APortAfterTheServerIsDropped)
{
    EXPECT_EQ(S(ServiceHostOf("ddns.example.net:8080")), "ddns.example.net");
    EXPECT_EQ(S(ServiceHostOf("ddns.example.net")), "ddns.example.net");
    EXPECT_EQ(S(ServiceHostOf("ddns.example.net:")), "ddns.example.net:");
    EXPECT_EQ(S(ServiceHostOf("ddns.example.net:80a")), "ddns.example.net:80a");
    EXPECT_EQ(S(TDdnsCheckService("ddns.example.net:808").GetRemoteUrl("cam01")),
              "http://ddns.example.net:808/func/getremote.asp?id=cam01");
    EXPECT_EQ(S(TDdnsCheckService("203.0.113.9:8080").GetRemoteUrl("cam01")),
              "http://203.0.113.9:808/func/getremote.asp?id=cam01");
    // Only one port: what remains must still be a host.
    EXPECT_TRUE(TDdnsCheckService("a:1:2").GetRemoteUrl("x").isEmpty());
}

TEST(RequestUrls, UnusableHostOrAddressGivesNoUrl)
{
    for (const char* host : {"", "a..b", ".a", "a.", "-a", "a b", "a/b", "a:8x", "a@b", "a?b",
                             "a#b", "h\u00e4st"}) {
        const TDdnsCheckService s(QString::fromUtf8(host));
        EXPECT_TRUE(s.GetRemoteUrl("x").isEmpty()) << host;
        EXPECT_TRUE(s.CheckAuthUrl("x", "y").isEmpty()) << host;
    }
    EXPECT_FALSE(TDdnsCheckService(QString(253, u'a')).GetRemoteUrl("x").isEmpty());
    EXPECT_TRUE(TDdnsCheckService(QString(254, u'a')).GetRemoteUrl("x").isEmpty());
    const TDdnsCheckService s(QStringLiteral("ddns.example.net"));
    EXPECT_TRUE(s.CheckUrlUrl("203.0.113.5").isEmpty());
    EXPECT_TRUE(s.CheckUrlUrl("a/b:81").isEmpty());
}

TEST(OuterHost, UserAndTheDomainOfTheOuterAddress)
{
    EXPECT_EQ(S(OuterCheckHost("http://cam01.ipcam.example")), "user.ipcam.example");
    EXPECT_EQ(S(OuterCheckHost("http://a.b.c.d")), "user.b.c.d");
    EXPECT_EQ(S(OuterCheckHost("http://nodomain")), "");
    EXPECT_EQ(S(OuterCheckHost("")), "");
    EXPECT_EQ(S(OuterCheckHost("http://x.")), "user.");
}

// ---- the advanced window's check ------------------------------------------------------------

// The answer to getremote and the one to every other request; nullopt: the request fails.
// Records the URLs asked.
struct ScriptedService {
    std::optional<QString> getremote;
    std::optional<QString> others;
    QStringList asked;

    TDdnsCheckService::Fetch Fetch()
    {
        return [this](const QString& url, int timeoutMs, QString& body) {
            EXPECT_EQ(timeoutMs, 20000);
            asked << url;
            const std::optional<QString>& a =
                url.contains(QStringLiteral("/func/getremote.asp?")) ? getremote : others;
            if (!a)
                return false;
            body = *a;
            return true;
        };
    }
};

struct SequenceCase {
    const char* name;
    std::optional<QString> getremote;
    std::optional<QString> checkauth;  // asked only after "0IDS_SERVER_OFFLINE"
    QString key;
    QString appended;
    int requests;
};

void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.name; }

class OuterCheckSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(OuterCheckSequence, KeyAndText)
{
    const SequenceCase& c = GetParam();
    ScriptedService service{c.getremote, c.checkauth, {}};
    const TOuterCheck r = CheckOuterUrl(QStringLiteral("http://cam01.ipcam.example"),
                                        QStringLiteral("cam01"), QStringLiteral("pw1"),
                                        service.Fetch());
    EXPECT_EQ(S(r.Key), S(c.key));
    EXPECT_EQ(S(r.Appended), S(c.appended));
    ASSERT_EQ(service.asked.size(), c.requests);
    EXPECT_EQ(S(service.asked[0]), "http://user.ipcam.example:808/func/getremote.asp?id=cam01");
    if (c.requests == 2) {
        EXPECT_EQ(S(service.asked[1]),
                  "http://user.ipcam.example:808/api/checkauth.asp?id=cam01&pwd=pw1");
    }
}

const std::optional<QString> kFails;

INSTANTIATE_TEST_SUITE_P(
    Answers, OuterCheckSequence,
    ::testing::Values(
        SequenceCase{"noReply", kFails, kFails, "IDS_CANNOTCONNECTSERVER", kNone, 1},
        SequenceCase{"online", QString("1203.0.113.5:81"), kFails, "IDS_CHECKNORM", kNone, 1},
        SequenceCase{"onlineWithoutAddress", QString("1"), kFails, "IDS_CHECKNORM", kNone, 1},
        SequenceCase{"noId", QString("0IDS_SERVER_NOID"), kFails, "IDS_NOID", kNone, 1},
        SequenceCase{"otherCode", QString("0IDS_BUSY"), kFails, "IDS_UNKNOWERR", "IDS_BUSY", 1},
        SequenceCase{"noIdCrLf", QString("0IDS_SERVER_NOID\r\n"), kFails, "IDS_UNKNOWERR",
                     "IDS_SERVER_NOID\\r\\n", 1},
        SequenceCase{"garbage", QString("<h1>Bad Gateway</h1>"), kFails, "IDS_UNKNOWERR",
                     "<h1>Bad Gateway</h1>", 1},
        SequenceCase{"empty", QString(""), kFails, "IDS_UNKNOWERR", kNone, 1},
        // After OFFLINE the password decides.
        SequenceCase{"offlineRight", QString("0IDS_SERVER_OFFLINE"), QString("1"), "IDS_NOREG",
                     kNone, 2},
        SequenceCase{"offlineRightText", QString("0IDS_SERVER_OFFLINE"), QString("1 ok"),
                     "IDS_NOREG", kNone, 2},
        SequenceCase{"offlineNoId", QString("0IDS_SERVER_OFFLINE"),
                     QString("0ERRIDS_SERVER_NOID"), "IDS_NOID", kNone, 2},
        SequenceCase{"offlineWrongPassword", QString("0IDS_SERVER_OFFLINE"),
                     QString("0ERRIDS_SERVER_NOAUTH"), "IDS_ERRPWD", kNone, 2},
        SequenceCase{"offlineAuthUnknown", QString("0IDS_SERVER_OFFLINE"), QString("0WHAT"),
                     "IDS_UNKNOWERR", "WHAT", 2},
        SequenceCase{"offlineAuthEmpty", QString("0IDS_SERVER_OFFLINE"), QString(""),
                     "IDS_UNKNOWERR", kNone, 2},
        SequenceCase{"offlineAuthNoReply", QString("0IDS_SERVER_OFFLINE"), kFails,
                     "IDS_CANNOTCONNECTSERVER", kNone, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OuterCheck, NoDomainMeansNoCheckAndNoRequest)
{
    ScriptedService service{QString("1"), kFails, {}};
    const TOuterCheck r = CheckOuterUrl(QStringLiteral("http://nodomain"), "cam01", "pw",
                                        service.Fetch());
    EXPECT_TRUE(r.Key.isEmpty());
    EXPECT_TRUE(service.asked.isEmpty());
}

TEST(OuterCheck, HostileDomainIsNotAskedAndCannotConnect)
{
    // A camera's DDNS values make the outer address; one that would redirect the request
    // elsewhere is never sent.
    ScriptedService service{QString("1"), kFails, {}};
    const TOuterCheck r = CheckOuterUrl(QStringLiteral("http://cam.evil.example/x?"), "cam01",
                                        "pw", service.Fetch());
    EXPECT_EQ(S(r.Key), "IDS_CANNOTCONNECTSERVER");
    EXPECT_TRUE(service.asked.isEmpty());
}

TEST(CheckUrl, AnAddressThatIsNoHostAndPortIsNotSent)
{
    ScriptedService service{kFails, QString("1"), {}};
    const TDdnsCheckService s(QStringLiteral("ddns.example.net"), service.Fetch());
    EXPECT_EQ(int(s.CheckUrl("203.0.113.5")), int(TUrlKind::NotReached));
    EXPECT_TRUE(service.asked.isEmpty());
    EXPECT_EQ(int(s.CheckUrl("203.0.113.5:81")), int(TUrlKind::Reached));
    ASSERT_EQ(service.asked.size(), 1);
    EXPECT_EQ(S(service.asked[0]),
              "http://ddns.example.net:808/api/checkurl.asp?url=http://203.0.113.5:81/oem.txt");
    service.others = kFails;
    EXPECT_EQ(int(s.CheckUrl("203.0.113.5:81")), int(TUrlKind::NoReply));
}

}  // namespace
